// A stand-in for the game: loads vexolib.dll by path (no import library),
// finds the LogManager_ exports by name and calls them in the game's order,
// then checks the files they wrote. Exit code 0 means every check passed.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "wincheck.h"
#include "winpath.h"

namespace {
using NewLogAgentFn = void*(__cdecl*)();
using InitFn = intptr_t(__cdecl*)(void*);
using SetCatagoryFn = void(__cdecl*)(void*, const char*, const char*, int, int);
using SetLogModuleFn = void(__cdecl*)(void*, void*);
using StopFn = void(__cdecl*)(void*);
using DestroyFn = void(__cdecl*)();
using Printf3Fn = void(__cdecl*)(void*, int, int, const char*, ...);
using Printf2Fn = void(__cdecl*)(void*, int, const char*, ...);
using Print3Fn = void(__cdecl*)(void*, int, int, const char*);
using Print2Fn = void(__cdecl*)(void*, int, const char*);
using BuffPrintfFn = void(__cdecl*)(void*, const char*, ...);
using CommitBuffFn = void(__cdecl*)(void*, int);
using ClearBuffFn = void(__cdecl*)(void*);
using GetLogBuffFn = const char*(__cdecl*)(void*, int*);

struct Api {
  NewLogAgentFn NewLogAgent;
  InitFn Init;
  SetCatagoryFn SetCatagory;
  SetLogModuleFn SetLogModule;
  StopFn Stop;
  DestroyFn Destroy;
  Printf3Fn printf3;
  Printf2Fn printf2;
  Print3Fn print3;
  Print2Fn print2;
  BuffPrintfFn buff_printf;
  CommitBuffFn commit_buff;
  ClearBuffFn clear_buff;
  GetLogBuffFn get_log_buff;
};

template <typename T>
bool bind(HMODULE dll, const char* name, T& fn) {
  fn = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
  return WCHECK(fn != nullptr) || (std::printf("  missing export %s\n", name), false);
}

std::string readFile(const std::wstring& path) {
  std::string out;
  FILE* f = _wfopen(path.c_str(), L"rb");
  if (!f) return "<missing>";
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  fclose(f);
  return out;
}

long long fileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void writeFile(const std::wstring& path, const std::string& text) {
  FILE* f = _wfopen(path.c_str(), L"wb");
  if (!f) return;
  fwrite(text.data(), 1, text.size(), f);
  fclose(f);
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

int countMatches(const std::wstring& pattern) {
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(pattern.c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return 0;
  int n = 0;
  do {
    ++n;
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  return n;
}

// Every LF on disk must be preceded by CR.
bool allCrLf(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
  }
  return !text.empty();
}

std::string narrowUtf8(const std::wstring& w) {
  int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
  return s;
}

void run(const Api& log, const std::wstring& work) {
  // Agents, categories and the first module, as the game sets them up.
  void* game = log.NewLogAgent();
  WCHECK(game != nullptr);
  int len = -7;
  WCHECK(log.get_log_buff(game, &len) == nullptr);
  WCHECK_EQ(len, 0);
  WCHECK(std::strcmp(log.get_log_buff(nullptr, &len), "null") == 0);

  log.SetCatagory(game, "game", "logs\\game.txt", 0, 1);
  WCHECK_EQ(log.Init(game), 0);
  void* net = log.NewLogAgent();
  WCHECK_EQ(log.Init(net), 0);  // no name yet
  log.SetCatagory(net, "net", "logs/sub/net.log", 1, 1);
  void* con = log.NewLogAgent();
  log.SetCatagory(con, "console", "", 0, 1);
  WCHECK_EQ(log.Init(con), 2);
  intptr_t handle = log.Init(nullptr);
  WCHECK(handle != 0);
  void* late = log.NewLogAgent();
  log.SetCatagory(late, "\xE6\x97\xA5\xE5\xBF\x97", "\xE6\x97\xA5\xE5\xBF\x97\\u.txt", 0, 1);
  log.SetLogModule(late, reinterpret_cast<void*>(handle));

  // Lines.
  log.printf2(game, 4, "start %d %s %.1f", 42, "abc", 2.5);
  log.print2(game, 1, "plain %s text");
  log.printf3(game, 3, 1, "to net %u", 7u);
  log.print3(net, 2, 1, "immediate");
  // The immediate category is on disk right after the call.
  std::string netNow = readFile(L"logs\\sub\\net.log");
  WCHECK(contains(netNow, "] net (Warning): to net 7\r\n"));
  WCHECK(contains(netNow, "] net (Maintance): immediate\r\n"));
  log.printf2(game, 6, "level six is dropped");
  log.printf2(game, -1, "unknown level");
  log.printf3(game, 4, 32, "bad category");
  log.printf3(game, 4, -1, "bad category");
  log.print2(late, 4, "wide path");
  log.buff_printf(game, "part %d", 1);
  log.buff_printf(game, " part %d", 2);
  WCHECK(std::strcmp(log.get_log_buff(game, &len), "part 1 part 2") == 0);
  WCHECK_EQ(len, 13);
  log.commit_buff(game, 5);
  std::string big(3841, 'b');
  log.buff_printf(game, "%s", big.c_str());
  log.commit_buff(game, 4);
  log.buff_printf(game, "cleared");
  log.clear_buff(game);
  WCHECK(std::strcmp(log.get_log_buff(game, &len), "") == 0);
  WCHECK_EQ(len, 0);

  // Bad input: no crash, no effect.
  log.printf2(nullptr, 4, "x");
  log.printf2(game, 4, nullptr);
  log.print2(game, 4, nullptr);
  log.SetCatagory(game, nullptr, "x", 0, 0);
  log.SetLogModule(game, nullptr);
  log.commit_buff(nullptr, 4);
  log.Stop(nullptr);

  // Enough lines for one rotation at 1 MiB.
  std::string pad(200, 'r');
  for (int i = 0; i < 5000; ++i) log.printf2(game, 4, "rotate %05d %s", i, pad.c_str());

  log.Destroy();
  std::string text = readFile(L"logs\\game.txt");
  std::string backup = readFile(L"logs\\game_1.log");
  WCHECK(fileSize(L"logs\\game_1.log") >= 1048576);
  WCHECK(fileSize(L"logs\\game.txt") < 1048576);
  // Rotation follows a write: a large batch may all land in the backup.
  WCHECK(text.empty() || allCrLf(text));
  WCHECK(allCrLf(backup));
  WCHECK(contains(backup, "] game (Info): start 42 abc 2.5\r\n"));
  WCHECK(contains(backup, "] game (Error): plain %s text\r\n"));
  WCHECK(contains(backup, "] game (Unknown): unknown level\r\n"));
  WCHECK(contains(backup, "] game (Debug): part 1 part 2\r\n"));
  WCHECK(contains(backup, "] game (Error): LogAgent::commit_buff ERROR cur_buff_length:3841 too large.\r\n"));
  WCHECK(!contains(backup + text, "level six") && !contains(backup + text, "bad category"));
  WCHECK(contains(backup + text, "rotate 04999 " + pad + "\r\n"));
  WCHECK(text != "<missing>");
  WCHECK(exists(L"\u65E5\u5FD7\\u.txt"));
  WCHECK(contains(readFile(L"\u65E5\u5FD7\\u.txt"), "wide path\r\n"));

  // After the destroy call the agents are stale: their calls do nothing.
  log.printf2(game, 4, "after destroy");
  log.commit_buff(game, 4);
  log.Destroy();

  // A second module: the old file is kept under its time-stamped name.
  WCHECK_EQ(log.Init(game), 0);
  log.printf2(game, 4, "second run");
  log.Destroy();
  WCHECK_EQ(countMatches(L"logs\\game_*.txt"), 1);
  WCHECK(contains(readFile(L"logs\\game.txt"), "second run\r\n"));
  WCHECK(!contains(readFile(L"logs\\game.txt"), "after destroy"));

  // An unwritable folder: the category works and discards its lines.
  HANDLE blocker = CreateFileW(L"blocker", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  WCHECK(blocker != INVALID_HANDLE_VALUE);
  CloseHandle(blocker);
  void* lost = log.NewLogAgent();
  log.SetCatagory(lost, "lost", "blocker\\sub\\x.log", 0, 1);
  WCHECK_EQ(log.Init(lost), 0);
  log.printf2(lost, 4, "discarded %d", 1);
  log.Destroy();
  WCHECK(!exists(L"blocker\\sub"));

  // An absolute path with a drive letter: folders are made under it, not
  // under the current directory.
  std::wstring abs = work + L"\\abs\\deep\\x.log";
  void* absolute = log.NewLogAgent();
  log.SetCatagory(absolute, "abs", narrowUtf8(abs).c_str(), 0, 1);
  WCHECK_EQ(log.Init(absolute), 0);
  log.print2(absolute, 4, "absolute");
  log.Destroy();
  WCHECK(contains(readFile(abs), "] abs (Info): absolute\r\n"));

  // A bool arrives in a 32-bit slot of which only the low byte counts: the
  // bytes above it hold whatever the caller's register held.
  CreateDirectoryW(L"slot", nullptr);
  writeFile(L"slot\\dropped.txt", "old\r\n");
  writeFile(L"slot\\kept.txt", "old\r\n");
  void* dropped = log.NewLogAgent();
  void* kept = log.NewLogAgent();
  WCHECK_EQ(log.Init(dropped), 0);
  WCHECK_EQ(log.Init(kept), 0);
  log.SetCatagory(dropped, "dropped", "slot\\dropped.txt", 0, static_cast<int>(0xA5A5A500u));
  log.SetCatagory(kept, "kept", "slot\\kept.txt", 0, static_cast<int>(0x7FFFFF01u));
  log.print2(dropped, 4, "new");
  log.print2(kept, 4, "new");
  log.Destroy();
  WCHECK_EQ(countMatches(L"slot\\dropped_*.txt"), 0);
  WCHECK(!contains(readFile(L"slot\\dropped.txt"), "old"));
  WCHECK_EQ(countMatches(L"slot\\kept_*.txt"), 1);

  for (void* a : {game, net, con, late, lost, absolute, dropped, kept}) log.Stop(a);
}
}  // namespace

int main(int argc, char** argv) {
  if (!WCHECK(argc >= 2)) return wincheck::summary();
  HMODULE dll = LoadLibraryW(winpath::fromBuild(argv[1]).c_str());
  if (!WCHECK(dll != nullptr)) return wincheck::summary();

  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring work = std::wstring(temp) + L"vexolib_log_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                      std::to_wstring(GetTickCount64());
  CreateDirectoryW(work.c_str(), nullptr);
  WCHECK(SetCurrentDirectoryW(work.c_str()));

  Api log{};
  bool ok = bind(dll, "LogManager_NewLogAgent", log.NewLogAgent) & bind(dll, "LogManager_Init", log.Init) &
            bind(dll, "LogManager_SetCatagory", log.SetCatagory) &
            bind(dll, "LogManager_SetLogModule", log.SetLogModule) & bind(dll, "LogManager_Stop", log.Stop) &
            bind(dll, "LogManager_Destroy", log.Destroy) & bind(dll, "LogManager_printf3", log.printf3) &
            bind(dll, "LogManager_printf2", log.printf2) & bind(dll, "LogManager_print3", log.print3) &
            bind(dll, "LogManager_print2", log.print2) & bind(dll, "LogManager_buff_printf", log.buff_printf) &
            bind(dll, "LogManager_commit_buff", log.commit_buff) & bind(dll, "LogManager_clear_buff", log.clear_buff) &
            bind(dll, "LogManager_get_log_buff", log.get_log_buff);
  if (ok) run(log, work);
  FreeLibrary(dll);
  return wincheck::summary();
}
