# A counted loop with integer arithmetic, the peer of repeat.zun.
x = 0
for i in range(1, 10000001):
    x = (x * 31 + i) % 1000003
print(x)
