// Files and folders by UTF-16 path, so a path outside the ANSI code page
// works on Windows. FileWin.cpp (_wsopen_s, _wfopen) / FilePosix.cpp (the
// path in UTF-8). Descriptors are the C runtime's.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace vekt::base {

bool isDirectory(const std::u16string& path);
bool fileExists(const std::u16string& path);
// Creates one folder; false when it could not (also when it exists).
bool makeDirectory(const std::u16string& path);
// Creates the folder and every missing parent ("/" and "\" both separate);
// true when the folder exists afterwards.
bool makeDirectories(const std::u16string& path);
bool removeFile(const std::u16string& path);
// Renames; fails when the target exists on Windows (as the C runtime does).
bool moveFile(const std::u16string& from, const std::u16string& to);

// fopen by UTF-16 path; the mode as fopen's ("rb", "wb", ...). Null on failure.
std::FILE* openFile(const std::u16string& path, const char* mode);

// Opens for reading and writing in binary mode, creating and truncating,
// shared with other readers and writers. -1 on failure.
int openTruncate(const std::u16string& path);
// Opens an existing file for reading in binary mode; -1 on failure.
int openRead(const std::u16string& path);
// Opens for reading and writing in binary mode, creating the file but keeping
// what it holds, positioned at its end; shared like openTruncate. -1 on failure.
int openAppend(const std::u16string& path);
// Writes everything; false on any failure.
bool writeAll(int fd, const char* data, size_t size);
// Writes what it can: the count of bytes that reached the file (size when all did).
size_t writePart(int fd, const char* data, size_t size);
// Cuts the file to size bytes and puts the position there.
bool truncateFile(int fd, uint64_t size);
// Whether path still names the open file fd (false once it was removed or
// replaced, also with its folder).
bool pathNamesFile(const std::u16string& path, int fd);
// Reads up to size bytes; the count read, 0 at the end, -1 on failure.
long readSome(int fd, char* data, size_t size);
// Size of the open file; false when it cannot be read.
bool fileSize(int fd, uint64_t& size);
void closeFile(int fd);

// Writes to standard output and flushes it.
void writeStdout(const char* data, size_t size);

}  // namespace vekt::base
