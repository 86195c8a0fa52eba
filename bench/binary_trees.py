# binary-trees, the peer of binary_trees.zun.
import sys


# The leaves share one tuple: (None, None) is a constant.
def make_tree(d):
    return (None, None) if d == 0 else (make_tree(d - 1), make_tree(d - 1))


def check(t):
    return 1 if t[0] is None else 1 + check(t[0]) + check(t[1])


max_depth = max(6, int(sys.argv[1]))
stretch = max_depth + 1
print("stretch tree of depth %d check: %d" % (stretch, check(make_tree(stretch))))
long_lived = make_tree(max_depth)
d = 4
while d <= max_depth:
    iterations = 1 << (max_depth - d + 4)
    c = 0
    for _ in range(iterations):
        c = c + check(make_tree(d))
    print("%d trees of depth %d check: %d" % (iterations, d, c))
    d = d + 2
print("long lived tree of depth %d check: %d" % (max_depth, check(long_lived)))
