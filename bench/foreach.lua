-- foreach over a list of a million integers, and calls that each return: the
-- peer of foreach.zun.
local b = {}
for i = 1, 1000000 do b[#b + 1] = i % 1000 end
local s = 0
for _, x in ipairs(b) do s = s + x end
print(s)
local function f(x) return x + 1 end
local n = 0
for _ = 1, 1000000 do n = f(n) end
print(n)
