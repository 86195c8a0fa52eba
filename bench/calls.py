# Plain calls in a loop: a million calls of a two-argument function, the peer
# of calls.zun.
def add2(a, b):
    return a + b

n = 0
for _ in range(1000000):
    n = add2(n, 1)
print(n)
