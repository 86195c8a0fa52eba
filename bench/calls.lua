-- Plain calls in a loop: a million calls of a two-argument function, the peer
-- of calls.zun.
local function add2(a, b) return a + b end
local n = 0
for _ = 1, 1000000 do n = add2(n, 1) end
print(n)
