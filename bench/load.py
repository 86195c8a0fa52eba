# Loading 2.5 MB of source text, the peer of load.zun: the same values as
# JSON, decoded by json.loads.
import json

chunk = '[1, "alpha", 2.5, [3, -4, "b\\nc"], 123456, "a longer string of text", 0.001, [[]], 7],'
s = chunk * (1 << 15)
text = "[" + s[:-1] + "]"
for _ in range(3):
    b = json.loads(text)
print(len(b))
print(len(b[0]))
print(b[0][1])
