// Where layouts and images come from: the process-wide skin package or,
// without one, the skin folder. Opened once and kept for the whole process.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "UIZip.h"

namespace VantorUI {

// Name under which the package held in program memory is known.
constexpr const wchar_t* kMemoryPackageName = L"membuffer";

class CResourceUI {
 public:
  static void SetSkinFolder(const std::wstring& folder);
  static const std::wstring& GetSkinFolder();
  static CZipPackage& Package();
  // Opens the package from memory unless the memory package is already open.
  static bool OpenMemoryPackage(const void* data, size_t size);
  // Reads a file of the open package, or of the skin folder when none is open.
  // Files are limited to the package's entry size.
  static bool ReadFile(const std::wstring& name, std::vector<uint8_t>& bytes, std::string& error);
};

// Reads a whole file. False when missing, unreadable or larger than `limit`.
bool ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& bytes, size_t limit);

}  // namespace VantorUI
