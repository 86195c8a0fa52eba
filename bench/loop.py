# A while loop with integer arithmetic, the peer of loop.zun.
x = 0
i = 0
while i < 10000000:
    x = (x * 31 + i) % 1000003
    i = i + 1
print(x)
