// setting.xml as another program may have left it: parse, set a key, print,
// and check the printed text as the save does; a plain document with any
// value read from the input must always survive that check.
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
  vekt::SettingTextMatches(printer.Str(), doc);

  TiXmlDocument fresh;
  fresh.LinkEndChild(new TiXmlElement("settings"));
  vekt::SetSettingElement(fresh, "ocwindowid", old);
  TiXmlPrinter freshPrinter;
  fresh.Accept(&freshPrinter);
  const bool blank = old.find_first_not_of(" \t\n") == std::string::npos;
  if (!blank && !vekt::SettingTextMatches(freshPrinter.Str(), fresh)) std::abort();
  return 0;
}
