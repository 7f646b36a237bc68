#include "PlatformLink.h"

#include <memory>

#include "Common.h"
#include "Logger.h"
#include "base/XmlDepth.h"

namespace vekt {
namespace {

constexpr size_t kParsePadding = 16;

std::wstring wideKey(const std::string& key) { return std::wstring(key.begin(), key.end()); }

bool startsWithBom(const std::string& bytes) {
  return bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF &&
         static_cast<unsigned char>(bytes[1]) == 0xBB && static_cast<unsigned char>(bytes[2]) == 0xBF;
}

// A file with nothing but blanks (or a byte order mark) holds no settings.
bool isBlankDocument(const std::string& bytes) {
  for (size_t i = startsWithBom(bytes) ? 3 : 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  }
  return true;
}

// The reading half of the XML library's file loading: CR LF and lone CR become LF.
std::string normaliseLineEnds(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r') {
      out.push_back('\n');
      if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    } else {
      out.push_back(bytes[i]);
    }
  }
  return out;
}

bool readWholeFile(const std::wstring& path, std::string& bytes) {
  std::FILE* file = OpenFileAt(path, "rb");
  if (!file) return false;
  bytes.clear();
  char buffer[4096];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
  const bool ok = std::ferror(file) == 0;
  std::fclose(file);
  return ok;
}

// Used only when setting.xml cannot be replaced because its holder shares it
// for reading and writing but not for deletion: the checked text is written
// over the old content and read back; a mismatch puts the old content back.
bool overwriteInPlace(const std::wstring& path, const std::string& text, const std::string& oldBytes) {
  std::string again;
  if (WriteFileInPlace(path, text) && readWholeFile(path, again) && again == text) return true;
  WriteFileInPlace(path, oldBytes);
  return false;
}

// Writes a sibling file and moves it over the old one, so a failed save never
// leaves a half-written setting.xml behind (the platform client keeps its own
// settings in the same file).
bool saveDocument(const TiXmlDocument& doc, const std::wstring& path, const std::string& oldBytes) {
  if (PathExists(path) && IsReadOnlyFile(path)) return false;
  const std::wstring temporary = path + L".vekt-tmp";
  std::FILE* file = OpenFileAt(temporary, "w");
  if (!file) return false;
  bool ok = true;
  ok = doc.SaveFile(file);
  ok = std::fflush(file) == 0 && ok;
  ok = std::fclose(file) == 0 && ok;
  // The library prints some documents it then reads differently (garbage in
  // a declaration, say): only a file that reads back as the document it was
  // made from replaces the old one.
  std::string written;
  ok = ok && readWholeFile(temporary, written) && SettingTextMatches(written, doc);
  if (ok) {
    const ReplaceResult replaced = ReplaceFileWith(temporary, path);
    ok = replaced == ReplaceResult::kReplaced ||
         (replaced == ReplaceResult::kRefusedForSharing && overwriteInPlace(path, written, oldBytes));
  }
  RemoveFileAt(temporary);
  return ok;
}

// Text beside other nodes is laid out by the printer with line ends and
// indents of its own; trimmed on reading, a document stays the same however
// often it is saved. Text alone in its element is kept exactly.
void trimMixedText(TiXmlNode* node, int depth) {
  if (depth > kSettingMaxDepth + 2) return;
  const bool mixed = node->FirstChild() && node->FirstChild() != node->LastChild();
  for (TiXmlNode* child = node->FirstChild(); child; child = child->NextSibling()) {
    TiXmlText* text = child->ToText();
    if (mixed && text && !text->CDATA()) {
      const std::string& value = text->ValueStr();
      const size_t first = value.find_first_not_of(" \t\n");
      const size_t last = value.find_last_not_of(" \t\n");
      if (first != std::string::npos) text->SetValue(value.substr(first, last - first + 1));
    }
    if (child->ToElement()) trimMixedText(child, depth + 1);
  }
}

}  // namespace

