#include "Records.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <utility>

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

namespace {
bool isBinaryIdMap(const std::string& b) {
  return b.size() >= 2 && static_cast<unsigned char>(b[0]) == 0x42 && (b[1] == 0x01 || b[1] == 0x02);
}

// Binary records; *cutAt (when given) takes the offset of a last record that
// runs past the end instead of failing on it.
bool readBinaryIds(const std::string& b, const std::string& key, std::vector<IdName>& out, std::string& error,
                   size_t* cutAt) {
  size_t w = b[1] == 0x01 ? 4 : 8;
  size_t p = 2;
  while (p < b.size()) {
    const size_t start = p;
    if (b.size() - p < w + 2) {
      error = "record header cut short";
      if (!cutAt) return false;
      *cutAt = start;
      return true;
    }
    uint64_t id = 0;
    for (size_t i = 0; i < w; ++i) id |= uint64_t(static_cast<unsigned char>(b[p + i])) << (8 * i);
    size_t len = static_cast<unsigned char>(b[p + w]) | (size_t(static_cast<unsigned char>(b[p + w + 1])) << 8);
    p += w + 2;
    if (b.size() - p < len) {
      error = "record name cut short";
      if (!cutAt) return false;
      *cutAt = start;
      return true;
    }
    std::string name = b.substr(p, len);
    if (!key.empty())
      for (size_t i = 0; i < len; ++i) name[i] ^= key[i % key.size()];
    out.push_back({id, name});
    p += len;
  }
  return true;
}
}  // namespace

bool readIdMap(const std::string& b, const std::string& key, std::vector<IdName>& out, std::string& error) {
  out.clear();
  if (isBinaryIdMap(b)) return readBinaryIds(b, key, out, error, nullptr);
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
      if (!parseNum(l.substr(1), fb.frame)) {
        error = "bad frame line";
        return false;
      }
      out.push_back(std::move(fb));
      continue;
    }
    if (out.empty()) {
      error = "line before the first frame";
      return false;
    }
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

namespace {
// "leaf,class,bytes,count": the class name is what lies between the first and the
// last two commas.
bool parseObjectGroup(const std::string& l, ObjectGroup& g) {
  const size_t first = l.find(',');
  const size_t last = l.rfind(',');
  const size_t middle = last == std::string::npos || last == 0 ? std::string::npos : l.rfind(',', last - 1);
  if (first == std::string::npos || middle == std::string::npos || middle <= first) return false;
  long long leaf = 0;
  if (!parseNum(l.substr(0, first), leaf) || !parseNum(l.substr(middle + 1, last - middle - 1), g.bytes) ||
      !parseNum(l.substr(last + 1), g.count) || leaf < 0 || g.bytes < 0 || g.count < 0)
    return false;
  g.leaf = static_cast<uint64_t>(leaf);
  g.className = l.substr(first + 1, middle - first - 1);
  return true;
}
}  // namespace

bool readObjectMap(const std::string& text, ObjectMap& out, std::string& error) {
  out = ObjectMap{};
  std::vector<std::string> lines = splitLines(text);
  if (lines.empty() || lines[0].empty() || lines[0][0] != '#' || !parseNum(lines[0].substr(1), out.frame)) {
    error = "no frame line";
    return false;
  }
  for (size_t i = 1; i < lines.size(); ++i) {
    ObjectGroup g;
    if (!parseObjectGroup(lines[i], g)) {
      error = "bad object map line";
      return false;
    }
    out.groups.push_back(std::move(g));
  }
  return true;
}

