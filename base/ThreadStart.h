// The record a started thread runs from, shared by Thread.cpp and the
// platform files: they only create and wait for the native thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>

namespace vekt::base {

struct ThreadStart {
  std::function<void()> body;
  uintptr_t native = 0;  // pthread_t or HANDLE
};

// Starts the native thread running start->body and fills start->native.
bool startNativeThread(ThreadStart* start, size_t stackBytes) noexcept;
// Waits for it and releases what startNativeThread took.
void joinNativeThread(ThreadStart* start) noexcept;

}  // namespace vekt::base
