-- A while loop with integer arithmetic, the peer of loop.zun.
local x, i = 0, 0
while i < 10000000 do
    x = (x * 31 + i) % 1000003
    i = i + 1
end
print(x)
