# Recursive calls: fib 32, the peer of fib.zun.
def fib(n):
    return n if n < 2 else fib(n - 1) + fib(n - 2)

print(fib(32))
