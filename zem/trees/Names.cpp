#include "Names.h"

#include <cstring>

namespace zem {

namespace {
const size_t kMaxName = 200;
}  // namespace

Key Names::newIdentifier() {
  idObjects_.emplace_back(new char(0));
  return reinterpret_cast<Key>(idObjects_.back().get());
}

Key Names::intern(const char* name) {
  if (!name) return 0;
  InternHit& hit = internCache_[(reinterpret_cast<uintptr_t>(name) >> 3) & 255];
  if (hit.address == name && std::strcmp(name, hit.name) == 0) return hit.key;
  auto it = nameToId_.find(name);
  if (it != nameToId_.end()) {
    hit = InternHit{name, it->first.c_str(), it->second};
    return it->second;
  }
  std::string copy(name);
  if (copy.size() > kMaxName) {
    copy.resize(kMaxName);
    it = nameToId_.find(copy);
    if (it != nameToId_.end()) return it->second;
  }
  Key id = newIdentifier();
  auto ins = nameToId_.emplace(std::move(copy), id).first;
  idToName_[id] = ins->first.c_str();
  return id;
}

Key Names::createNamed(const std::string& text) {
  Key id = newIdentifier();
  nameStore_.push_back(text);
  idToName_[id] = nameStore_.back().c_str();
  return id;
}

const char* Names::nameOf(Key id) const {
  auto it = idToName_.find(id);
  return it == idToName_.end() ? nullptr : it->second;
}

}  // namespace zem
