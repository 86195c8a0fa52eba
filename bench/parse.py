# Parse: a 5.4 MB string of key=digits; records checked by one repetitive
# rule, the peer of parse.zun (python's re on the same work).
import re

s = "key=1234;" * 600000
print(len(s))
print("true" if re.fullmatch(r"(?:[a-z]+=[0-9]+;)+", s) else "false")
n = 0
for _ in re.finditer(r"[^;]*;", s):
    n += 1
print("true" if n * 9 == len(s) else "false")
print(n)
