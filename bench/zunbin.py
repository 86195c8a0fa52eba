# The peer of zunbin.zun: pickle (protocol 5) of the same 200,000 records.
import pickle
import time

data = [[i, i + 0.5, "s%d" % i, "w%d" % (i % 1000)] for i in range(1, 200001)]
t0 = time.perf_counter()
packed = pickle.dumps(data, protocol=5)
t1 = time.perf_counter()
back = pickle.loads(packed)
t2 = time.perf_counter()
print("encode %.1f ms, %d bytes" % ((t1 - t0) * 1000, len(packed)))
print("decode %.1f ms" % ((t2 - t1) * 1000))
print(len(back), back[-1][2], len(back))
