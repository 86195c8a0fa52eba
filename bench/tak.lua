-- Calls with three arguments and a local: tak 26 18 9, the peer of tak.zun.
local function tak(x, y, z)
    local r
    if y < x then
        r = tak(tak(x - 1, y, z), tak(y - 1, z, x), tak(z - 1, x, y))
    else
        r = z
    end
    return r
end
print(tak(26, 18, 9))
