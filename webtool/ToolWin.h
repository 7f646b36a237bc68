// The web page tool's window on Windows: start-up, the window procedure and
// the message loop around the embedded browser.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "ToolCore.h"
#include "WebBrowserWin.h"

namespace vistrel {

// String table entry holding the window class name.
constexpr UINT kClassNameResource = 109;
constexpr wchar_t kMutexName[] = L"Vistrel";
constexpr DWORD kWindowStyle = 0x80001;  // system menu; the system adds the caption
constexpr LONG kExtraExStyle = 0x9;      // dialog modal frame and topmost

// The process's command line split by the system's rules; empty on failure.
std::vector<std::wstring> processCommandLine();

class ToolWindow {
 public:
  // Start-up after the argument check. Null when the tool is to end at once:
  // a copy already runs, no window could be made, or the window went away
  // while starting. Initialises OLE on this thread for the browser.
  static std::unique_ptr<ToolWindow> start(HINSTANCE instance, const ToolArguments& args, int showCommand,
                                           vekt::browser::ErrorReporter report = vekt::browser::showErrorBox);
  ~ToolWindow();
  ToolWindow(const ToolWindow&) = delete;
  ToolWindow& operator=(const ToolWindow&) = delete;

  HWND window() const { return window_; }
  HWND owner() const { return owner_; }
  vekt::browser::WebBrowser* browser() const { return browser_; }

 private:
  explicit ToolWindow(Size started) : started_(started) {}
  static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT onCopyData(WPARAM wParam, LPARAM lParam);
  void end();
  bool alive() const { return window_ && IsWindow(window_); }

  // First member: the apartment outlives the window and the browser in it.
  vekt::browser::OleApartment ole_;
  Size started_;
  HANDLE mutex_ = nullptr;
  HWND window_ = nullptr;
  HWND owner_ = nullptr;
  vekt::browser::WebBrowser* browser_ = nullptr;  // lives as long as the process
};

// Runs until the window is gone; the result is always 0.
int runMessageLoop();

// The whole program: arguments, start-up, message loop.
int runTool(HINSTANCE instance, const std::vector<std::wstring>& commandLine, int showCommand);

}  // namespace vistrel
