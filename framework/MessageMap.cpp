#include "framework/MessageMap.h"

#include <commctrl.h>

const CRuntimeClass CObject::classCObject = {"CObject", static_cast<int>(sizeof(CObject)), nullptr, nullptr};

const CRuntimeClass* CObject::GetRuntimeClass() const { return &classCObject; }

bool CObject::IsKindOf(const CRuntimeClass* pClass) const { return GetRuntimeClass()->IsDerivedFrom(pClass); }

CObject* CRuntimeClass::CreateObject() const { return m_pfnCreateObject ? m_pfnCreateObject() : nullptr; }

bool CRuntimeClass::IsDerivedFrom(const CRuntimeClass* pBaseClass) const {
  for (const CRuntimeClass* p = this; p; p = p->m_pBaseClass) {
    if (p == pBaseClass) return true;
  }
  return false;
}

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr}};
  static const AFX_MSGMAP map = {nullptr, &entries[0]};
  return &map;
}

namespace {

bool Matches(const AFX_MSGMAP_ENTRY& e, UINT nMessage, WPARAM wParam, LPARAM lParam) {
  if (e.nMessage != nMessage) return false;
  if (nMessage == WM_COMMAND) {
    UINT code = HIWORD(wParam);
    // An accelerator (code 1, no control) is the same command as its menu item.
    if (lParam == 0 && code == 1) code = 0;
    const UINT id = LOWORD(wParam);
    return e.nCode == code && id >= e.nID && id <= e.nLastID;
  }
  if (nMessage == WM_NOTIFY) {
    const NMHDR* pHdr = reinterpret_cast<const NMHDR*>(lParam);
    if (!pHdr) return false;
    return e.nCode == pHdr->code && pHdr->idFrom >= e.nID && pHdr->idFrom <= e.nLastID;
  }
  return true;
}

}  // namespace

const AFX_MSGMAP_ENTRY* CCmdTarget::FindEntry(const AFX_MSGMAP* pMap, UINT nMessage, WPARAM wParam, LPARAM lParam) {
  for (; pMap; pMap = pMap->pfnGetBaseMap ? pMap->pfnGetBaseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY* e = pMap->lpEntries; e->pfnThunk; ++e) {
      if (Matches(*e, nMessage, wParam, lParam)) return e;
    }
  }
  return nullptr;
}

bool CCmdTarget::HasCommandHandler(UINT nID) const {
  return FindEntry(GetMessageMap(), WM_COMMAND, MAKEWPARAM(nID, 0), 0) != nullptr;
}

bool CCmdTarget::DispatchMessageMap(UINT nMessage, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  const AFX_MSGMAP_ENTRY* e = FindEntry(GetMessageMap(), nMessage, wParam, lParam);
  if (!e) return false;
  LRESULT result = 0;
  const bool handled = e->pfnThunk(this, wParam, lParam, &result);
  if (pResult) *pResult = result;
  return handled;
}
