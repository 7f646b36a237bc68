#include "UINotify.h"

#include "UIControl.h"
#include "UIText.h"

namespace VantorUI {

const NotifyMap& CNotifyPump::EmptyMap() {
  static const NotifyMap empty;
  return empty;
}

bool CNotifyPump::AddVirtualWnd(const std::wstring& name, CNotifyPump* pump) {
  if (!pump || name.empty()) return false;
  for (const auto& entry : m_virtualWnds) {
    if (EqualsNoCase(entry.first, name)) return false;
  }
  m_virtualWnds.emplace_back(name, pump);
  return true;
}

bool CNotifyPump::RemoveVirtualWnd(const std::wstring& name) {
  for (auto it = m_virtualWnds.begin(); it != m_virtualWnds.end(); ++it) {
    if (EqualsNoCase(it->first, name)) {
      m_virtualWnds.erase(it);
      return true;
    }
  }
  return false;
}

void CNotifyPump::NotifyPump(NotifyRecord& msg) {
  if (!msg.sVirtualWnd.empty()) {
    for (const auto& entry : m_virtualWnds) {
      if (EqualsNoCase(entry.first, msg.sVirtualWnd)) {
        entry.second->LoopDispatch(msg);
        return;
      }
    }
  }
  LoopDispatch(msg);
}

bool CNotifyPump::LoopDispatch(NotifyRecord& msg) {
  const std::wstring senderName = msg.pSender ? msg.pSender->GetName() : std::wstring();
  for (const NotifyMap* map = GetNotifyMap(); map; map = map->base) {
    const NotifyMapEntry* taken = nullptr;
    for (const auto& e : map->entries) {
      if (e.type != msg.sType) continue;
      if (!e.control.empty() && e.control == senderName && msg.pSender) {
        taken = &e;
        break;
      }
      if (e.control.empty() && !taken) taken = &e;
    }
    if (taken) {
      if (taken->signature == 2 && taken->onRecord)
        taken->onRecord(msg);
      else if (taken->signature == 1 && taken->onParams)
        taken->onParams(msg.wParam, msg.lParam);
      return true;
    }
  }
  return false;
}

}  // namespace VantorUI
