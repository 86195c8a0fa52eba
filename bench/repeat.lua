-- A counted loop with integer arithmetic, the peer of repeat.zun.
local x = 0
for i = 1, 10000000 do x = (x * 31 + i) % 1000003 end
print(x)
