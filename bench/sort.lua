-- sort of a million integers with their generation, the peer of sort.zun.
local a, b = 1, 1
local numbers = {}
for i = 1, 1000000 do
    a = a * 171 % 30269
    b = b * 172 % 30307
    numbers[i] = a * 30307 + b
end
table.sort(numbers)
print(numbers[1] .. " " .. numbers[500000] .. " " .. numbers[1000000])
