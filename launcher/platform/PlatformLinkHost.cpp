// Host stand-in for the platform client link: real files (paths may use "\"),
// window messages recorded in a journal.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>

#include "Common.h"
#include "PlatformLinkHost.h"

namespace vekt {
namespace {

constexpr uint32_t kCopyDataMessage = 74;

std::string hostPath(std::wstring path) {
  ReplaceAll(path, L"\\", L"/");
  return WideToMulti(path, kCodePageUtf8);
}

std::mutex& journalLock() {
  static std::mutex lock;
  return lock;
}

std::vector<SentWindowMessage>& journal() {
  static std::vector<SentWindowMessage> messages;
  return messages;
}

void record(SentWindowMessage message) {
  std::lock_guard<std::mutex> hold(journalLock());
  journal().push_back(std::move(message));
}

}  // namespace

bool PathExists(const std::wstring& path) {
  struct stat info {};
  return stat(hostPath(path).c_str(), &info) == 0;
}

bool CreateFolder(const std::wstring& path) { return mkdir(hostPath(path).c_str(), 0755) == 0; }

bool IsReadOnlyFile(const std::wstring& path) {
  struct stat info {};
  return stat(hostPath(path).c_str(), &info) == 0 && (info.st_mode & S_IWUSR) == 0;
}

std::FILE* OpenFileAt(const std::wstring& path, const char* mode) { return std::fopen(hostPath(path).c_str(), mode); }

void RemoveFileAt(const std::wstring& path) { std::remove(hostPath(path).c_str()); }

// The host's files have no sharing modes: a rename is never refused for one.
ReplaceResult ReplaceFileWith(const std::wstring& from, const std::wstring& to) {
  return std::rename(hostPath(from).c_str(), hostPath(to).c_str()) == 0 ? ReplaceResult::kReplaced
                                                                        : ReplaceResult::kFailed;
}

bool WriteFileInPlace(const std::wstring& path, const std::string& bytes) {
  std::FILE* file = std::fopen(hostPath(path).c_str(), "r+b");
  if (!file) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && std::fflush(file) == 0 &&
            ::ftruncate(::fileno(file), static_cast<off_t>(bytes.size())) == 0;
  ok = std::fclose(file) == 0 && ok;
  return ok;
}

bool PostWindowMessage(WindowHandle target, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  SentWindowMessage sent;
  sent.target = target;
  sent.message = message;
  sent.wParam = wParam;
  sent.lParam = lParam;
  record(std::move(sent));
  return target != 0;
}

void SendCopyData(WindowHandle target, uintptr_t kind, const void* data, uint32_t size) {
  SentWindowMessage sent;
  sent.target = target;
  sent.message = kCopyDataMessage;
  sent.copyDataKind = kind;
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  sent.data.assign(bytes, bytes + size);
  record(std::move(sent));
}

std::vector<SentWindowMessage> TakeSentWindowMessages() {
  std::lock_guard<std::mutex> hold(journalLock());
  std::vector<SentWindowMessage> taken;
  taken.swap(journal());
  return taken;
}

}  // namespace vekt
