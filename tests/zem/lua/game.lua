-- A frame of a game's Lua layer as zem's hook meets it: nesting, recursion,
-- an error unwinding hooked frames, coroutines, tail calls, an __index
-- function, C functions calling back, a stack deeper than zem records and a
-- long name. C counts every call by function; the engine stand-in compares
-- the recorded trees with it. Work loops keep every leaf above a microsecond.
C = {}
local sink = 0

function leaf()
  C.leaf = (C.leaf or 0) + 1
  for i = 1, 300 do sink = sink + i end
end

function middle()
  C.middle = (C.middle or 0) + 1
  leaf()
  leaf()
end

function outer()
  C.outer = (C.outer or 0) + 1
  hostmarker()
  middle()
  middle()
end

function rec(n)
  C.rec = (C.rec or 0) + 1
  for i = 1, 300 do sink = sink + i end
  if n > 0 then rec(n - 1) end
end

function thrower(n)
  C.thrower = (C.thrower or 0) + 1
  if n == 0 then
    leaf()
    error("unwound")
  end
  thrower(n - 1)
end

function after()
  C.after = (C.after or 0) + 1
  for i = 1, 300 do sink = sink + i end
end

function catcher()
  C.catcher = (C.catcher or 0) + 1
  local ok = pcall(thrower, 3)
  if ok then error("thrower did not throw") end
  after()
end

function coleaf()
  C.coleaf = (C.coleaf or 0) + 1
  for i = 1, 300 do sink = sink + i end
end

function cobody()
  C.cobody = (C.cobody or 0) + 1
  coleaf()
  coroutine.yield()
  coleaf()
end

function codriver()
  C.codriver = (C.codriver or 0) + 1
  local co = coroutine.create(cobody)
  coroutine.resume(co)
  for i = 1, 300 do sink = sink + i end
  coroutine.resume(co)
end

function tailtarget()
  C.tailtarget = (C.tailtarget or 0) + 1
  for i = 1, 300 do sink = sink + i end
end

function tailer()
  C.tailer = (C.tailer or 0) + 1
  for i = 1, 300 do sink = sink + i end
  return tailtarget()
end

function tailcount(n)
  C.tailcount = (C.tailcount or 0) + 1
  for i = 1, 300 do sink = sink + i end
  if n > 0 then return tailcount(n - 1) end
end

function tailhost()
  C.tailhost = (C.tailhost or 0) + 1
  tailer()
  tailcount(3)
end

indexfn = function(t, k)
  C.indexfn = (C.indexfn or 0) + 1
  for i = 1, 300 do sink = sink + i end
  return k
end
local proxy_mt = {__index = indexfn}

function indexuser()
  C.indexuser = (C.indexuser or 0) + 1
  local p = setmetatable({}, proxy_mt)
  local a, b = p.foo, p.bar
  for i = 1, 300 do sink = sink + i end
end

function cbtarget()
  C.cbtarget = (C.cbtarget or 0) + 1
  for i = 1, 300 do sink = sink + i end
end

function cuser()
  C.cuser = (C.cuser or 0) + 1
  local s = string.rep("ab", 8)
  hostcall(cbtarget)
  for i = 1, 300 do sink = sink + i end
end

function deep(n)
  C.deep = (C.deep or 0) + 1
  if n > 0 then deep(n - 1) end
  for i = 1, 300 do sink = sink + i end
end

function a_function_whose_name_is_longer_than_forty_nine_bytes_so_cut()
  C.longname = (C.longname or 0) + 1
  for i = 1, 300 do sink = sink + i end
end

function frame()
  C.frame = (C.frame or 0) + 1
  outer()
  rec(3)
  catcher()
  codriver()
  tailhost()
  indexuser()
  cuser()
  deep(129)
  a_function_whose_name_is_longer_than_forty_nine_bytes_so_cut()
end
