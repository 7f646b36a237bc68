-- Between the dumps: 1000 tables leak into the global cache, 10 closures into
-- the registry-held list, and the 500 oldest tables are let go.
for i = 1, 1000 do leak_cache[i] = {i} end
local list = debug.getregistry().leak_list
for i = 1, 10 do list[i] = function() return i end end
for i = 1, 500 do older[i] = nil end
collectgarbage("collect")
