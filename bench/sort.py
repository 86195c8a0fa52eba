# sort of a million integers with their generation, the peer of sort.zun.
a = 1
b = 1
numbers = []
for _ in range(1000000):
    a = a * 171 % 30269
    b = b * 172 % 30307
    numbers.append(a * 30307 + b)
numbers.sort()
print(numbers[0], numbers[499999], numbers[-1])
