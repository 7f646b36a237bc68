#include "Records.h"

#include <cerrno>
#include <cstdlib>

namespace zem {

namespace {
bool parseNum(const std::string& s, long long& v) {
  if (s.empty() || s.size() > 21) return false;
  size_t i = (s[0] == '-') ? 1 : 0;
  if (i == s.size()) return false;
  for (size_t j = i; j < s.size(); ++j)
    if (s[j] < '0' || s[j] > '9') return false;
  errno = 0;
  char* end = nullptr;
  if (i) {
    v = std::strtoll(s.c_str(), &end, 10);
  } else {
    unsigned long long u = std::strtoull(s.c_str(), &end, 10);
    v = static_cast<long long>(u);
  }
  return errno == 0;
}

std::vector<std::string> splitLines(const std::string& t) {
  std::vector<std::string> lines;
  size_t p = 0;
  while (p < t.size()) {
    size_t e = t.find('\n', p);
    if (e == std::string::npos) e = t.size();
    std::string l = t.substr(p, e - p);
    if (!l.empty() && l.back() == '\r') l.pop_back();
    lines.push_back(l);
    p = e + 1;
  }
  return lines;
}
}  // namespace

bool readIdMap(const std::string& b, const std::string& key, std::vector<IdName>& out,
               std::string& error) {
  out.clear();
  if (b.size() >= 2 && static_cast<unsigned char>(b[0]) == 0x42 &&
      (b[1] == 0x01 || b[1] == 0x02)) {
    size_t w = b[1] == 0x01 ? 4 : 8;
    size_t p = 2;
    while (p < b.size()) {
      if (b.size() - p < w + 2) { error = "record header cut short"; return false; }
      uint64_t id = 0;
      for (size_t i = 0; i < w; ++i) id |= uint64_t(static_cast<unsigned char>(b[p + i])) << (8 * i);
      size_t len = static_cast<unsigned char>(b[p + w]) |
                   (size_t(static_cast<unsigned char>(b[p + w + 1])) << 8);
      p += w + 2;
      if (b.size() - p < len) { error = "record name cut short"; return false; }
      std::string name = b.substr(p, len);
      if (!key.empty())
        for (size_t i = 0; i < len; ++i) name[i] ^= key[i % key.size()];
      out.push_back({id, name});
      p += len;
    }
    return true;
  }
  for (const std::string& l : splitLines(b)) {
    size_t c = l.find(',');
    long long id = 0;
    if (c == std::string::npos || !parseNum(l.substr(0, c), id)) {
      error = "bad identifier line";
      return false;
    }
    out.push_back({static_cast<uint64_t>(id), l.substr(c + 1)});
  }
  return true;
}

bool readFrames(const std::string& text, std::vector<FrameBlock>& out, std::string& error) {
  out.clear();
  for (const std::string& l : splitLines(text)) {
    if (!l.empty() && l[0] == '#') {
      FrameBlock fb;
      if (!parseNum(l.substr(1), fb.frame)) { error = "bad frame line"; return false; }
      out.push_back(std::move(fb));
      continue;
    }
    if (out.empty()) { error = "line before the first frame"; return false; }
    std::vector<long long> nums;
    size_t p = 0;
    while (true) {
      size_t c = l.find(',', p);
      long long v = 0;
      if (!parseNum(l.substr(p, c == std::string::npos ? std::string::npos : c - p), v)) {
        error = "bad number";
        return false;
      }
      nums.push_back(v);
      if (c == std::string::npos) break;
      p = c + 1;
    }
    out.back().lines.push_back(std::move(nums));
  }
  return true;
}

bool dumpFile(const std::string& bytes, const std::string& key, std::string& out,
              std::string& error) {
  out.clear();
  if (!bytes.empty() && bytes[0] == '#') {
    std::vector<FrameBlock> frames;
    if (!readFrames(bytes, frames, error)) return false;
    for (const FrameBlock& f : frames) {
      out += "frame " + std::to_string(f.frame) + "\n";
      for (const auto& l : f.lines) {
        // Tree lines: depth, node, key, total, calls [, extra1, extra2]; value lines: four numbers.
        if (l.size() == 5 || l.size() == 7) {
          out += std::string(static_cast<size_t>(l[0] < 0 ? 0 : (l[0] > 64 ? 64 : l[0])) * 2, ' ');
          out += "key " + std::to_string(l[2]) + " total " + std::to_string(l[3]) + " calls " +
                 std::to_string(l[4]);
          if (l.size() == 7)
            out += " extra1 " + std::to_string(l[5]) + " extra2 " + std::to_string(l[6]);
          out += " (node " + std::to_string(l[1]) + ")\n";
        } else if (l.size() == 4) {
          out += "kind " + std::to_string(l[0]) + " id " + std::to_string(l[1]) + " value " +
                 std::to_string(l[3]) + "\n";
        } else {
          error = "line with an unexpected number of fields";
          return false;
        }
      }
    }
    return true;
  }
  std::vector<IdName> ids;
  if (!readIdMap(bytes, key, ids, error)) return false;
  for (const IdName& r : ids) out += std::to_string(r.id) + " = " + r.name + "\n";
  return true;
}

}  // namespace zem
