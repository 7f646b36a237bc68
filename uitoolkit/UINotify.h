// Notifications from controls to their window: the record, the receiver
// interface and the pump that dispatches through message maps.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "UIDefs.h"

namespace VantorUI {

class CControlUI;

struct NotifyRecord {
  std::wstring sType;
  std::wstring sVirtualWnd;
  CControlUI* pSender = nullptr;
  uint32_t dwTimestamp = 0;
  UIPoint ptMouse;
  UIWParam wParam = 0;
  UILParam lParam = 0;
};

class INotifyUI {
 public:
  virtual ~INotifyUI() = default;
  virtual void Notify(NotifyRecord& msg) = 0;
};

// One message map: entries searched in order, then the base map.
struct NotifyMapEntry {
  std::wstring type;
  std::wstring control;  // empty: any control
  int signature = 0;     // 2: handler takes the record; 1: wParam and lParam
  std::function<void(NotifyRecord&)> onRecord;
  std::function<void(UIWParam, UILParam)> onParams;
};

struct NotifyMap {
  const NotifyMap* base = nullptr;
  std::vector<NotifyMapEntry> entries;
};

class CNotifyPump {
 public:
  virtual ~CNotifyPump() = default;
  // Pumps registered under a virtual window name receive that name's records.
  bool AddVirtualWnd(const std::wstring& name, CNotifyPump* pump);
  bool RemoveVirtualWnd(const std::wstring& name);
  // Dispatches to the virtual window named in the record, or through the maps.
  void NotifyPump(NotifyRecord& msg);
  // Searches the maps only; true when an entry was taken.
  bool LoopDispatch(NotifyRecord& msg);

 protected:
  // The pump's own map; its base chain ends at the pump's empty map.
  virtual const NotifyMap* GetNotifyMap() const { return &EmptyMap(); }
  static const NotifyMap& EmptyMap();

 private:
  std::vector<std::pair<std::wstring, CNotifyPump*>> m_virtualWnds;
};

}  // namespace VantorUI
