// Window messages the launcher's main window answers and posts, and the few
// system values its decisions need, without the Windows headers.
#pragma once

#include <cstdint>

namespace vekt {

// Received by the main window (WM_USER + 104 .. WM_USER + 113).
constexpr uint32_t WM_GL_PAGE_LOADED = 1128;  // browser events: the page has loaded
constexpr uint32_t WM_GL_MINIMIZE = 1129;     // script bridge: "min_wnd"
constexpr uint32_t WM_GL_CLOSE = 1130;        // script bridge: "close_wnd"
constexpr uint32_t WM_GL_OPEN_GAME = 1131;  // script bridge: "open_game", wParam a token of the window's request queue
constexpr uint32_t WM_GL_DRAG = 1132;       // script bridge: "wnd_mousemove"
constexpr uint32_t WM_GL_ACTIVATE = 1133;   // a second launcher instance
constexpr uint32_t WM_GL_UNPACK_DONE = 1134;   // game manager: 0 = files released
constexpr uint32_t WM_GL_DOWNLOAD_END = 1135;  // game manager: 0 = end game processes
constexpr uint32_t WM_GL_PROGRESS = 1136;      // game manager: progress 0..100
constexpr uint32_t WM_GL_PAGE_ERROR = 1137;    // browser events: the page failed to load

// Posted to the game manager.
constexpr uint32_t WM_GM_START_FAILED = 1347;
constexpr uint32_t WM_GM_LAUNCHER_READY = 1348;

// System values.
constexpr uint32_t kMessageClose = 0x0010;               // WM_CLOSE
constexpr uint32_t kMessageCaptionDoubleClick = 0x00A3;  // WM_NCLBUTTONDBLCLK
constexpr uint32_t kSysCommandClose = 0xF060;            // SC_CLOSE
constexpr uint32_t kSysCommandMoveByCaption = 0xF012;    // SC_MOVE | HTCAPTION

}  // namespace vekt
