// Reader of the skin package: a ZIP archive held in memory (normally the
// program's own resource, read in place without a copy).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace VantorUI {

// Error texts of the package reader.
constexpr const char* kZipErrorOpen = "Error opening zip file";
constexpr const char* kZipErrorNotFound = "Could not find ziped file";
constexpr const char* kZipErrorEmpty = "File is empty";
constexpr const char* kZipErrorTooLarge = "File too large";
constexpr const char* kZipErrorUnzip = "Could not unzip file";

// Largest entry the reader unpacks.
constexpr uint32_t kZipMaxEntrySize = 0x400000;

class CZipPackage {
 public:
  // Opens the archive in [data, data + size); the memory must outlive the
  // package. Returns false (error text kZipErrorOpen) when no valid central
  // directory is found.
  bool OpenMemory(const void* data, size_t size, const std::wstring& name);
  // Keeps its own copy of the bytes.
  bool OpenCopy(std::vector<uint8_t> bytes, const std::wstring& name);
  void Close();

  bool IsOpen() const { return m_data != nullptr; }
  const std::wstring& Name() const { return m_name; }
  size_t EntryCount() const { return m_entries.size(); }

  // Unpacks the entry named exactly `name`. On failure `bytes` is empty and
  // `error` holds one of the texts above.
  bool Read(const std::string& name, std::vector<uint8_t>& bytes, std::string& error) const;

 private:
  struct Entry {
    std::string name;
    uint16_t method = 0;
    uint16_t flags = 0;
    uint32_t crc = 0;
    uint32_t packedSize = 0;
    uint32_t size = 0;
    uint32_t localOffset = 0;
  };
  bool openBytes(const uint8_t* data, size_t size, const std::wstring& name);
  bool parseDirectory();
  bool unpack(const Entry& entry, std::vector<uint8_t>& bytes) const;

  const uint8_t* m_data = nullptr;
  size_t m_size = 0;
  std::vector<uint8_t> m_owned;
  std::vector<Entry> m_entries;
  std::wstring m_name;
};

}  // namespace VantorUI
