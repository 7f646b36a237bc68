// The link with the platform client and the game manager: setting.xml in the
// platform client's data folder, the game-exit copy-data record and the
// messages posted to the game manager.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include <tinyxml.h>

#include "LaunchParams.h"
#include "WindowMessages.h"

namespace vekt {

// ---- setting.xml ----

constexpr const char* kSettingOcWindowId = "ocwindowid";
constexpr const char* kSettingLoginSource = "loginsource";
constexpr const char* kSettingRootName = "settings";
constexpr const wchar_t* kSettingFolder = L"Orbisk_Center";
constexpr const wchar_t* kSettingFileName = L"setting.xml";
// Deeper documents are refused: parsing, printing and freeing them recurse.
constexpr int kSettingMaxDepth = 200;

// Local application data folder, "\Orbisk_Center" (created when missing), "\setting.xml".
std::wstring GetSettingPath();
// Sets the key's element below the root to value (UTF-8); true when the file was saved.
bool WriteSetting(const std::string& key, const std::wstring& value, const std::wstring& path);
// True when the key's element exists; value then holds its text (left as given
// when the element holds no text).
bool ReadSetting(const std::string& key, const std::wstring& path, std::wstring& value);

// Records the platform client's window (winid) and who started the launcher.
bool RecordPlatformWindow(const std::wstring& winid);
bool RecordLoginSource(const std::wstring& source);

// Document steps behind the two calls above, usable on text in memory.
// Parses file bytes as setting.xml does: line ends normalised, the library's
// encoding detection, white space of values kept, no NUL, nesting limited.
bool ParseSettingDocument(const std::string& bytes, TiXmlDocument& doc);
// Replaces the content of the root's first child element named key (appending
// that element when missing) with one text node. False without a root element.
bool SetSettingElement(TiXmlDocument& doc, const std::string& key, const std::string& utf8Value);
// False without a root element or without the key's element. utf8Value takes
// the element's text when its first child is text.
bool GetSettingElement(const TiXmlDocument& doc, const std::string& key, std::string& utf8Value,
                       bool* hasText = nullptr);
// True when written parses back to the same document as doc (compared as
// the library prints them).
bool SettingTextMatches(const std::string& written, const TiXmlDocument& doc);

// ---- window messages ----

// Window handles travel as decimal text; kept pointer-wide here.
using WindowHandle = std::uintptr_t;

// Signed 32-bit value of the leading decimal digits (after blanks and a sign);
// 0 without digits. A value written unsigned (up to 4294967295) gives the same
// 32 bits; a number beyond 32 bits names no window and gives 0.
int32_t DecimalHandleValue(const std::wstring& text);
// The window handle of such a text, sign-extended as the system does.
WindowHandle WindowHandleFromDecimal(const std::wstring& text);

// Posts 1348 to the game manager when typeMode is "1" and gameMgrId is set;
// true when it was posted.
bool PostLauncherReady(const LaunchParams& params);
// Posts 1347 to the game manager named by gameMgrId.
bool PostGameStartFailed(const LaunchParams& params);
// The close routine's notice: sent only when source is "OC" and winid is set.
bool SendCloseNotice(const LaunchParams& params);

// ---- GameExitNotice ----

constexpr size_t kGameExitNoticeSize = 528;
constexpr size_t kGameExitNoticeTextUnits = 260;
constexpr uintptr_t kGameExitNoticeCopyDataKind = 1;  // COPYDATASTRUCT.dwData

struct GameExitNotice {
  int32_t head = 1;
  char16_t text[kGameExitNoticeTextUnits] = {};
  int32_t tail = 1;
};
static_assert(sizeof(GameExitNotice) == kGameExitNoticeSize, "GameExitNotice is 528 bytes");

// The notice with text (cut to 259 code units so the terminating zero stays).
GameExitNotice MakeGameExitNotice(const std::u16string& text = u"1");
// The record as sent: little-endian, 528 bytes.
std::array<unsigned char, kGameExitNoticeSize> GameExitNoticeBytes(const GameExitNotice& notice);
// Sends the notice with WM_COPYDATA; the answer is not looked at.
void SendGameExitNotice(WindowHandle target);

// ---- platform layer (Windows or host stand-in) ----

bool PathExists(const std::wstring& path);
bool CreateFolder(const std::wstring& path);
bool IsReadOnlyFile(const std::wstring& path);
std::FILE* OpenFileAt(const std::wstring& path, const char* mode);
void RemoveFileAt(const std::wstring& path);
// Moves from over to in one step (the old to stays intact when that fails).
enum class ReplaceResult { kReplaced, kRefusedForSharing, kFailed };
ReplaceResult ReplaceFileWith(const std::wstring& from, const std::wstring& to);
// Overwrites the content of an existing file, sharing it with whoever holds it
// open for reading and writing.
bool WriteFileInPlace(const std::wstring& path, const std::string& bytes);
bool PostWindowMessage(WindowHandle target, uint32_t message, uintptr_t wParam, intptr_t lParam);
void SendCopyData(WindowHandle target, uintptr_t kind, const void* data, uint32_t size);

}  // namespace vekt
