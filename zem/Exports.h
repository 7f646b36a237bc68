// Shared by the files that define zem's C exports (one per room). Every
// export runs its body through guardedCall, so no exception crosses it: the
// export returns its failure result instead. A bool argument arrives in a
// 32-bit slot of which only the low byte counts.
#pragma once
#include <cstdint>

#include "base/Guard.h"

#if defined(_WIN32)
#define ZEM_API extern "C" __declspec(dllexport)
#define ZEM_STDCALL __stdcall
#else
#define ZEM_API extern "C" __attribute__((visibility("default")))
#define ZEM_STDCALL
#endif
// The three engine entry points carry stdcall decorations; on 32-bit x86 their
// decorated export names come from the .def file instead.
#if defined(_WIN32) && !defined(_WIN64)
#define ZEM_UNITY extern "C"
#else
#define ZEM_UNITY ZEM_API
#endif

namespace zem {
using vekt::base::guardedCall;
inline bool flag(int32_t v) { return (v & 0xff) != 0; }
}  // namespace zem
