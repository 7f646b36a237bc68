// Where the launcher's skin draws its texts, for the check that screenshots
// show them drawn: the message box (CustomMsgBox.xml) and the download page
// (GameLoader.xml), in window coordinates.
#pragma once
#include <windows.h>

#include "wincheck.h"
#include "winshot.h"

namespace skintexts {

struct Place {
  const char* what;
  RECT area;
};

// The caption "提示", the message, and "确定" inside the button's frame.
const Place kMessageBox[] = {
    {"of the box caption", {14, 11, 114, 39}},
    {"of the box message", {10, 134, 430, 162}},
    {"of the box button", {176, 212, 264, 236}},
};

// The tip under the download page's progress bar (whose last row it overlaps).
const Place kProgressTip = {"of the progress tip", {320, 334, 850, 352}};

inline void checkDrawn(const winshot::Picture& picture, const Place& place) {
  WCHECK(winshot::textIn(picture, place.area, place.what).drawn());
}

// The check itself refuses what a font without the characters draws: boxes,
// as GDI draws them in the skin's font and in the system's dialog font.
inline void checkMissingGlyphsRefused() {
  for (const wchar_t* face : {L"\u5FAE\u8F6F\u96C5\u9ED1", L"MS Shell Dlg"}) {  // 微软雅黑
    const winshot::Picture boxes = winshot::missingGlyphs(face, 14);
    const drawntext::Verdict verdict = winshot::textIn(boxes, RECT{0, 0, boxes.width, boxes.height}, "with no glyphs");
    WCHECK(verdict.rows >= 3 && !verdict.drawn());
  }
}

}  // namespace skintexts
