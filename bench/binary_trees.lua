-- binary-trees, the peer of binary_trees.zun.
-- Every leaf is one shared table, as python's (None, None) is one constant.
local leaf = {false, false}
local function make_tree(d)
    if d == 0 then return leaf end
    return {make_tree(d - 1), make_tree(d - 1)}
end
local function check(t)
    if not t[1] then return 1 end
    return 1 + check(t[1]) + check(t[2])
end
local max_depth = math.max(6, tonumber(arg[1]))
local stretch = max_depth + 1
print(string.format("stretch tree of depth %d check: %d", stretch, check(make_tree(stretch))))
local long_lived = make_tree(max_depth)
for d = 4, max_depth, 2 do
    local iterations = 1 << (max_depth - d + 4)
    local c = 0
    for _ = 1, iterations do c = c + check(make_tree(d)) end
    print(string.format("%d trees of depth %d check: %d", iterations, d, c))
end
print(string.format("long lived tree of depth %d check: %d", max_depth, check(long_lived)))
