# foreach over a list of a million integers, and calls that each return: the
# peer of foreach.zun.
b = []
for i in range(1, 1000001):
    b.append(i % 1000)
s = 0
for x in b:
    s = s + x
print(s)


def f(x):
    return x + 1


n = 0
for _ in range(1000000):
    n = f(n)
print(n)
