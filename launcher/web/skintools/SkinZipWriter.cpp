#include "SkinZipWriter.h"

#include <zlib.h>

namespace vekt::skin {
namespace {

void put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

bool deflateRaw(const std::vector<uint8_t>& in, std::vector<uint8_t>& out) {
  z_stream zs{};
  if (deflateInit2(&zs, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  out.resize(deflateBound(&zs, static_cast<uLong>(in.size())));
  zs.next_in = const_cast<Bytef*>(in.data());
  zs.avail_in = static_cast<uInt>(in.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return rc == Z_STREAM_END;
}

}  // namespace

std::vector<uint8_t> WriteZip(const std::vector<ZipInput>& files) {
  std::vector<uint8_t> out;
  std::vector<uint8_t> directory;
  for (const ZipInput& f : files) {
    if (f.data.size() > 0x7FFFFFFF || f.name.size() > 0xFFFF) return {};
    std::vector<uint8_t> packed;
    const bool deflated = f.deflate && !f.data.empty();
    if (deflated && !deflateRaw(f.data, packed)) return {};
    const std::vector<uint8_t>& body = deflated ? packed : f.data;
    const uint32_t crc = crc32(0L, f.data.data(), static_cast<uInt>(f.data.size()));
    const uint32_t offset = static_cast<uint32_t>(out.size());
    const uint16_t method = deflated ? 8 : 0;

    put32(out, 0x04034b50);
    put16(out, 20);  // version needed
    put16(out, 0);   // flags
    put16(out, method);
    put16(out, 0);     // time
    put16(out, 0x21);  // date: 1980-01-01
    put32(out, crc);
    put32(out, static_cast<uint32_t>(body.size()));
    put32(out, static_cast<uint32_t>(f.data.size()));
    put16(out, static_cast<uint32_t>(f.name.size()));
    put16(out, 0);
    out.insert(out.end(), f.name.begin(), f.name.end());
    out.insert(out.end(), body.begin(), body.end());

    put32(directory, 0x02014b50);
    put16(directory, 20);  // made by
    put16(directory, 20);
    put16(directory, 0);
    put16(directory, method);
    put16(directory, 0);
    put16(directory, 0x21);
    put32(directory, crc);
    put32(directory, static_cast<uint32_t>(body.size()));
    put32(directory, static_cast<uint32_t>(f.data.size()));
    put16(directory, static_cast<uint32_t>(f.name.size()));
    put16(directory, 0);  // extra
    put16(directory, 0);  // comment
    put16(directory, 0);  // disk
    put16(directory, 0);  // internal attributes
    put32(directory, 0);  // external attributes
    put32(directory, offset);
    directory.insert(directory.end(), f.name.begin(), f.name.end());
  }
  const uint32_t dirOffset = static_cast<uint32_t>(out.size());
  out.insert(out.end(), directory.begin(), directory.end());
  put32(out, 0x06054b50);
  put16(out, 0);
  put16(out, 0);
  put16(out, static_cast<uint32_t>(files.size()));
  put16(out, static_cast<uint32_t>(files.size()));
  put32(out, static_cast<uint32_t>(directory.size()));
  put32(out, dirOffset);
  put16(out, 0);  // no comment
  return out;
}

}  // namespace vekt::skin
