// setting.xml as another program may have left it: parse, set a key, print
// as the save does, and check the printed text the way the save does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "PlatformLink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  vekt::SettingNestingDepth(bytes, 64);
  TiXmlDocument doc;
  if (!vekt::ParseSettingDocument(bytes, doc)) return 0;
  std::string old;
  vekt::GetSettingElement(doc, "ocwindowid", old);
  if (!vekt::SetSettingElement(doc, "ocwindowid", "12 34&<x>")) return 0;
  TiXmlPrinter printer;
  doc.Accept(&printer);
  vekt::SettingTextHolds(printer.Str(), "ocwindowid", "12 34&<x>");
  // A plain document always survives the round trip.
  TiXmlDocument fresh;
  fresh.LinkEndChild(new TiXmlElement("settings"));
  vekt::SetSettingElement(fresh, "ocwindowid", old);
  TiXmlPrinter freshPrinter;
  fresh.Accept(&freshPrinter);
  if (old.find('\r') == std::string::npos && !vekt::SettingTextHolds(freshPrinter.Str(), "ocwindowid", old)) {
    std::abort();
  }
  return 0;
}