bool ParseSettingDocument(const std::string& bytes, TiXmlDocument& doc) {
  doc.Clear();
  doc.ClearError();
  // XML has no NUL; the library would read past one inside a UTF-8 sequence
  // and print the rest of the document cut off at it.
  if (bytes.find('\0') != std::string::npos) return false;
  if (base::xmlNestingDepth(bytes, kSettingMaxDepth) > kSettingMaxDepth) return false;
  std::string text = normaliseLineEnds(bytes);
  // The XML library steps over a UTF-8 sequence by its lead byte alone: one cut
  // short by the end of the text would carry it past the terminating NUL.
  // Padding keeps every such step inside the buffer and on a NUL.
  text.append(kParsePadding, '\0');
  // Values belong to whoever wrote them: keep their blanks as they are.
  const bool condensed = TiXmlBase::IsWhiteSpaceCondensed();
  TiXmlBase::SetCondenseWhiteSpace(false);
  // The library's own choice of encoding (byte order mark, declaration, else
  // byte by byte) keeps text of any code page as it is.
  doc.Parse(text.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
  TiXmlBase::SetCondenseWhiteSpace(condensed);
  if (doc.Error()) return false;
  trimMixedText(&doc, 0);
  return true;
}

bool SetSettingElement(TiXmlDocument& doc, const std::string& key, const std::string& utf8Value) {
  TiXmlElement* root = doc.FirstChildElement();
  if (!root) return false;
  TiXmlElement* element = root->FirstChildElement(key.c_str());
  if (element) {
    element->Clear();
  } else {
    element = root->LinkEndChild(new TiXmlElement(key.c_str()))->ToElement();
  }
  element->LinkEndChild(new TiXmlText(utf8Value.c_str()));
  return true;
}

bool GetSettingElement(const TiXmlDocument& doc, const std::string& key, std::string& utf8Value, bool* hasText) {
  if (hasText) *hasText = false;
  const TiXmlElement* root = doc.FirstChildElement();
  if (!root) return false;
  const TiXmlElement* element = root->FirstChildElement(key.c_str());
  if (!element) return false;
  const TiXmlNode* first = element->FirstChild();
  if (first && first->ToText()) {
    utf8Value = first->Value();
    if (hasText) *hasText = true;
  }
  return true;
}

namespace {

// Text nodes of blanks alone are layout: the library drops them on reading.
const TiXmlNode* nextKept(const TiXmlNode* node) {
  while (node && node->ToText() && !node->ToText()->CDATA() &&
         std::string(node->Value()).find_first_not_of(" \t\n") == std::string::npos) {
    node = node->NextSibling();
  }
  return node;
}

bool sameAttributes(const TiXmlElement& a, const TiXmlElement& b) {
  const TiXmlAttribute* x = a.FirstAttribute();
  const TiXmlAttribute* y = b.FirstAttribute();
  for (; x && y; x = x->Next(), y = y->Next()) {
    if (x->NameTStr() != y->NameTStr() || x->ValueStr() != y->ValueStr()) return false;
  }
  return !x && !y;
}

bool sameNodes(const TiXmlNode* a, const TiXmlNode* b, int depth) {
  if (depth > kSettingMaxDepth + 2) return false;
  a = nextKept(a);
  b = nextKept(b);
  for (; a && b; a = nextKept(a->NextSibling()), b = nextKept(b->NextSibling())) {
    if (a->Type() != b->Type() || a->ValueStr() != b->ValueStr()) return false;
    if (a->ToElement() && !sameAttributes(*a->ToElement(), *b->ToElement())) return false;
    if (!sameNodes(a->FirstChild(), b->FirstChild(), depth + 1)) return false;
  }
  return !a && !b;
}

}  // namespace

bool SettingTextMatches(const std::string& written, const TiXmlDocument& doc) {
  TiXmlDocument again;
  return ParseSettingDocument(written, again) && sameNodes(doc.FirstChild(), again.FirstChild(), 0);
}

std::wstring GetSettingPath() {
  const std::wstring folder = GetLocalAppDataDir() + L"\\" + kSettingFolder;
  if (!PathExists(folder)) CreateFolder(folder);
  return folder + L"\\" + kSettingFileName;
}

bool WriteSetting(const std::string& key, const std::wstring& value, const std::wstring& path) {
  TiXmlDocument doc;
  std::string bytes;
  bool fresh = !PathExists(path);
  if (!fresh) {
    if (!readWholeFile(path, bytes)) {
      VEKT_LOG(0, L"WriteSetting " << wideKey(key) << L" cannot read:" << path);
      return false;
    }
    fresh = isBlankDocument(bytes);
  }
  if (fresh) {
    doc.LinkEndChild(new TiXmlElement(kSettingRootName));
  } else if (!ParseSettingDocument(bytes, doc)) {
    VEKT_LOG(0, L"WriteSetting " << wideKey(key) << L" bad xml, not written:" << path);
    return false;
  }
  const std::string utf8 = WideToMulti(value, kCodePageUtf8);
  if (!SetSettingElement(doc, key, utf8)) {
    VEKT_LOG(0, L"WriteSetting " << wideKey(key) << L" no root element, not written:" << path);
    return false;
  }
  if (!saveDocument(doc, path, bytes)) {
    VEKT_LOG(0, L"WriteSetting " << wideKey(key) << L" cannot save:" << path);
    return false;
  }
  return true;
}

bool ReadSetting(const std::string& key, const std::wstring& path, std::wstring& value) {
  std::string bytes;
  if (!PathExists(path) || !readWholeFile(path, bytes)) {
    VEKT_LOG(0, L"ReadSetting " << wideKey(key) << L" cannot read:" << path);
    return false;
  }
  TiXmlDocument doc;
  if (!ParseSettingDocument(bytes, doc)) {
    VEKT_LOG(0, L"ReadSetting " << wideKey(key) << L" bad xml:" << path);
    return false;
  }
  std::string text;
  bool hasText = false;
  if (!GetSettingElement(doc, key, text, &hasText)) {
    VEKT_LOG(0, L"ReadSetting " << wideKey(key) << L" not found:" << path);
    return false;
  }
  if (hasText) value = MultiToWide(text, kCodePageUtf8);
  return true;
}

bool RecordPlatformWindow(const std::wstring& winid) {
  return WriteSetting(kSettingOcWindowId, winid, GetSettingPath());
}

bool RecordLoginSource(const std::wstring& source) {
  return WriteSetting(kSettingLoginSource, source, GetSettingPath());
}

int32_t DecimalHandleValue(const std::wstring& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == L' ' || (text[i] >= L'\t' && text[i] <= L'\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  uint64_t magnitude = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    magnitude = magnitude * 10 + static_cast<uint64_t>(text[i] - L'0');
    if (magnitude > 0xFFFFFFFFull) return 0;
  }
  if (negative && magnitude > 0x80000000ull) return 0;
  const uint32_t bits =
      negative ? static_cast<uint32_t>(0u - static_cast<uint32_t>(magnitude)) : static_cast<uint32_t>(magnitude);
  int32_t value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

WindowHandle WindowHandleFromDecimal(const std::wstring& text) {
  return static_cast<WindowHandle>(static_cast<intptr_t>(DecimalHandleValue(text)));
}

bool PostLauncherReady(const LaunchParams& params) {
  if (params.typeMode != L"1" || params.gameMgrId.empty()) return false;
  return PostWindowMessage(WindowHandleFromDecimal(params.gameMgrId), WM_GM_LAUNCHER_READY, 0, 0);
}

bool PostGameStartFailed(const LaunchParams& params) {
  return PostWindowMessage(WindowHandleFromDecimal(params.gameMgrId), WM_GM_START_FAILED, 0, 0);
}

bool SendCloseNotice(const LaunchParams& params) {
  if (params.source != L"OC" || params.winid.empty()) return false;
  SendGameExitNotice(WindowHandleFromDecimal(params.winid));
  return true;
}

GameExitNotice MakeGameExitNotice(const std::u16string& text) {
  GameExitNotice notice;
  const size_t units = text.size() < kGameExitNoticeTextUnits - 1 ? text.size() : kGameExitNoticeTextUnits - 1;
  for (size_t i = 0; i < units; ++i) notice.text[i] = text[i];
  return notice;
}

std::array<unsigned char, kGameExitNoticeSize> GameExitNoticeBytes(const GameExitNotice& notice) {
  std::array<unsigned char, kGameExitNoticeSize> bytes{};
  auto put32 = [&bytes](size_t at, int32_t value) {
    const uint32_t bits = static_cast<uint32_t>(value);
    for (int k = 0; k < 4; ++k) bytes[at + static_cast<size_t>(k)] = static_cast<unsigned char>(bits >> (8 * k));
  };
  put32(0, notice.head);
  for (size_t i = 0; i < kGameExitNoticeTextUnits; ++i) {
    const char16_t unit = notice.text[i];
    bytes[4 + 2 * i] = static_cast<unsigned char>(unit & 0xFF);
    bytes[5 + 2 * i] = static_cast<unsigned char>(unit >> 8);
  }
  put32(524, notice.tail);
  return bytes;
}

void SendGameExitNotice(WindowHandle target) {
  const auto bytes = GameExitNoticeBytes(MakeGameExitNotice());
  SendCopyData(target, kGameExitNoticeCopyDataKind, bytes.data(), static_cast<uint32_t>(bytes.size()));
}

}  // namespace vekt
