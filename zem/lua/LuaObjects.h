// The Lua object dump: everything reachable from the registry counted by kind
// and by the name it is referenced under, written as ".lo" and ".lk" files,
// with the names in the Lua identifier file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "LuaApi.h"
#include "LuaObjectRecords.h"
#include "records/RecordWriter.h"

namespace zem {

// Addresses seen by one dump: open addressing, eight bytes a slot, so a
// million objects cost tens of megabytes rather than a node each.
class PointerSet {
 public:
  // False when p was there already.
  bool insert(const void* p);
  void clear();  // and give the memory back
  size_t size() const { return count_; }

 private:
  void grow();
  std::vector<uintptr_t> slots_;
  size_t count_ = 0;
};

class LuaObjects {
 public:
  static constexpr int kFirstNameId = 2001;
  LuaObjects(const LuaApi& api, RecordWriter& records) : api_(api), records_(records), list_(records) {}
  ~LuaObjects();
  void setVersion(LuaVersion version) { version_ = version; }

  // The Lua identifier file (lua_setmap_path): a second one closes the first.
  bool openIdFile(const char* path);
  bool idFileOpen() const { return idFile_.isOpen(); }
  void closeIdFile(int& rc) { closeFile(idFile_, rc); }

  // One dump on L, which must be the main Lua thread with the registry
  // holding it already. Lua calls below here never raise except when Lua runs
  // out of memory; the frames they cross hold nothing with a destructor.
  void dump(LuaState* L, const char* path, bool names, int frame);
  // Files a dump left open when Lua long-jumped out of it.
  void closeDumpFiles();

  // for tests
  size_t visitedPeak() const { return visitedPeak_; }

 private:
  void openDumpFiles(const char* path);
  void writeIdOnce(int id, const char* name, size_t length);
  void writeId(int id, const char* name, size_t length);
  int nameId(const char* desc, size_t length);
  bool readObject(LuaState* L, int code, const char* desc, size_t length);
  void markObject(LuaState* L, const char* desc, size_t length);
  void markTable(LuaState* L, const char* desc, size_t length);
  void markFunction(LuaState* L, const char* desc, size_t length);
  void markUserdata(LuaState* L, const char* desc, size_t length);
  void markThread(LuaState* L, const char* desc, size_t length);
  // 5.1: the environment table of the function or userdata on top, under desc.
  void markEnvironment(LuaState* L, const char* desc);
  void pop(LuaState* L, int n = 1) { api_.lua_settop(L, -n - 1); }
  void writeCounts(int frame);

  const LuaApi& api_;
  RecordWriter& records_;
  LuaVersion version_ = LuaVersion::kNone;
  OutFile idFile_;
  OutFile objectsFile_;  // ".lo"
  OutFile namesFile_;    // ".lk"
  bool namesFlag_ = false;
  uint32_t typeCount_[6] = {};
  std::unordered_map<std::string, int> nameIds_;  // never cleared
  int nextNameId_ = kFirstNameId;
  std::map<int, uint32_t> nameCount_;
  std::unordered_set<int> written_;
  PointerSet visited_;
  LuaObjectRecords list_;  // the ".lr" object list
  size_t visitedPeak_ = 0;
};

}  // namespace zem
