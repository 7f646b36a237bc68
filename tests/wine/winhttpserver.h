// A loopback HTTP server for Wine tests: pages served by the test itself, so
// nothing leaves the machine. Each connection gets one fixed answer (a status
// line and a small HTML body), or nothing at all with status 0: the request
// then stays pending for as long as the server lives.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace winhttp {

class LoopbackServer {
 public:
  explicit LoopbackServer(int status, const char* reason = "OK");
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  bool ok() const { return port_ != 0 && thread_ != nullptr; }
  std::wstring address(const wchar_t* path = L"/") const {
    return L"http://127.0.0.1:" + std::to_wstring(port_) + path;
  }
  int connections() const;

  // A loopback port on which nothing listens: bound, then closed again.
  static unsigned short refusedPort();

 private:
  static DWORD WINAPI serve(void* self);
  void run();

  int status_;
  std::string reason_;
  uintptr_t listener_;
  unsigned short port_ = 0;
  HANDLE thread_ = nullptr;
  mutable CRITICAL_SECTION lock_{};
  int connections_ = 0;
  std::vector<uintptr_t> held_;
};

}  // namespace winhttp
