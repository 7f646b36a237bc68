#include "LuaObjectDiff.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <unordered_map>
#include <utility>

#include "Speedscope.h"

namespace zem {

namespace {
const char* const kKinds[6] = {"unused0", "table", "function", "unused3", "thread", "userdata"};

// One line at a time out of a text, with its CR dropped.
struct Lines {
  const std::string& t;
  size_t p = 0;
  bool next(const char*& s, size_t& n) {
    if (p >= t.size()) return false;
    size_t e = t.find('\n', p);
    if (e == std::string::npos) e = t.size();
    s = t.data() + p;
    n = e - p;
    if (n && s[n - 1] == '\r') --n;
    p = e + 1;
    return true;
  }
};

// Fields separated by commas; the last field of a name line may hold commas.
struct Fields {
  const char* s;
  size_t n, p = 0;
  bool field(const char*& f, size_t& len) {
    if (p > n) return false;
    size_t e = p;
    while (e < n && s[e] != ',') ++e;
    f = s + p;
    len = e - p;
    p = e + 1;
    return true;
  }
  bool rest(const char*& f, size_t& len) {
    if (p > n) return false;
    f = s + p;
    len = n - p;
    p = n + 1;
    return true;
  }
  bool done() const { return p > n; }
};

bool number(const char* f, size_t len, int base, uint64_t& v) {
  if (len == 0 || len > (base == 16 ? 16u : 19u)) return false;
  v = 0;
  for (size_t i = 0; i < len; ++i) {
    const char c = f[i];
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else
      return false;
    v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
  }
  return true;
}

bool numberField(Fields& fs, int base, uint64_t& v) {
  const char* f;
  size_t len;
  return fs.field(f, len) && number(f, len, base, v);
}

bool unescape(const char* f, size_t len, std::string& out) {
  out.clear();
  for (size_t i = 0; i < len; ++i) {
    if (f[i] != '\\') {
      out += f[i];
      continue;
    }
    if (++i == len) return false;
    if (f[i] == '\\')
      out += '\\';
    else if (f[i] == 'r')
      out += '\r';
    else if (f[i] == 'n')
      out += '\n';
    else
      return false;
  }
  return true;
}

bool unhex(const char* f, size_t len, const std::string& key, std::string& out) {
  if (len % 2) return false;
  out.clear();
  for (size_t i = 0; i < len; i += 2) {
    uint64_t v = 0;
    if (!number(f + i, 2, 16, v)) return false;
    out += static_cast<char>(v);
  }
  if (!key.empty())
    for (size_t i = 0; i < out.size(); ++i) out[i] ^= key[i % key.size()];
  return true;
}

bool fail(std::string& error, const std::string& what, size_t line) {
  error = what + " (line " + std::to_string(line) + ")";
  return false;
}

// Number keys and keys that are objects say nothing of the group: "[12]" and
// "[table:0x55e0]" become "[number]" and "[table]".
std::string groupName(const std::string& name) {
  if (name.size() < 3 || name.front() != '[' || name.back() != ']') return name;
  const std::string inner = name.substr(1, name.size() - 2);
  const size_t colon = inner.find(':');
  if (colon != std::string::npos && colon > 0) return "[" + inner.substr(0, colon) + "]";
  if (inner == "true" || inner == "false" || inner == "nil" || inner == "key" || inner == "registry" ||
      inner == "metatable" || inner == "environment" || inner == "uservalue" || inner == "upvalue")
    return name;
  const char c = inner[0];
  if ((c >= '0' && c <= '9') || c == '-' || c == '.' || inner == "inf" || inner == "nan" || inner == "-nan")
    return "[number]";
  return name;
}
}  // namespace

bool readLuaObjectList(const std::string& text, const std::string& key, LuaObjectList& out, std::string& error) {
  out = LuaObjectList{};
  Lines lines{text};
  const char* s;
  size_t n, line = 0;
  uint64_t v = 0;
  if (!lines.next(s, n) || n < 2 || s[0] != '#') return fail(error, "no frame line", 1);
  {
    const bool negative = s[1] == '-';
    if (!number(s + 1 + negative, n - 1 - negative, 10, v)) return fail(error, "no frame line", 1);
    out.frame = negative ? -static_cast<long long>(v) : static_cast<long long>(v);
  }
  ++line;
  {
    if (!lines.next(s, n)) return fail(error, "cut off after the frame line", 2);
    ++line;
    Fields fs{s, n};
    const char *a, *b, *c, *d;
    size_t al, bl, cl, dl;
    if (!fs.field(a, al) || std::string(a, al) != "lua" || !fs.field(b, bl) || !fs.field(c, cl) || !fs.field(d, dl) ||
        !fs.done() || !number(c, cl, 16, v) || cl != 16 || !number(d, dl, 10, v))
      return fail(error, "no Lua version line", line);
    out.version = std::string(b, bl);
    out.session = std::string(c, cl);
    if (out.version != "51" && out.version != "52") return fail(error, "unknown Lua version " + out.version, line);
  }
  std::string name;
  bool ended = false;
  while (lines.next(s, n)) {
    ++line;
    if (ended) {
      if (n == 0 && lines.p >= text.size()) break;
      return fail(error, "text after the end line", line);
    }
    Fields fs{s, n};
    const char* f;
    size_t len;
    if (!fs.field(f, len) || len != (len == 3 ? 3u : 1u)) return fail(error, "unknown line", line);
    const char tag = f[0];
    if (len == 3 && std::string(f, 3) == "end") {
      if (!numberField(fs, 10, v) || !fs.done()) return fail(error, "bad end line", line);
      if (v != out.objects.size()) return fail(error, "the end line counts other objects", line);
      ended = true;
    } else if (tag == 'g') {
      if (!out.objects.empty() || out.globals || !numberField(fs, 16, out.globals) || !fs.done() || !out.globals)
        return fail(error, "bad globals line", line);
    } else if (tag == 'n' || tag == 'x') {
      if (!numberField(fs, 10, v) || !fs.rest(f, len)) return fail(error, "bad name line", line);
      if (v != out.names.size()) return fail(error, "names out of order", line);
      if (!(tag == 'n' ? unescape(f, len, name) : unhex(f, len, key, name))) return fail(error, "bad name", line);
      out.names.push_back(name);
    } else if (tag == 'o') {
      LuaObjectList::Object o;
      uint64_t kind = 0, size = 0, nameIndex = 0;
      if (!numberField(fs, 16, o.address) || !numberField(fs, 10, kind) || !numberField(fs, 10, size) ||
          !numberField(fs, 16, o.parent) || !numberField(fs, 10, nameIndex) || !fs.done())
        return fail(error, "bad object line", line);
      if ((kind != 1 && kind != 2 && kind != 4 && kind != 5) || o.address == 0) return fail(error, "bad object", line);
      if (nameIndex >= out.names.size()) return fail(error, "object names an unknown name", line);
      if (size > 0xffffffffULL) return fail(error, "object size out of range", line);
      o.kind = static_cast<int>(kind);
      o.size = static_cast<uint32_t>(size);
      o.name = static_cast<uint32_t>(nameIndex);
      out.objects.push_back(o);
    } else {
      return fail(error, "unknown line", line);
    }
  }
  if (!ended) {
    error = "the object list is cut off (no end line)";
    return false;
  }
  return true;
}

namespace {
// Reference paths as a tree of names: a path is its parent path plus a name.
// A name repeated along the path (a linked list's "next") is kept once, marked.
class Paths {
 public:
  explicit Paths(const std::vector<std::string>& names) : names_(names) { nodes_.push_back({-1, 0, false}); }
  int extend(int parent, const std::string& name) {
    const uint32_t id = intern(name);
    if (parent > 0 && nodes_[static_cast<size_t>(parent)].name == id) {
      if (nodes_[static_cast<size_t>(parent)].repeated) return parent;
      return child(parent, id, true);
    }
    return child(parent, id, false);
  }
  std::vector<std::string> path(int node) const {
    std::vector<std::string> out;
    for (; node > 0; node = nodes_[static_cast<size_t>(node)].parent) {
      const Node& n = nodes_[static_cast<size_t>(node)];
      out.push_back(n.repeated ? strings_[n.name] + " (repeated)" : strings_[n.name]);
    }
    std::reverse(out.begin(), out.end());
    return out;
  }

