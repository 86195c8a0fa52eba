# compress and decompress of bible.txt through python3's zlib and gzip, the
# peer of compress.zun.
import gzip
import os
import zlib

here = os.path.dirname(os.path.abspath(__file__))
data = open(os.path.join(here, "..", "..", "shared", "corpora", "canterbury", "bible.txt"), "rb").read()
methods = {
    "zlib": (lambda d: zlib.compress(d, 6), zlib.decompress),
    "gzip": (lambda d: gzip.compress(d, 6, mtime=0), gzip.decompress),
    "deflate": (lambda d: (lambda c: c.compress(d) + c.flush())(zlib.compressobj(6, zlib.DEFLATED, -15)),
                lambda d: zlib.decompress(d, -15)),
}
for name, (pack, unpack) in methods.items():
    for _ in range(2):
        packed = pack(data)
    for _ in range(4):
        back = unpack(packed)
    print(name, len(back), "true" if back == data else "false")
