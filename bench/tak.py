# Calls with three arguments and a local: tak 26 18 9, the peer of tak.zun.
def tak(x, y, z):
    if y < x:
        r = tak(tak(x - 1, y, z), tak(y - 1, z, x), tak(z - 1, x, y))
    else:
        r = z
    return r

print(tak(26, 18, 9))
