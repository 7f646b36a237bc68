// Interning: sample names to identifiers and back. An identifier is the
// address of a small object owned here, so it is unique for the whole run.
#pragma once
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "CallTree.h"

namespace zem {

class Names {
 public:
  // The identifier of name (cut to its first 200 bytes); 0 for null.
  Key intern(const char* name);
  // A fresh identifier carrying text as its name, not reachable by intern.
  Key createNamed(const std::string& text);
  // The name of id, or null when it has none.
  const char* nameOf(Key id) const;

 private:
  Key newIdentifier();

  std::map<std::string, Key> nameToId_;
  // Engines pass the same literal again and again: a small cache by address
  // (checked against the text, so a reused buffer still interns correctly).
  struct InternHit {
    const char* address = nullptr;
    const char* name = nullptr;
    Key key = 0;
  };
  InternHit internCache_[256];
  std::map<Key, const char*> idToName_;
  std::vector<std::unique_ptr<char>> idObjects_;
  std::deque<std::string> nameStore_;  // stable addresses for createNamed
};

}  // namespace zem
