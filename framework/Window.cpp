#include "framework/Window.h"

#include <vector>

namespace {

// The property that ties a window to its framework object.
const wchar_t kObjectProp[] = L"Delvora.CWnd";

// One pending exception per thread: the GUI thread is the only one with windows.
thread_local std::exception_ptr t_pendingException;

}  // namespace

void AfxStorePendingException(std::exception_ptr p) noexcept {
  if (!t_pendingException) t_pendingException = p;
  ::PostQuitMessage(1);
}

void AfxRethrowPendingException() {
  if (t_pendingException) {
    std::exception_ptr p = t_pendingException;
    t_pendingException = nullptr;
    std::rethrow_exception(p);
  }
}

IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
  if (!hWnd) return nullptr;
  return static_cast<CWnd*>(::GetPropW(hWnd, kObjectProp));
}

void CWnd::AttachPermanent(HWND hWnd) {
  m_hWnd = hWnd;
  ::SetPropW(hWnd, kObjectProp, this);
}

void CWnd::DetachPermanent() {
  if (m_hWnd) ::RemovePropW(m_hWnd, kObjectProp);
  m_hWnd = nullptr;
}

void CWnd::GetWindowText(CString& str) const {
  const int n = ::GetWindowTextLengthW(m_hWnd);
  std::vector<wchar_t> buf(static_cast<size_t>(n) + 1, L'\0');
  const int got = ::GetWindowTextW(m_hWnd, buf.data(), n + 1);
  str = CString(buf.data(), got > 0 ? got : 0);
}

void CWnd::GetDlgItemText(int nID, CString& str) const {
  HWND hItem = ::GetDlgItem(m_hWnd, nID);
  if (!hItem) {
    str.Empty();
    return;
  }
  CWnd item(hItem);
  item.GetWindowText(str);
}

BOOL CWnd::ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags) const {
  const DWORD dwStyle = GetStyle();
  const DWORD dwNewStyle = (dwStyle & ~dwRemove) | dwAdd;
  if (dwStyle == dwNewStyle) return FALSE;
  ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(dwNewStyle));
  if (nFlags != 0) {
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | nFlags);
  }
  return TRUE;
}

bool CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  return DispatchMessageMap(message, wParam, lParam, pResult);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
  if (!m_pCurrentMsg) return 0;
  m_bDefaultCalled = true;
  return DefWindowProc(m_pCurrentMsg->message, m_pCurrentMsg->wParam, m_pCurrentMsg->lParam);
}

void CWnd::OnTimer(UINT_PTR) { Default(); }

void CWnd::OnDestroy() { Default(); }

bool CWnd::RouteMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult, bool* pDefaultCalled) {
  const CurrentMessage msg = {message, wParam, lParam};
  const CurrentMessage* pOuter = m_pCurrentMsg;
  const bool bOuterDefault = m_bDefaultCalled;
  m_pCurrentMsg = &msg;
  m_bDefaultCalled = false;
  bool handled = false;
  try {
    handled = OnWndMsg(message, wParam, lParam, pResult);
  } catch (...) {
    AfxStorePendingException(std::current_exception());
    *pResult = 0;
    handled = true;
  }
  if (pDefaultCalled) *pDefaultCalled = m_bDefaultCalled;
  m_pCurrentMsg = pOuter;
  m_bDefaultCalled = bOuterDefault;
  return handled;
}

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }
