// Drives the project's stand-in runtime module (StandinRuntime.cpp) from the
// tests: its method indexes and its standin_* controls.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>

#include "runtime/Module.h"

namespace {

// Method indexes of the stand-in.
enum {
  kUpdate = 0,
  kDeep = 1,
  kNative = 2,
  kPush = 3,
  kPop = 4,
  kStaticInit = 5,
  kLogInt = 6,
  kCheckAllApi = 7,
  kLoad = 8,
  kRender = 9,
  kAwake = 10,
  kLevel2 = 11,
  kLevel3 = 12,
  kAllocWrapper = 13,  // the runtime's allocator: "(wrapper alloc) ..."
  kAllocIcall = 14     // and its internal call "(wrapper managed-to-native) object:__icall_wrapper_..."
};

struct Standin {
  explicit Standin(const char* path) {
    EXPECT_TRUE(module.open(path)) << path;
    bind(reset, "standin_reset");
    bind(method, "standin_method");
    bind(enter, "standin_enter");
    bind(leave, "standin_leave");
    bind(gc, "standin_gc");
    bind(mask, "standin_mask");
    bind(counter, "standin_counter");
    bind(loadedBytes, "standin_loaded_bytes");
    bind(alloc, "standin_alloc");
    bind(kill, "standin_kill");
    bind(move, "standin_move");
    bind(weakHandles, "standin_weak_handles");
    bind(throwTo, "standin_throw");
    bind(reportAgain, "standin_report_again");
    bind(onWeakHandle, "standin_on_weak_handle");
    reset();
  }
  template <class F>
  void bind(F& f, const char* name) {
    void* p = module.find(name);
    ASSERT_NE(p, nullptr) << name;
    f = reinterpret_cast<F>(p);
  }
  void call(int i) {
    enter(i);
    leave(i);
  }
  zem::Module module;
  void (*reset)() = nullptr;
  void* (*method)(int) = nullptr;
  void (*enter)(int) = nullptr;
  void (*leave)(int) = nullptr;
  void (*gc)(int) = nullptr;
  int (*mask)() = nullptr;
  int (*counter)(const char*) = nullptr;
  const char* (*loadedBytes)() = nullptr;
  void (*alloc)(uintptr_t address, int klass, uint32_t size) = nullptr;
  void (*kill)(uintptr_t address) = nullptr;
  void (*move)(uintptr_t from, uintptr_t to) = nullptr;
  void (*weakHandles)(int on) = nullptr;
  void (*throwTo)(const int* unwound, int count, int catcher, int exceptionLeaves) = nullptr;
  void (*reportAgain)(uintptr_t address, int klass) = nullptr;
  void (*onWeakHandle)(void (*hook)()) = nullptr;
};

// Class indexes of the stand-in that tests allocate.
enum { kBullet = 5, kString = 6 };

}  // namespace
