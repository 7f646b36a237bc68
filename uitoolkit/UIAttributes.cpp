#include "UIAttributes.h"

namespace VantorUI {
namespace {

bool isSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

std::wstring trim(const std::wstring& s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && isSpace(s[b])) ++b;
  while (e > b && isSpace(s[e - 1])) --e;
  return s.substr(b, e - b);
}

int hexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

}  // namespace

bool ParseInt(const std::wstring& text, int& value) {
  const std::wstring t = trim(text);
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == L'-' || t[i] == L'+')) negative = t[i++] == L'-';
  if (i >= t.size()) return false;
  long long v = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < L'0' || t[i] > L'9') return false;
    if (v <= kMaxCoordinate) v = v * 10 + (t[i] - L'0');
  }
  if (v > kMaxCoordinate) v = kMaxCoordinate;
  value = static_cast<int>(negative ? -v : v);
  return true;
}

bool ParseIntList(const std::wstring& text, int* values, int count) {
  size_t start = 0;
  for (int k = 0; k < count; ++k) {
    const size_t comma = text.find(L',', start);
    const bool last = k == count - 1;
    if (last != (comma == std::wstring::npos)) return false;
    const std::wstring part = text.substr(start, last ? std::wstring::npos : comma - start);
    if (!ParseInt(part, values[k])) return false;
    start = comma + 1;
  }
  return true;
}

bool ParseRect(const std::wstring& text, UIRect& rect) {
  int v[4];
  if (!ParseIntList(text, v, 4)) return false;
  rect = UIRect{v[0], v[1], v[2], v[3]};
  return true;
}

bool ParseSize(const std::wstring& text, UISize& size) {
  int v[2];
  if (!ParseIntList(text, v, 2)) return false;
  size = UISize{v[0], v[1]};
  return true;
}

bool ParseBool(const std::wstring& text) { return text == L"true"; }

bool ParseColor(const std::wstring& text, UIColor& color) {
  const std::wstring t = trim(text);
  if (t.size() < 2 || t[0] != L'#' || t.size() > 9) return false;
  uint32_t v = 0;
  for (size_t i = 1; i < t.size(); ++i) {
    const int d = hexDigit(t[i]);
    if (d < 0) return false;
    v = (v << 4) | static_cast<uint32_t>(d);
  }
  color = v;
  return true;
}

ImageDescriptor ParseImageDescriptor(const std::wstring& text) {
  ImageDescriptor d;
  const std::wstring t = trim(text);
  if (t.empty()) return d;
  if (t.find(L'=') == std::wstring::npos) {
    d.file = t;
    d.valid = true;
    return d;
  }
  size_t i = 0;
  bool cornerOk = true;
  while (i < t.size()) {
    while (i < t.size() && isSpace(t[i])) ++i;
    if (i >= t.size()) break;
    const size_t eq = t.find(L'=', i);
    if (eq == std::wstring::npos) return ImageDescriptor{};
    const std::wstring key = trim(t.substr(i, eq - i));
    size_t v = eq + 1;
    while (v < t.size() && isSpace(t[v])) ++v;
    if (v >= t.size() || t[v] != L'\'') return ImageDescriptor{};
    const size_t close = t.find(L'\'', v + 1);
    if (close == std::wstring::npos) return ImageDescriptor{};
    const std::wstring value = t.substr(v + 1, close - v - 1);
    if (key == L"file") {
      d.file = value;
    } else if (key == L"corner") {
      cornerOk = ParseRect(value, d.corner) && d.corner.left >= 0 && d.corner.top >= 0 && d.corner.right >= 0 &&
                 d.corner.bottom >= 0;
    }
    i = close + 1;
  }
  if (d.file.empty()) return ImageDescriptor{};
  if (!cornerOk) d.corner = UIRect{};
  d.valid = true;
  return d;
}

}  // namespace VantorUI