 private:
  struct Node {
    int parent;
    uint32_t name;
    bool repeated;
  };
  uint32_t intern(const std::string& name) {
    auto it = ids_.find(name);
    if (it != ids_.end()) return it->second;
    strings_.push_back(name);
    ids_.emplace(name, static_cast<uint32_t>(strings_.size() - 1));
    return static_cast<uint32_t>(strings_.size() - 1);
  }
  int child(int parent, uint32_t name, bool repeated) {
    const uint64_t k = (static_cast<uint64_t>(static_cast<uint32_t>(parent)) << 33) |
                       (static_cast<uint64_t>(name) << 1) | (repeated ? 1u : 0u);
    auto it = children_.find(k);
    if (it != children_.end()) return it->second;
    nodes_.push_back({parent, name, repeated});
    const int id = static_cast<int>(nodes_.size() - 1);
    children_.emplace(k, id);
    return id;
  }
  const std::vector<std::string>& names_;
  std::vector<Node> nodes_;
  std::vector<std::string> strings_;
  std::unordered_map<std::string, uint32_t> ids_;
  std::unordered_map<uint64_t, int> children_;
};

// Object indexes sorted by address (addresses are unique within one list).
std::vector<uint32_t> byAddress(const LuaObjectList& list) {
  std::vector<uint32_t> order(list.objects.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<uint32_t>(i);
  std::sort(order.begin(), order.end(),
            [&](uint32_t a, uint32_t b) { return list.objects[a].address < list.objects[b].address; });
  return order;
}

long long find(const LuaObjectList& list, const std::vector<uint32_t>& order, uint64_t address) {
  auto it = std::lower_bound(order.begin(), order.end(), address,
                             [&](uint32_t i, uint64_t a) { return list.objects[i].address < a; });
  return it != order.end() && list.objects[*it].address == address ? static_cast<long long>(*it) : -1;
}
}  // namespace

bool diffLuaObjects(const LuaObjectList& before, const LuaObjectList& after, LuaObjectDiff& out, std::string& error) {
  out = LuaObjectDiff{};
  if (before.version != after.version) {
    error = "the dumps are of different Lua versions (" + std::string(before.version == "51" ? "5.1" : "5.2/5.3") +
            " and " + (after.version == "51" ? "5.1" : "5.2/5.3") + ")";
    return false;
  }
  if (before.session != after.session) {
    error =
        "the dumps were written with different Lua identifier files (another run or another "
        "lua_setmap_path): their addresses cannot be compared";
    return false;
  }
  const std::vector<uint32_t> a = byAddress(before), b = byAddress(after);
  for (size_t i = 1; i < a.size(); ++i)
    if (before.objects[a[i]].address == before.objects[a[i - 1]].address) {
      error = "the first dump lists an address twice";
      return false;
    }
  for (size_t i = 1; i < b.size(); ++i)
    if (after.objects[b[i]].address == after.objects[b[i - 1]].address) {
      error = "the second dump lists an address twice";
      return false;
    }
  // One walk over both address orders: same, resized (or reused), new, freed.
  std::vector<char> added(after.objects.size(), 0);
  size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    const LuaObjectList::Object* x = i < a.size() ? &before.objects[a[i]] : nullptr;
    const LuaObjectList::Object* y = j < b.size() ? &after.objects[b[j]] : nullptr;
    if (x && (!y || x->address < y->address)) {
      ++out.freedCount;
      out.freedBytes += x->size;
      ++i;
    } else if (y && (!x || y->address < x->address)) {
      added[b[j]] = 1;
      ++j;
    } else {
      if (x->kind != y->kind) {
        ++out.freedCount;
        out.freedBytes += x->size;
        added[b[j]] = 1;
      } else if (x->size != y->size) {
        ++out.resizedCount;
        out.resizedBytes += y->size;
      }
      ++i;
      ++j;
    }
  }
  // Reference paths of the new objects, through their parents in the second dump;
  // a path through the globals table starts there.
  Paths paths(after.names);
  const long long registry = after.objects.empty() ? -1 : static_cast<long long>(after.objects.size() - 1);
  auto nameOf = [&](size_t k) -> std::string {
    const LuaObjectList::Object& o = after.objects[k];
    const std::string& name = after.names[o.name];
    if (after.version == "52" && registry >= 0 && o.parent == after.objects[static_cast<size_t>(registry)].address) {
      if (name == "[1]") return "[main thread]";
      if (name == "[2]") return "[globals]";
    }
    return groupName(name);
  };
  auto isGlobals = [&](size_t k) {
    const LuaObjectList::Object& o = after.objects[k];
    return (after.globals && o.address == after.globals) || nameOf(k) == "[globals]";
  };
  std::vector<int> pathOf(after.objects.size(), 0);                       // 0 unknown, -1 being worked out
  std::map<std::pair<int, int>, std::pair<long long, long long>> groups;  // (kind, path) -> count, bytes
  std::vector<uint32_t> chain;
  for (size_t k = 0; k < after.objects.size(); ++k) {
    if (!added[k]) continue;
    chain.clear();
    long long cur = static_cast<long long>(k);
    int base = 0;
    while (cur >= 0 && pathOf[static_cast<size_t>(cur)] == 0) {
      pathOf[static_cast<size_t>(cur)] = -1;
      chain.push_back(static_cast<uint32_t>(cur));
      const uint64_t parent = after.objects[static_cast<size_t>(cur)].parent;
      if (parent == 0 || isGlobals(static_cast<size_t>(cur))) break;
      cur = find(after, b, parent);
      if (cur < 0) {
        error = "an object's parent is not in the second dump";
        return false;
      }
    }
    if (cur >= 0 && pathOf[static_cast<size_t>(cur)] == -1 && after.objects[static_cast<size_t>(cur)].parent != 0 &&
        !isGlobals(static_cast<size_t>(cur))) {
      error = "the second dump's parent links go round in a loop";
      return false;
    }
    if (cur >= 0 && pathOf[static_cast<size_t>(cur)] > 0) base = pathOf[static_cast<size_t>(cur)];
    for (size_t c = chain.size(); c-- > 0;) {
      if (isGlobals(chain[c]))
        base = paths.extend(0, "[globals]");
      else
        base = paths.extend(base, nameOf(chain[c]));
      pathOf[chain[c]] = base;
    }
    const LuaObjectList::Object& o = after.objects[k];
    auto& g = groups[{o.kind, pathOf[k]}];
    g.first += 1;
    g.second += o.size;
    ++out.addedCount;
    out.addedBytes += o.size;
  }
  for (const auto& [k, cb] : groups) out.added.push_back({kKinds[k.first], paths.path(k.second), cb.first, cb.second});
  sortGroups(out.added);
  return true;
}

void sortGroups(std::vector<GrowthGroup>& groups) {
  std::stable_sort(groups.begin(), groups.end(), [](const GrowthGroup& x, const GrowthGroup& y) {
    if (x.bytes != y.bytes) return x.bytes > y.bytes;
    if (x.count != y.count) return x.count > y.count;
    return x.kind != y.kind ? x.kind < y.kind : x.path < y.path;
  });
}

std::string pathText(const std::vector<std::string>& path) {
  std::string out;
  for (size_t i = 0; i < path.size(); ++i) {
    if (i) out += " > ";
    for (char c : path[i]) out += c == '\0' ? std::string("\\0") : c == '\n' ? std::string("\\n") : std::string(1, c);
  }
  return out;
}

std::string formatLuaObjectDiff(const LuaObjectDiff& d) {
  std::string out = "new objects: " + std::to_string(d.addedCount) + ", " + std::to_string(d.addedBytes) + " bytes\n";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%12s %9s  %-9s %s\n", "bytes", "count", "kind", "reference path");
  out += buf;
  for (const GrowthGroup& g : d.added) {
    std::snprintf(buf, sizeof buf, "%12lld %9lld  %-9s ", g.bytes, g.count, g.kind.c_str());
    out += buf + pathText(g.path) + "\n";
  }
  out += "resized or reused (same address and kind, other size): " + std::to_string(d.resizedCount) + ", " +
         std::to_string(d.resizedBytes) + " bytes\n";
  out += "freed: " + std::to_string(d.freedCount) + ", " + std::to_string(d.freedBytes) + " bytes\n";
  return out;
}

std::string growthSpeedscope(const std::string& title, const std::vector<GrowthGroup>& groups) {
  SpeedscopeFile file(title);
  file.beginProfile(title, "bytes");
  std::vector<size_t> stack;
  for (const GrowthGroup& g : groups) {
    stack.clear();
    for (const std::string& p : g.path) stack.push_back(file.frame(p));
    stack.push_back(file.frame(g.kind));
    file.addSample(stack, g.bytes);
  }
  return file.json();
}

}  // namespace zem
