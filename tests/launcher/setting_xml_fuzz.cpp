// setting.xml as another program may have left it: parse, set a key, print,
// parse again; the key must then read back with its value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "PlatformLink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  TiXmlDocument doc;
  if (!vekt::ParseSettingDocument(bytes, doc)) return 0;
  std::string old;
  vekt::GetSettingElement(doc, "ocwindowid", old);
  if (!vekt::SetSettingElement(doc, "ocwindowid", "12 34&<x>")) return 0;
  TiXmlPrinter printer;
  doc.Accept(&printer);
  TiXmlDocument again;
  if (!vekt::ParseSettingDocument(printer.Str(), again)) return 0;  // the library may print what it cannot read
  std::string value;
  bool hasText = false;
  if (!vekt::GetSettingElement(again, "ocwindowid", value, &hasText) || !hasText || value != "12 34&<x>") {
    std::abort();
  }
  return 0;
}
