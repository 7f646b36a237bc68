// A module of the game (its managed runtime, its Lua library) loaded by path
// and looked up by function name. ModulePosix.cpp / ModuleWin.cpp.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace zem {

class Module {
 public:
  Module() = default;
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  // Loads the module at a UTF-8 path (widened to UTF-16 on Windows). False
  // for a null or empty path, a path that is not valid UTF-8 on Windows, or a
  // module that does not load.
  bool open(const char* utf8Path);
  bool isOpen() const { return handle_ != nullptr; }
  // The address the module exports under name, or null.
  void* find(const char* name) const;

 private:
  void* handle_ = nullptr;
};

// The folder (UTF-8, with a trailing separator) of the module holding zem
// itself; empty when it cannot be found.
std::string zemModuleFolder();

// One function pointer of a binding table and the name it is looked up by.
struct FunctionSlot {
  const char* name;
  void* pointer;  // address of the function pointer to fill
};

// Fills every slot from the module (null where the module lacks the name) and
// returns the names that were missing, in slot order.
std::vector<std::string> fillSlots(const Module& module, const FunctionSlot* slots, size_t count);

}  // namespace zem
