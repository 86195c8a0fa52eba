# Checksums and digests of 16 MB of text, the peer of checksum.zun.
import hashlib
import hmac
import zlib


def signed(n):
    return n - (1 << 32) if n >= 1 << 31 else n


s = "0123456789abcdef" * (1 << 20)
for _ in range(8):
    c = signed(zlib.crc32(s.encode()))
    a = signed(zlib.adler32(s.encode()))
print(c)
print(a)
print(len(hashlib.sha256(s.encode()).digest()))
print(len(hmac.new(b"key", s.encode(), "md5").digest()))
