#include "UIResource.h"

#include <cstdio>

#include "UIText.h"
#include "base/File.h"
#include "base/Text.h"

namespace VantorUI {
namespace {

struct ResourceState {
  std::wstring skinFolder;
  CZipPackage package;
};

ResourceState& state() {
  static ResourceState s;
  return s;
}

}  // namespace

void CResourceUI::SetSkinFolder(const std::wstring& folder) { state().skinFolder = folder; }
const std::wstring& CResourceUI::GetSkinFolder() { return state().skinFolder; }
CZipPackage& CResourceUI::Package() { return state().package; }

bool CResourceUI::OpenMemoryPackage(const void* data, size_t size) {
  CZipPackage& package = state().package;
  if (package.IsOpen() && package.Name() == kMemoryPackageName) return true;
  return package.OpenMemory(data, size, kMemoryPackageName);
}

bool CResourceUI::ReadFile(const std::wstring& name, std::vector<uint8_t>& bytes, std::string& error) {
  const CZipPackage& package = state().package;
  if (package.IsOpen()) return package.Read(WideToUtf8(name), bytes, error);
  if (!ReadWholeFile(state().skinFolder + name, bytes, kZipMaxEntrySize)) {
    error = "Could not read file";
    return false;
  }
  if (bytes.empty()) {
    error = kZipErrorEmpty;
    return false;
  }
  error.clear();
  return true;
}

bool ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& bytes, size_t limit) {
  bytes.clear();
  std::FILE* f = vekt::base::openFile(vekt::base::wideToUtf16(path), "rb");
  if (!f) return false;
  uint8_t chunk[65536];
  size_t got;
  bool ok = true;
  while (ok && (got = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
    ok = bytes.size() + got <= limit;
    if (ok) bytes.insert(bytes.end(), chunk, chunk + got);
  }
  if (std::ferror(f)) ok = false;
  std::fclose(f);
  if (!ok) bytes.clear();
  return ok;
}

}  // namespace VantorUI
