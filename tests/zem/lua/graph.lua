-- An object graph for zem's object dump: a cycle, a shared table, weak
-- tables, a table used as a key, userdata with a metatable, a key with a zero
-- byte, upvalues and a coroutine. Every name starts with "zq".
local zqs = {}
local zqa, zqb = {}, {}
zqa.zq_next = zqb
zqb.zq_next = zqa
zqa.zq_shared = zqs
zqb.zq_shared = zqs
local weakv = setmetatable({zq_weakval = zqs}, {__mode = "v"})
local weakk = setmetatable({[zqs] = 1}, {__mode = "k"})
local strongk = {[zqa] = 1}
local ud = newud({zq_udmeta = {}})
local function zq_fn() return zqs, zqa end
local co = coroutine.create(function() return 1 end)
zq_graph = {
  zq_a = zqa, zq_b = zqb, ["zq\0nul"] = {}, zq = {}, zq_weakv = weakv, zq_weakk = weakk,
  zq_strongk = strongk, zq_ud = ud, zq_fn = zq_fn, zq_co = co,
}
