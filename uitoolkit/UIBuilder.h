// Builds a control tree from a layout file and sets the manager's window
// metrics from the layout's root element.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "UIControl.h"

namespace VantorUI {

class CManagerUI;

class IDialogBuilderCallback {
 public:
  virtual ~IDialogBuilderCallback() = default;
  // A new control for an element name the builder does not know, or null.
  virtual CControlUI* CreateCustomControl(const std::wstring& className) = 0;
};

// Limits that keep hostile layouts from exhausting the stack or memory.
constexpr int kMaxLayoutDepth = 64;
constexpr int kMaxLayoutControls = 20000;

class CDialogBuilder {
 public:
  // Reads the layout file from the skin package (or folder) and builds it.
  std::unique_ptr<CControlUI> Create(const std::wstring& layoutFile, IDialogBuilderCallback* callback,
                                     CManagerUI* manager);
  // Builds from the layout's bytes (UTF-8, an initial byte order mark skipped).
  std::unique_ptr<CControlUI> CreateFromBytes(const std::vector<uint8_t>& bytes, IDialogBuilderCallback* callback,
                                              CManagerUI* manager);
  // Why the last build gave no tree.
  const std::string& GetLastErrorText() const { return m_error; }

  // Control for a known element name, or null.
  static std::unique_ptr<CControlUI> CreateControl(const std::string& element);

 private:
  std::string m_error;
};

}  // namespace VantorUI
