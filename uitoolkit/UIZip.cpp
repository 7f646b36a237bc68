#include "UIZip.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace VantorUI {
namespace {

constexpr uint32_t kEndOfDirectorySig = 0x06054b50;
constexpr uint32_t kDirectoryEntrySig = 0x02014b50;
constexpr uint32_t kLocalHeaderSig = 0x04034b50;
constexpr size_t kEndOfDirectorySize = 22;
constexpr size_t kDirectoryEntrySize = 46;
constexpr size_t kLocalHeaderSize = 30;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
constexpr uint16_t kFlagEncrypted = 1;

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

bool CZipPackage::OpenMemory(const void* data, size_t size, const std::wstring& name) {
  Close();
  return openBytes(static_cast<const uint8_t*>(data), size, name);
}

bool CZipPackage::OpenCopy(std::vector<uint8_t> bytes, const std::wstring& name) {
  Close();
  m_owned = std::move(bytes);
  return openBytes(m_owned.data(), m_owned.size(), name);
}

bool CZipPackage::openBytes(const uint8_t* data, size_t size, const std::wstring& name) {
  if (!data || size < kEndOfDirectorySize) {
    Close();
    return false;
  }
  m_data = data;
  m_size = size;
  m_name = name;
  if (!parseDirectory()) {
    Close();
    return false;
  }
  return true;
}

void CZipPackage::Close() {
  m_data = nullptr;
  m_size = 0;
  m_entries.clear();
  m_owned.clear();
  m_name.clear();
}

bool CZipPackage::parseDirectory() {
  // The end record sits in the last 22 bytes plus at most a 65535-byte comment.
  const size_t lowest = m_size > kEndOfDirectorySize + 0xFFFF ? m_size - kEndOfDirectorySize - 0xFFFF : 0;
  size_t pos = m_size - kEndOfDirectorySize;
  for (;;) {
    if (le32(m_data + pos) == kEndOfDirectorySig && pos + kEndOfDirectorySize + le16(m_data + pos + 20) == m_size)
      break;
    if (pos == lowest) return false;
    --pos;
  }
  const uint8_t* end = m_data + pos;
  if (le16(end + 4) != 0 || le16(end + 6) != 0) return false;  // multi-disk archives
  const uint16_t count = le16(end + 10);
  const uint32_t dirSize = le32(end + 12);
  const uint32_t dirOffset = le32(end + 16);
  if (dirOffset > pos || dirSize > pos - dirOffset) return false;

  size_t at = dirOffset;
  const size_t dirEnd = static_cast<size_t>(dirOffset) + dirSize;
  m_entries.reserve(count);
  for (uint16_t i = 0; i < count; ++i) {
    if (at + kDirectoryEntrySize > dirEnd) return false;
    const uint8_t* e = m_data + at;
    if (le32(e) != kDirectoryEntrySig) return false;
    const size_t nameLen = le16(e + 28);
    const size_t extraLen = le16(e + 30);
    const size_t commentLen = le16(e + 32);
    const size_t total = kDirectoryEntrySize + nameLen + extraLen + commentLen;
    if (total > dirEnd - at) return false;
    Entry entry;
    entry.flags = le16(e + 8);
    entry.method = le16(e + 10);
    entry.crc = le32(e + 16);
    entry.packedSize = le32(e + 20);
    entry.size = le32(e + 24);
    entry.localOffset = le32(e + 42);
    entry.name.assign(reinterpret_cast<const char*>(e + kDirectoryEntrySize), nameLen);
    m_entries.push_back(std::move(entry));
    at += total;
  }
  return true;
}

bool CZipPackage::unpack(const Entry& entry, std::vector<uint8_t>& bytes) const {
  if (entry.flags & kFlagEncrypted) return false;
  if (entry.localOffset > m_size || m_size - entry.localOffset < kLocalHeaderSize) return false;
  const uint8_t* local = m_data + entry.localOffset;
  if (le32(local) != kLocalHeaderSig) return false;
  const size_t dataStart =
      static_cast<size_t>(entry.localOffset) + kLocalHeaderSize + le16(local + 26) + le16(local + 28);
  if (dataStart > m_size || m_size - dataStart < entry.packedSize) return false;
  const uint8_t* packed = m_data + dataStart;

  bytes.assign(entry.size, 0);
  if (entry.method == kMethodStored) {
    if (entry.packedSize != entry.size) return false;
    std::memcpy(bytes.data(), packed, entry.size);
  } else if (entry.method == kMethodDeflated) {
    z_stream zs{};
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) return false;
    zs.next_in = const_cast<Bytef*>(packed);
    zs.avail_in = entry.packedSize;
    zs.next_out = bytes.data();
    zs.avail_out = entry.size;
    const int rc = inflate(&zs, Z_FINISH);
    const bool complete = rc == Z_STREAM_END && zs.total_out == entry.size;
    inflateEnd(&zs);
    if (!complete) return false;
  } else {
    return false;
  }
  return crc32(0L, bytes.data(), static_cast<uInt>(bytes.size())) == entry.crc;
}

bool CZipPackage::Read(const std::string& name, std::vector<uint8_t>& bytes, std::string& error) const {
  bytes.clear();
  if (!IsOpen()) {
    error = kZipErrorOpen;
    return false;
  }
  const auto it = std::find_if(m_entries.begin(), m_entries.end(), [&](const Entry& e) { return e.name == name; });
  if (it == m_entries.end()) {
    error = kZipErrorNotFound;
    return false;
  }
  if (it->size == 0) {
    error = kZipErrorEmpty;
    return false;
  }
  if (it->size > kZipMaxEntrySize) {
    error = kZipErrorTooLarge;
    return false;
  }
  if (!unpack(*it, bytes)) {
    bytes.clear();
    error = kZipErrorUnzip;
    return false;
  }
  error.clear();
  return true;
}

}  // namespace VantorUI
