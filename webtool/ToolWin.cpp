#include "ToolWin.h"

#include <shellapi.h>

#include <new>

#include "base/Guard.h"

namespace vistrel {

namespace {

Size outerSize(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return Size{r.right - r.left, r.bottom - r.top};
}

Size clientSize(HWND window) {
  RECT r{};
  GetClientRect(window, &r);
  return Size{r.right - r.left, r.bottom - r.top};
}

bool registerToolClass(HINSTANCE instance, const wchar_t* className, WNDPROC procedure) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  wc.lpszClassName = className;
  wc.lpfnWndProc = procedure;
  return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

std::vector<std::wstring> processCommandLine() {
  int count = 0;
  LPWSTR* entries = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!entries) return {};
  std::vector<std::wstring> commandLine(entries, entries + count);
  LocalFree(entries);
  return commandLine;
}

std::unique_ptr<ToolWindow> ToolWindow::start(HINSTANCE instance, const ToolArguments& args, int showCommand,
                                              vekt::browser::ErrorReporter report) {
  wchar_t className[100] = {};
  if (LoadStringW(instance, kClassNameResource, className, 100) <= 0) return nullptr;
  if (!registerToolClass(instance, className, &windowProcedure)) return nullptr;

  // The browser is an OLE object: its apartment must exist on this thread
  // before it is made, whether or not the window system set up COM already.
  std::unique_ptr<ToolWindow> tool(new ToolWindow(Size{args.width, args.height}));
  tool->mutex_ = CreateMutexW(nullptr, FALSE, kMutexName);
  if (!tool->mutex_) return nullptr;
  if (GetLastError() == ERROR_ALREADY_EXISTS) return nullptr;  // the running copy is not told

  tool->owner_ = args.owner != 0 ? reinterpret_cast<HWND>(static_cast<INT_PTR>(args.owner)) : GetForegroundWindow();
  tool->window_ = CreateWindowExW(0, className, args.title.c_str(), kWindowStyle, CW_USEDEFAULT, 0, args.width,
                                  args.height, tool->owner_, nullptr, instance, nullptr);
  if (!tool->window_) return nullptr;
  SetWindowLongPtrW(tool->window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(tool.get()));

  // A size the system will not keep (0, or below its minimum) ends the tool at
  // the first position change; every later step first checks the window is still there.
  SetWindowLongW(tool->window_, GWL_EXSTYLE, GetWindowLongW(tool->window_, GWL_EXSTYLE) | kExtraExStyle);
  if (!tool->alive()) return nullptr;

  HWND reference = tool->owner_ ? tool->owner_ : GetDesktopWindow();
  const Point corner = centreOnOwner(clientSize(reference), outerSize(tool->window_));
  POINT screen{static_cast<LONG>(corner.x), static_cast<LONG>(corner.y)};
  MapWindowPoints(reference, GetDesktopWindow(), &screen, 1);
  SetWindowPos(tool->window_, nullptr, screen.x, screen.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  if (!tool->alive()) return nullptr;

  ShowWindow(tool->window_, showCommand);
  if (!tool->alive()) return nullptr;
  UpdateWindow(tool->window_);
  if (!tool->alive()) return nullptr;

  tool->browser_ = new (std::nothrow) vekt::browser::WebBrowser(tool->window_, report);
  if (!tool->alive()) return nullptr;
  if (!tool->browser_) return tool;  // no memory for the host: the window stays, empty
  RECT client{};
  GetClientRect(tool->window_, &client);
  tool->browser_->setBounds(client);
  if (!tool->alive()) return nullptr;
  tool->browser_->navigate(args.address);
  if (!tool->alive()) return nullptr;
  return tool;
}

ToolWindow::~ToolWindow() {
  if (alive()) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
  if (mutex_) CloseHandle(mutex_);
}

void ToolWindow::end() {
  if (alive()) DestroyWindow(window_);
  if (mutex_) {
    CloseHandle(mutex_);
    mutex_ = nullptr;
  }
}

LRESULT CALLBACK ToolWindow::windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* tool = reinterpret_cast<ToolWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!tool) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
  }
  return vekt::base::guardedCall(LRESULT{0}, [&] { return tool->handle(message, wParam, lParam); });
}

LRESULT ToolWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(window_, &ps);
      EndPaint(window_, &ps);
      return 0;
    }
    case WM_COPYDATA:
      return onCopyData(wParam, lParam);
    case WM_WINDOWPOSCHANGED: {
      const auto* change = reinterpret_cast<const WINDOWPOS*>(lParam);
      const Size now = change && !(change->flags & SWP_NOSIZE) ? Size{change->cx, change->cy} : outerSize(window_);
      if (endsTool(now, started_)) {
        end();
        return 0;
      }
      break;
    }
    default:
      break;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT ToolWindow::onCopyData(WPARAM wParam, LPARAM lParam) {
  const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
  if (!data) return DefWindowProcW(window_, WM_COPYDATA, wParam, lParam);
  const CopyDataRequest request = decodeCopyData(data->dwData, data->lpData, data->cbData);
  switch (request.action) {
    case CopyDataAction::Navigate:
      if (browser_) browser_->navigate(request.address);
      return 0;
    case CopyDataAction::Close:
      end();
      return 0;
    case CopyDataAction::Ignore:
      return 0;
    case CopyDataAction::Default:
      break;
  }
  return DefWindowProcW(window_, WM_COPYDATA, wParam, lParam);
}

int runMessageLoop() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}

int runTool(HINSTANCE instance, const std::vector<std::wstring>& commandLine, int showCommand) {
  vekt::base::guardedCall([&] {
    const std::optional<ToolArguments> args = readToolArguments(commandLine);
    if (!args) return;
    std::unique_ptr<ToolWindow> tool = ToolWindow::start(instance, *args, showCommand);
    if (tool) runMessageLoop();
  });
  return 0;
}

}  // namespace vistrel
