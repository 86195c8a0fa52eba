# While loops with integer arithmetic, the peer of loop.zun.
i = 0
s = 0
while i < 1000000:
    s = s + (i * 3 % 7)
    i = i + 1
print(s)
