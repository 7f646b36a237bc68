// Shared by the files that define zem's C exports (one per room), which are
// declared in sdk/include/zem.h. Every
// export runs its body through guardedCall, so no exception crosses it: the
// export returns its failure result instead. A bool argument arrives in a
// 32-bit slot of which only the low byte counts.
#pragma once
#include <cstdint>

#include "base/Guard.h"

#if defined(_WIN32)
#define ZEM_EXPORT __declspec(dllexport)
#else
#define ZEM_EXPORT __attribute__((visibility("default")))
#endif
#define ZEM_API extern "C" ZEM_EXPORT
// The three engine entry points carry stdcall decorations; on 32-bit x86 their
// decorated export names come from the .def file instead.
#if defined(_WIN32) && !defined(_WIN64)
#define ZEM_ENGINE_EXPORT
#define ZEM_UNITY extern "C"
#else
#define ZEM_UNITY ZEM_API
#endif

// The declarations are the integrators' header: a definition that drifts from
// it does not compile.
#include "../sdk/include/zem.h"

namespace zem {
using vekt::base::guardedCall;
inline bool flag(int32_t v) { return (v & 0xff) != 0; }
}  // namespace zem
