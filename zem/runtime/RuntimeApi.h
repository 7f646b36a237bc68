// The managed runtime's functions that zem uses, bound by name from the
// runtime module: one list per runtime, each entry (name, result, parameters).
// A slot stays null when the module does not export the name.
#pragma once
#include <cstdint>

#include "Module.h"

namespace zem {

// Callback types of the runtime's profiler interface; the first argument is
// the profiler object handed to mono_profiler_install.
using MethodCallback = void (*)(void* profiler, void* method);
using GcEventCallback = void (*)(void* profiler, int event, int generation);
using GcResizeCallback = void (*)(void* profiler, int64_t size);
using ProfilerCallback = void (*)(void* profiler);
using AllocationCallback = void (*)(void* profiler, void* object, void* klass);
using ThrowCallback = void (*)(void* profiler, void* exception);
using ClauseCallback = void (*)(void* profiler, void* method, int clauseType, int clauseNumber);

#define ZEM_MONO_FUNCTIONS(X)                                                                                   \
  X(mono_class_get_name, const char*, (void* klass))                                                            \
  X(mono_class_get_namespace, const char*, (void* klass))                                                       \
  X(mono_method_get_name, const char*, (void* method))                                                          \
  X(mono_method_get_class, void*, (void* method))                                                               \
  X(mono_method_full_name, char*, (void* method, int32_t signature))                                            \
  X(mono_free, void, (void* text))                                                                              \
  X(mono_object_get_size, uint32_t, (void* object))                                                             \
  X(mono_gc_collect, void, (int generation))                                                                    \
  X(mono_gc_get_used_size, int64_t, ())                                                                         \
  X(mono_gc_get_heap_size, int64_t, ())                                                                         \
  X(mono_object_is_alive, int32_t, (void* object))                                                              \
  X(mono_stack_walk_no_il, void, (void* walker, void* data))                                                    \
  X(mono_gc_max_generation, int, ())                                                                            \
  X(mono_gchandle_new_weakref, uint32_t, (void* object, int32_t trackResurrection))                             \
  X(mono_gchandle_get_target, void*, (uint32_t handle))                                                         \
  X(mono_gchandle_free, void, (uint32_t handle))                                                                \
  X(mono_profiler_install, void, (void* profiler, ProfilerCallback shutdown))                                   \
  X(mono_profiler_set_events, void, (int mask))                                                                 \
  X(mono_profiler_get_events, int, ())                                                                          \
  X(mono_profiler_install_enter_leave, void, (MethodCallback enter, MethodCallback leave))                      \
  X(mono_profiler_install_method_invoke, void, (MethodCallback start, MethodCallback end))                      \
  X(mono_profiler_install_gc, void, (GcEventCallback event, GcResizeCallback resize))                           \
  X(mono_profiler_install_allocation, void, (AllocationCallback callback))                                      \
  X(mono_profiler_install_exception, void, (ThrowCallback thrown, MethodCallback leave, ClauseCallback clause)) \
  X(mono_domain_get, void*, ())                                                                                 \
  X(mono_get_root_domain, void*, ())                                                                            \
  X(mono_domain_assembly_open, void*, (void* domain, const char* name))                                         \
  X(mono_assembly_get_image, void*, (void* assembly))                                                           \
  X(mono_class_from_name, void*, (void* image, const char* nameSpace, const char* name))                        \
  X(mono_class_get_methods, void*, (void* klass, void** iterator))                                              \
  X(mono_runtime_invoke, void*, (void* method, void* object, void** args, void** exception))                    \
  X(mono_string_new, void*, (void* domain, const char* text))                                                   \
  X(mono_get_byte_class, void*, ())                                                                             \
  X(mono_array_new, void*, (void* domain, void* klass, uintptr_t length))                                       \
  X(mono_array_addr_with_size, char*, (void* array, int elementSize, uintptr_t index))

#define ZEM_IL2CPP_FUNCTIONS(X)                             \
  X(il2cpp_class_get_name, const char*, (void* klass))      \
  X(il2cpp_class_get_namespace, const char*, (void* klass)) \
  X(il2cpp_method_get_name, const char*, (void* method))    \
  X(il2cpp_method_get_class, void*, (void* method))         \
  X(il2cpp_object_get_size, uint32_t, (void* object))       \
  X(il2cpp_gc_collect, void, (int generation))              \
  X(il2cpp_gc_get_used_size, int64_t, ())                   \
  X(il2cpp_gc_get_heap_size, int64_t, ())

#define ZEM_FUNCTION_POINTER(name, result, params) result(*name) params = nullptr;
#define ZEM_FUNCTION_SLOT(name, result, params) {#name, &table.name},

struct MonoApi {
  ZEM_MONO_FUNCTIONS(ZEM_FUNCTION_POINTER)
};

struct Il2cppApi {
  ZEM_IL2CPP_FUNCTIONS(ZEM_FUNCTION_POINTER)
};

// Fills the table from the module; returns the names the module lacks.
std::vector<std::string> bindApi(const Module& module, MonoApi& table);
std::vector<std::string> bindApi(const Module& module, Il2cppApi& table);

}  // namespace zem
