// Per-window manager: owns the control tree, the name table, fonts, images and
// window metrics read from the layout, routes mouse input to controls and
// notifications to the window. The Windows half (window handle, painting,
// message filters, shadow) is declared under _WIN32.
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "UIControl.h"
#include "UIImage.h"
#include "UINotify.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace VantorUI {

class CShadowUI;

struct FontSpec {
  std::wstring face;
  int size = 12;
  bool bold = false;
  bool underline = false;
  bool italic = false;
};

struct ShadowSettings {
  bool show = false;
  bool imageMode = false;
  std::wstring image;
  UIRect corner;
};

#ifdef _WIN32
class IMessageFilterUI {
 public:
  virtual ~IMessageFilterUI() = default;
  virtual LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) = 0;
};

class ITranslateAccelerator {
 public:
  virtual ~ITranslateAccelerator() = default;
  virtual LRESULT TranslateAccelerator(MSG* pMsg) = 0;
};
#endif

class CManagerUI {
 public:
  CManagerUI();
  ~CManagerUI();
  CManagerUI(const CManagerUI&) = delete;
  CManagerUI& operator=(const CManagerUI&) = delete;

  // Takes the tree, gives every control this manager and fills the name table
  // (a name met later in document order replaces an earlier one).
  bool AttachDialog(std::unique_ptr<CControlUI> root);
  CControlUI* GetRoot() const { return m_root.get(); }
  CControlUI* FindControl(const std::wstring& name) const;
  CControlUI* FindControl(UIPoint pt) const;

  // Window metrics and settings from the layout's root element.
  void SetWindowAttribute(const std::wstring& name, const std::wstring& value);
  UISize GetInitSize() const { return m_initSize; }
  const UIRect& GetSizeBox() const { return m_sizeBox; }
  const UIRect& GetCaptionRect() const { return m_caption; }
  UISize GetMinInfo() const { return m_minInfo; }
  UISize GetMaxInfo() const { return m_maxInfo; }
  UISize GetRoundCorner() const { return m_roundCorner; }
  const ShadowSettings& GetShadowSettings() const { return m_shadow; }

  int AddFont(const FontSpec& font, bool makeDefault);
  // -1 (or an unknown number) gives the default font; null when there are no fonts.
  const FontSpec* GetFont(int index) const;
  int ResolveFontIndex(int index) const;
  int GetFontCount() const { return static_cast<int>(m_fonts.size()); }
  UIColor GetDefaultTextColor() const { return m_defaultTextColor; }

  void AddNotifier(INotifyUI* notifier);
  bool RemoveNotifier(INotifyUI* notifier);
  void SendNotify(CControlUI* sender, const std::wstring& type, UIWParam wParam = 0, UILParam lParam = 0);

  // Repaint requests go through this hook (the window invalidates its area).
  void SetInvalidateHook(std::function<void(const UIRect&)> hook) { m_invalidate = std::move(hook); }
  void Invalidate(const UIRect& rc);
  void NeedUpdate() { m_updateNeeded = true; }
  bool IsUpdateNeeded() const { return m_updateNeeded; }
  // Lays the tree out over a client area of the given size.
  void SetClientSize(int width, int height);
  UISize GetClientSize() const { return m_clientSize; }
  // Lays out again when something asked for it; sends "windowinit" the first time.
  void UpdateLayout();
  void Paint(IRenderUI& render, const UIRect& dirty);

  // Mouse input in client coordinates.
  void OnMouseMove(UIPoint pt);
  void OnMouseLeave();
  void OnButtonDown(UIPoint pt);
  void OnButtonUp(UIPoint pt);
  bool HasCapture() const { return m_captured != nullptr; }

  // Decoded once per file name and kept; failures are remembered too.
  std::shared_ptr<CBitmapUI> GetImage(const std::wstring& file);

#ifdef _WIN32
  void Init(HWND hWnd);
  HWND GetPaintWindow() const { return m_hWnd; }
  HFONT GetHFont(int index);
  bool AddMessageFilter(IMessageFilterUI* filter);
  bool RemoveMessageFilter(IMessageFilterUI* filter);
  bool AddTranslateAccelerator(ITranslateAccelerator* translator);
  bool RemoveTranslateAccelerator(ITranslateAccelerator* translator);
  // Mouse, paint and size messages of the window; true when handled.
  bool MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes);
  // Accelerators and message filters of the window a message is for (and its
  // ancestors'); true when the message is consumed.
  static bool TranslateMessage(const MSG* pMsg);
  CShadowUI* GetShadow() const { return m_shadowWnd.get(); }
#endif

 private:
  void setHot(CControlUI* control, UIPoint pt);
  void forgetControl(const CControlUI* control);

  std::unique_ptr<CControlUI> m_root;
  std::map<std::wstring, CControlUI*> m_names;
  std::vector<INotifyUI*> m_notifiers;
  std::function<void(const UIRect&)> m_invalidate;
  bool m_updateNeeded = false;
  bool m_firstLayout = true;
  UISize m_clientSize;

  UISize m_initSize;
  UIRect m_sizeBox;
  UIRect m_caption;
  UISize m_minInfo;
  UISize m_maxInfo;
  UISize m_roundCorner;
  ShadowSettings m_shadow;
  std::vector<FontSpec> m_fonts;
  int m_defaultFont = -1;
  UIColor m_defaultTextColor = 0xFF000000;

  std::map<std::wstring, std::shared_ptr<CBitmapUI>> m_images;

  UIPoint m_lastMouse;
  CControlUI* m_hot = nullptr;
  CControlUI* m_captured = nullptr;

#ifdef _WIN32
  // Shadow and window bookkeeping when a tree is attached; fonts and the
  // manager list when the manager goes.
  void attachWindowParts();
  void releaseWindowParts();
  void paint();
  HWND m_hWnd = nullptr;
  std::vector<HFONT> m_hFonts;
  std::vector<IMessageFilterUI*> m_filters;
  std::vector<ITranslateAccelerator*> m_translators;
  std::shared_ptr<CShadowUI> m_shadowWnd;  // shared_ptr: the type stays incomplete here
  bool m_mouseTracking = false;
#endif
};

}  // namespace VantorUI
