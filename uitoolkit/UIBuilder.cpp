#include "UIBuilder.h"

#include <tinyxml.h>

#include "UIManager.h"
#include "UIResource.h"
#include "UIText.h"
#include "base/XmlDepth.h"

namespace VantorUI {
namespace {

std::wstring attrValue(const TiXmlAttribute* a) { return Utf8ToWide(a->ValueStr()); }

class TreeBuilder {
 public:
  TreeBuilder(IDialogBuilderCallback* callback, CManagerUI* manager) : m_callback(callback), m_manager(manager) {}

  std::unique_ptr<CControlUI> build(const TiXmlElement* element, int depth, std::string& error) {
    if (depth > kMaxLayoutDepth) {
      error = "Layout nested too deeply";
      return nullptr;
    }
    if (++m_count > kMaxLayoutControls) {
      error = "Layout has too many controls";
      return nullptr;
    }
    std::unique_ptr<CControlUI> control = CDialogBuilder::CreateControl(element->ValueStr());
    if (!control && m_callback) control.reset(m_callback->CreateCustomControl(Utf8ToWide(element->ValueStr())));
    if (!control) return nullptr;  // unknown element: left out with its children
    for (const TiXmlAttribute* a = element->FirstAttribute(); a; a = a->Next())
      control->SetAttribute(Utf8ToWide(a->NameTStr()), attrValue(a));
    CContainerUI* container = control->AsContainer();
    for (const TiXmlElement* child = element->FirstChildElement(); child; child = child->NextSiblingElement()) {
      std::unique_ptr<CControlUI> item = build(child, depth + 1, error);
      if (!error.empty()) return nullptr;
      if (item && container) container->Add(std::move(item));
    }
    return control;
  }

  void addFont(const TiXmlElement* element) {
    FontSpec font;
    bool makeDefault = false;
    for (const TiXmlAttribute* a = element->FirstAttribute(); a; a = a->Next()) {
      const std::string& name = a->NameTStr();
      const std::wstring value = attrValue(a);
      int v;
      if (name == "name")
        font.face = value;
      else if (name == "size" && ParseInt(value, v) && v > 0)
        font.size = v;
      else if (name == "bold")
        font.bold = ParseBool(value);
      else if (name == "underline")
        font.underline = ParseBool(value);
      else if (name == "italic")
        font.italic = ParseBool(value);
      else if (name == "default")
        makeDefault = ParseBool(value);
    }
    if (m_manager) m_manager->AddFont(font, makeDefault);
  }

 private:
  IDialogBuilderCallback* m_callback;
  CManagerUI* m_manager;
  int m_count = 0;
};

bool isSetting(const std::string& name) {
  return name == "Font" || name == "Image" || name == "Default" || name == "Include";
}

}  // namespace

std::unique_ptr<CControlUI> CDialogBuilder::CreateControl(const std::string& element) {
  if (EqualsNoCase(element, "Control")) return std::make_unique<CControlUI>();
  if (EqualsNoCase(element, "Label")) return std::make_unique<CLabelUI>();
  if (EqualsNoCase(element, "Button")) return std::make_unique<CButtonUI>();
  if (EqualsNoCase(element, "Progress")) return std::make_unique<CProgressUI>();
  if (EqualsNoCase(element, "Container")) return std::make_unique<CContainerUI>();
  if (EqualsNoCase(element, "VerticalLayout")) return std::make_unique<CVerticalLayoutUI>();
  if (EqualsNoCase(element, "HorizontalLayout")) return std::make_unique<CHorizontalLayoutUI>();
  if (EqualsNoCase(element, "TabLayout")) return std::make_unique<CTabLayoutUI>();
  return nullptr;
}

std::unique_ptr<CControlUI> CDialogBuilder::Create(const std::wstring& layoutFile, IDialogBuilderCallback* callback,
                                                   CManagerUI* manager) {
  std::vector<uint8_t> bytes;
  if (!CResourceUI::ReadFile(layoutFile, bytes, m_error)) return nullptr;
  return CreateFromBytes(bytes, callback, manager);
}

std::unique_ptr<CControlUI> CDialogBuilder::CreateFromBytes(const std::vector<uint8_t>& bytes,
                                                            IDialogBuilderCallback* callback, CManagerUI* manager) {
  m_error.clear();
  size_t start = 0;
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) start = 3;
  if (bytes.size() <= start) {
    m_error = kZipErrorEmpty;
    return nullptr;
  }
  std::string text(bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end());
  if (text.find('\0') != std::string::npos) {
    m_error = "Layout holds a NUL byte";
    return nullptr;
  }
  if (vekt::base::xmlNestingDepth(text, 2 * kMaxLayoutDepth) > 2 * kMaxLayoutDepth) {
    m_error = "Layout nested too deeply";
    return nullptr;
  }
  // Room after the end so a UTF-8 sequence cut short cannot carry the parser past it.
  text.append(8, '\0');
  TiXmlDocument doc;
  doc.SetCondenseWhiteSpace(false);
  doc.Parse(text.c_str(), nullptr, TIXML_ENCODING_UTF8);
  if (doc.Error()) {
    m_error = std::string("XML error: ") + doc.ErrorDesc() + " (line " + std::to_string(doc.ErrorRow()) + ")";
    return nullptr;
  }
  const TiXmlElement* window = doc.RootElement();
  if (!window || window->ValueStr() != "Window") {
    m_error = "Layout has no Window element";
    return nullptr;
  }
  if (manager) {
    for (const TiXmlAttribute* a = window->FirstAttribute(); a; a = a->Next())
      manager->SetWindowAttribute(Utf8ToWide(a->NameTStr()), attrValue(a));
  }
  TreeBuilder builder(callback, manager);
  std::unique_ptr<CControlUI> root;
  for (const TiXmlElement* e = window->FirstChildElement(); e; e = e->NextSiblingElement()) {
    if (e->ValueStr() == "Font") {
      builder.addFont(e);
    } else if (!isSetting(e->ValueStr()) && !root) {
      root = builder.build(e, 1, m_error);
      if (!m_error.empty()) return nullptr;
    }
  }
  if (!root) m_error = "Layout has no control";
  return root;
}

}  // namespace VantorUI
