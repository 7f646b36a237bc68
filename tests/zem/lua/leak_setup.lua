-- Before the first dump: an empty global cache, a registry-held list, and
-- 1000 older tables of which the leak step frees the first 500.
leak_cache = {}
older = {}
for i = 1, 1000 do older[i] = {} end
debug.getregistry().leak_list = {}
