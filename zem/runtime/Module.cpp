#include "Module.h"

#include "RuntimeApi.h"

#include <cstring>

namespace zem {

std::vector<std::string> fillSlots(const Module& module, const FunctionSlot* slots, size_t count) {
  std::vector<std::string> missing;
  for (size_t i = 0; i < count; ++i) {
    void* address = module.find(slots[i].name);
    // The slot holds a function pointer; copy the bytes instead of aliasing it as void*.
    static_assert(sizeof(void (*)()) == sizeof(void*), "function and data pointers differ");
    std::memcpy(slots[i].pointer, &address, sizeof address);
    if (!address) missing.emplace_back(slots[i].name);
  }
  return missing;
}

std::vector<std::string> bindApi(const Module& module, MonoApi& table) {
  const FunctionSlot slots[] = {ZEM_MONO_FUNCTIONS(ZEM_FUNCTION_SLOT)};
  return fillSlots(module, slots, sizeof slots / sizeof slots[0]);
}

std::vector<std::string> bindApi(const Module& module, Il2cppApi& table) {
  const FunctionSlot slots[] = {ZEM_IL2CPP_FUNCTIONS(ZEM_FUNCTION_SLOT)};
  return fillSlots(module, slots, sizeof slots / sizeof slots[0]);
}

}  // namespace zem