namespace {
// Digits with an optional sign; with fraction, also "digits.digits" (hardware values).
bool isNumber(const std::string& f, bool fraction) {
  size_t i = !f.empty() && f[0] == '-' ? 1 : 0;
  size_t digits = 0, dots = 0;
  for (; i < f.size(); ++i) {
    if (f[i] >= '0' && f[i] <= '9')
      ++digits;
    else if (f[i] == '.' && fraction && ++dots == 1)
      continue;
    else
      return false;
  }
  return digits > 0 && digits <= 20;
}

std::vector<std::string> splitFields(const std::string& l) {
  std::vector<std::string> out;
  size_t p = 0;
  while (true) {
    size_t c = l.find(',', p);
    out.push_back(l.substr(p, c == std::string::npos ? std::string::npos : c - p));
    if (c == std::string::npos) return out;
    p = c + 1;
  }
}

std::string indent(const std::string& depth) {
  long long d = 0;
  parseNum(depth, d);
  return std::string(static_cast<size_t>(d < 0 ? 0 : (d > 64 ? 64 : d)) * 2, ' ');
}

// Tree files, value logs, FPS, graphics, memory and hardware data files.
bool dumpBlocks(const std::string& bytes, std::string& out, std::string& error) {
  bool inFrame = false;
  for (const std::string& l : splitLines(bytes)) {
    if (!l.empty() && l[0] == '#') {
      long long frame = 0;
      if (!parseNum(l.substr(1), frame)) {
        error = "bad frame line";
        return false;
      }
      out += "frame " + std::to_string(frame) + "\n";
      inFrame = true;
      continue;
    }
    if (!inFrame) {
      error = "line before the first frame";
      return false;
    }
    std::vector<std::string> f = splitFields(l);
    ObjectGroup group;
    if (f.size() >= 4 && !isNumber(f[1], false) && parseObjectGroup(l, group)) {
      out += "leaf " + std::to_string(group.leaf) + " class " + group.className + " bytes " +
             std::to_string(group.bytes) + " count " + std::to_string(group.count) + "\n";
      continue;
    }
    for (size_t i = 0; i < f.size(); ++i)
      if (!isNumber(f[i], i + 1 == f.size() && f.size() == 4)) {
        error = "bad number";
        return false;
      }
    if (f.size() == 5 || f.size() == 7) {
      // depth, node, key, total, calls [, extra1, extra2]
      out += indent(f[0]) + "key " + f[2] + " total " + f[3] + " calls " + f[4];
      if (f.size() == 7) out += " extra1 " + f[5] + " extra2 " + f[6];
      out += " (node " + f[1] + ")\n";
    } else if (f.size() == 4) {
      out += "kind " + f[0] + " id " + f[1] + " value " + f[3] + "\n";
    } else if (f.size() == 3) {
      out += "kind " + f[0] + " id " + f[1] + "\n";
    } else {
      error = "line with an unexpected number of fields";
      return false;
    }
  }
  return true;
}

// Time file: "frame,seconds.ms", or "frame,.ms" while the seconds stay the same.
bool isTimeLine(const std::string& l) {
  size_t comma = l.find(',');
  size_t dot = l.find('.', comma == std::string::npos ? 0 : comma);
  if (comma == std::string::npos || dot == std::string::npos) return false;
  std::string sec = l.substr(comma + 1, dot - comma - 1);
  return isNumber(l.substr(0, comma), false) && isNumber(l.substr(dot + 1), false) &&
         (sec.empty() || isNumber(sec, false));
}

bool looksLikeTimeFile(const std::string& bytes) {
  std::vector<std::string> lines = splitLines(bytes.substr(0, bytes.find('\n')));
  return !lines.empty() && isTimeLine(lines[0]);
}

bool dumpTimes(const std::string& bytes, std::string& out, std::string& error) {
  std::string seconds;
  for (const std::string& l : splitLines(bytes)) {
    if (!isTimeLine(l)) {
      error = "bad time line";
      return false;
    }
    size_t comma = l.find(',');
    size_t dot = l.find('.', comma);
    std::string sec = l.substr(comma + 1, dot - comma - 1);
    if (!sec.empty()) {
      seconds = sec;
    } else if (seconds.empty()) {
      error = "milliseconds before any seconds";
      return false;
    }
    long long ms = 0;
    parseNum(l.substr(dot + 1), ms);
    char buf[8];
    std::snprintf(buf, sizeof buf, "%03lld", ms % 1000);
    out += "frame " + l.substr(0, comma) + " at " + seconds + "." + buf + " s\n";
  }
  return true;
}
// The unregistered-sample file: one identifier per line.
bool dumpUnregistered(const std::string& bytes, std::string& out) {
  out.clear();
  for (const std::string& l : splitLines(bytes)) {
    if (!isNumber(l, false) || l[0] == '-') return false;
    out += "unregistered sample " + l + "\n";
  }
  return true;
}
}  // namespace

bool dumpFile(const std::string& bytes, const std::string& key, std::string& out, std::string& error,
              std::string* stopped) {
  out.clear();
  if (stopped) stopped->clear();
  size_t slash = bytes.find('/');
  if (slash != std::string::npos && bytes.find('\n') == std::string::npos && isNumber(bytes.substr(0, slash), false) &&
      isNumber(bytes.substr(slash + 1), false)) {
    out = "elapsed " + bytes.substr(0, slash) + " ticks of " + bytes.substr(slash + 1) + " per second\n";
    return true;
  }
  if (isBinaryIdMap(bytes)) {
    std::vector<IdName> ids;
    size_t cutAt = std::string::npos;
    if (!readBinaryIds(bytes, key, ids, error, &cutAt)) return false;
    for (const IdName& r : ids) out += std::to_string(r.id) + " = " + r.name + "\n";
    if (cutAt != std::string::npos && stopped)
      *stopped = "stopped at byte " + std::to_string(cutAt) + ": " + error + " (the file ends there)";
    error.clear();
    return true;
  }
  // Every other kind ends each line with a line break: text after the last
  // one is a line the writer did not finish. What comes before it is read.
  const size_t lastBreak = bytes.rfind('\n');
  const size_t whole = lastBreak == std::string::npos ? 0 : lastBreak + 1;
  const std::string body = bytes.substr(0, whole);
  bool ok;
  if (!body.empty() && body[0] == '#') {
    ok = dumpBlocks(body, out, error);
  } else if (looksLikeTimeFile(body)) {
    ok = dumpTimes(body, out, error);
  } else {
    std::vector<IdName> ids;
    ok = readIdMap(body, key, ids, error);
    for (const IdName& r : ids) out += std::to_string(r.id) + " = " + r.name + "\n";
    if (!ok) ok = dumpUnregistered(body, out);
  }
  if (ok && whole < bytes.size() && stopped)
    *stopped = "stopped at byte " + std::to_string(whole) + ": the last line is cut off (the file ends there)";
  return ok;
}

}  // namespace zem
