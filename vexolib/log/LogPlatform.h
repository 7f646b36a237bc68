// The few operating-system services the log core needs: clock, local time,
// files by UTF-16 path and a thread with a chosen stack size.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace vexolib::log::platform {

// Milliseconds since the system started, wrapping at 2^32.
uint32_t tickMs();
// Seconds since 1970.
int64_t nowSeconds();
// "%Y-%m-%d %H:%M:%S" of the given second in local time, into out (at least 20 bytes).
void formatLocalTime(int64_t seconds, char* out, size_t size);

bool isDirectory(const std::u16string& path);
bool fileExists(const std::u16string& path);
bool makeDirectory(const std::u16string& path);
bool removeFile(const std::u16string& path);
bool moveFile(const std::u16string& from, const std::u16string& to);
// Opens for reading and writing, creating and truncating, shared with other
// readers and writers. Returns -1 on failure.
int openTruncate(const std::u16string& path);
bool writeAll(int fd, const char* data, size_t n);
// Size of the open file; false when it cannot be read.
bool fileSize(int fd, uint64_t& size);
void closeFile(int fd);
void writeStdout(const char* data, size_t n);

using ThreadMain = void (*)(void* arg);
// Starts a thread; returns 0 on failure.
uintptr_t startThread(ThreadMain fn, void* arg, size_t stackBytes);
void joinThread(uintptr_t thread);

}  // namespace vexolib::log::platform
