-- Method calls: an object's function through a path, the peer of method.zun.
local counter = {n = 0}
function counter:bump(k) self.n = self.n + k end
for _ = 1, 3000000 do counter:bump(2) end
print(counter.n)
