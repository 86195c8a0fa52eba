# Method calls: an object's function through a path, the peer of method.zun.
class Counter:
    def __init__(self):
        self.n = 0

    def bump(self, k):
        self.n = self.n + k


counter = Counter()
for _ in range(3000000):
    counter.bump(2)
print(counter.n)
