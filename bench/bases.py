# Base-64 and base-16 round trips of 4 MB, and a million byte appends, the
# peer of bases.zun.
import base64
import binascii

s = b"0123456789abcdef" * (1 << 18)
for _ in range(4):
    t = base64.b64encode(s)
    d = base64.b64decode(t)
print(len(t))
print("true" if d == s else "false")
h = binascii.hexlify(s).upper()
print(len(binascii.unhexlify(h)))
b = bytearray()
for _ in range(1000000):
    b.append(65)
print(len(b))
