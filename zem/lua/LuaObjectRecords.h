// The object list of a Lua object dump (".lr" beside ".lo" and ".lk"): every
// object reached once, with its address, kind, estimated size, and the object
// and name it was first reached through, so that two dumps of one process can
// be compared object by object and each object traced back to a root.
//
// File: "#frame", then "lua,<51|52>,<session>,<pointer bytes>", for 5.1 the
// globals table's address as "g,<address>"; names before
// their first use as "n,<index>,<name>" (backslash, CR and LF escaped), or
// "x,<index>,<hex>" scrambled with the session's key when the identifier files
// are binary; objects as "o,<address>,<kind>,<bytes>,<parent address>,<name
// index>" (addresses in hex, the registry's parent 0), written when the walk
// leaves the object; last "end,<objects>", which a cut-off file lacks.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

namespace zem {

class RecordWriter;

class LuaObjectRecords {
 public:
  explicit LuaObjectRecords(RecordWriter& records) : records_(records) {}
  ~LuaObjectRecords() { close(); }
  // A new identifier file starts a new session: dumps of different sessions
  // cannot be compared.
  void newSession();
  // globals: the globals table when the version keeps it outside the registry.
  bool open(const std::string& path, int frame, const char* luaVersion, const void* globals);
  void close();
  // An object the walk reached for the first time through desc; the walk
  // leaves it with leave().
  void enter(const void* object, int kind, const char* desc, size_t length);
  // One more entry or upvalue of the object being walked.
  void entry() {
    if (!stack_.empty()) ++stack_.back().entries;
  }
  void leave();
  // Ends the file with its object count.
  void finish();

 private:
  struct Pending {
    uintptr_t address, parent;
    int kind;
    size_t name, entries;
  };
  size_t nameIndex(const char* desc, size_t length);
  RecordWriter& records_;
  FILE* file_ = nullptr;
  uint64_t session_ = 0;
  std::vector<Pending> stack_;
  std::unordered_map<std::string, size_t> names_;
  size_t objects_ = 0;
  std::string line_;  // reused for every object line
};

}  // namespace zem
