// Host stand-ins for the launcher's utilities. The ANSI code page is taken to be
// Windows-1252 (what a Western Windows uses), so conversions lose the same
// characters there as on such a system; UTF-8 is converted exactly.
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "Common.h"

namespace vekt {
namespace {

// Windows-1252 bytes 0x80..0x9F; 0 marks the five unassigned ones.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char32_t cp1252ToUnicode(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) {
    const char32_t mapped = kCp1252High[byte - 0x80];
    return mapped ? mapped : byte;  // unassigned bytes map to the C1 controls, as Windows does
  }
  return byte;
}

char unicodeToCp1252(char32_t code) {
  if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<char>(code);
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] == code) return static_cast<char>(0x80 + i);
  }
  return '?';  // the code page's default character
}

std::wstring utf8ToWide(const std::string& text) {
  std::wstring out;
  for (size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    int length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    char32_t code = length == 1 ? lead : length == 2 ? (lead & 0x1F) : length == 3 ? (lead & 0x0F) : (lead & 0x07);
    bool valid = length > 0 && i + static_cast<size_t>(length) <= text.size();
    for (int k = 1; valid && k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    if (!valid) {
      out.push_back(static_cast<wchar_t>(0xFFFD));
      ++i;
      continue;
    }
    out.push_back(static_cast<wchar_t>(code));
    i += static_cast<size_t>(length);
  }
  return out;
}

std::string wideToUtf8(const std::wstring& text) {
  std::string out;
  for (wchar_t wc : text) {
    const char32_t c = static_cast<char32_t>(wc);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

}  // namespace

std::wstring MultiToWide(const std::string& text, unsigned codePage) {
  // Like the Windows call, conversion stops at an embedded NUL.
  const std::string upToNul(text.c_str());
  if (codePage == kCodePageUtf8) return utf8ToWide(upToNul);
  std::wstring out;
  for (char c : upToNul) out.push_back(static_cast<wchar_t>(cp1252ToUnicode(static_cast<unsigned char>(c))));
  return out;
}

std::wstring AnsiToWide(const std::string& text) { return MultiToWide(text, kCodePageAnsi); }

std::string WideToMulti(const std::wstring& text, unsigned codePage) {
  const std::wstring upToNul(text.c_str());
  if (codePage == kCodePageUtf8) return wideToUtf8(upToNul);
  std::string out;
  for (wchar_t c : upToNul) out.push_back(unicodeToCp1252(static_cast<char32_t>(c)));
  return out;
}

std::wstring GetModuleDir() {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return std::wstring();
  std::wstring wide = MultiToWide(std::string(path, static_cast<size_t>(length)), kCodePageUtf8);
  const std::wstring::size_type slash = wide.rfind(L'/');
  return slash == std::wstring::npos ? wide : wide.substr(0, slash);
}

namespace {
std::wstring homeFolder(const char* below) {
  const char* home = std::getenv("HOME");
  if (!home || !*home) return std::wstring();
  return MultiToWide(std::string(home) + below, kCodePageUtf8);
}
}  // namespace

std::wstring GetDesktopDir() { return homeFolder("/Desktop"); }
std::wstring GetProgramFilesX86Dir() { return std::wstring(); }
std::wstring GetLocalAppDataDir() { return homeFolder("/.local/share"); }

int32_t GetProcessIdByName(const std::wstring& name) {
  if (name.empty()) return -1;
  DIR* proc = opendir("/proc");
  if (!proc) return -1;
  int32_t found = -1;
  const std::string wanted = WideToMulti(name, kCodePageUtf8);
  while (dirent* entry = readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (!end || *end || pid <= 0) continue;
    std::ifstream comm(std::string("/proc/") + entry->d_name + "/comm");
    std::string command;
    if (std::getline(comm, command) && command == wanted) {
      found = static_cast<int32_t>(pid);
      break;
    }
  }
  closedir(proc);
  return found;
}

bool KillProcess(int32_t pid) { return pid > 0 && kill(pid, SIGKILL) == 0; }

bool CreateShortcut(const std::wstring&, const std::wstring&, const std::wstring&) { return false; }

}  // namespace vekt
