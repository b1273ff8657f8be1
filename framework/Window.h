#pragma once
// CWnd: a window object that borrows its HWND. Its methods are one-line forwards
// to Win32; the object is tied to its window by a window property set when the
// framework first sees the window (no process-wide handle map). Messages reach
// the object's message map through the window procedure of the derived family
// (dialog, property page, property sheet).

#include <windows.h>

#include <exception>

#include "framework/MessageMap.h"
#include "framework/String.h"
#include "support/UniqueHandle.h"

class CWnd : public CCmdTarget {
  DECLARE_DYNAMIC(CWnd)
public:
  CWnd() = default;
  explicit CWnd(HWND hWnd) : m_hWnd(hWnd) {}
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;
  ~CWnd() override = default;

  HWND m_hWnd = nullptr;

  HWND GetSafeHwnd() const { return m_hWnd; }
  operator HWND() const { return m_hWnd; }

  // Borrowing: Attach takes a window without owning it, Detach gives it back.
  void Attach(HWND hWnd) { m_hWnd = hWnd; }
  HWND Detach() { HWND h = m_hWnd; m_hWnd = nullptr; return h; }

  // The framework object tied to a window, or null when the window is not one of ours.
  static CWnd* FromHandlePermanent(HWND hWnd);
  // The parent's framework object, or null when the parent is not one of ours.
  CWnd* GetParent() const { return FromHandlePermanent(::GetParent(m_hWnd)); }
  HWND GetParentHwnd() const { return ::GetParent(m_hWnd); }

  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const { return ::SendMessageW(m_hWnd, message, wParam, lParam); }
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const { return ::PostMessageW(m_hWnd, message, wParam, lParam); }

  HWND GetDlgItem(int nID) const { return ::GetDlgItem(m_hWnd, nID); }
  int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
  BOOL IsWindow() const { return ::IsWindow(m_hWnd); }
  BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
  BOOL ShowWindow(int nCmdShow) const { return ::ShowWindow(m_hWnd, nCmdShow); }
  BOOL EnableWindow(BOOL bEnable = TRUE) const { return ::EnableWindow(m_hWnd, bEnable); }
  BOOL UpdateWindow() const { return ::UpdateWindow(m_hWnd); }
  BOOL Invalidate(BOOL bErase = TRUE) const { return ::InvalidateRect(m_hWnd, nullptr, bErase); }
  BOOL InvalidateRect(const RECT* pRect, BOOL bErase = TRUE) const { return ::InvalidateRect(m_hWnd, pRect, bErase); }
  HWND SetFocus() const { return ::SetFocus(m_hWnd); }
  BOOL DestroyWindow() const { return ::DestroyWindow(m_hWnd); }
  BOOL MoveWindow(int x, int y, int cx, int cy, BOOL bRepaint = TRUE) const { return ::MoveWindow(m_hWnd, x, y, cx, cy, bRepaint); }
  BOOL GetClientRect(RECT* pRect) const { return ::GetClientRect(m_hWnd, pRect); }
  BOOL GetWindowRect(RECT* pRect) const { return ::GetWindowRect(m_hWnd, pRect); }

  void SetWindowText(const wchar_t* pszText) const { ::SetWindowTextW(m_hWnd, pszText); }
  void GetWindowText(CString& str) const;
  int GetWindowTextLength() const { return ::GetWindowTextLengthW(m_hWnd); }
  void SetDlgItemText(int nID, const wchar_t* pszText) const { ::SetDlgItemTextW(m_hWnd, nID, pszText); }
  void GetDlgItemText(int nID, CString& str) const;
  BOOL CheckDlgButton(int nIDButton, UINT nCheck) const { return ::CheckDlgButton(m_hWnd, nIDButton, nCheck); }
  UINT IsDlgButtonChecked(int nIDButton) const { return ::IsDlgButtonChecked(m_hWnd, nIDButton); }

  DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)); }
  DWORD GetExStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE)); }
  // Removes then adds style bits; true when the style changed. nFlags, when not
  // 0, goes to SetWindowPos (SWP_FRAMECHANGED and the like).
  BOOL ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0) const;
  // WM_SETREDRAW: off before a bulk change of a control, on (and repaint) after.
  void SetRedraw(BOOL bRedraw = TRUE) const { ::SendMessageW(m_hWnd, WM_SETREDRAW, bRedraw, 0); }

  HMENU GetMenu() const { return ::GetMenu(m_hWnd); }
  // The window does not own a menu set here: the caller keeps or hands over ownership.
  BOOL SetMenu(HMENU hMenu) const { return ::SetMenu(m_hWnd, hMenu); }
  BOOL DrawMenuBar() const { return ::DrawMenuBar(m_hWnd); }

  // Window timers: a one-shot timer is one that its handler kills.
  UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC pfnTimer = nullptr) const { return ::SetTimer(m_hWnd, nIDEvent, nElapse, pfnTimer); }
  BOOL KillTimer(UINT_PTR nIDEvent) const { return ::KillTimer(m_hWnd, nIDEvent); }

  // A message's route: the message map first; DefWindowProc-style processing for
  // what the map leaves. Returns true when the message was handled, *pResult its result.
  virtual bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

  // The default processing of the message now being handled (handlers call it to
  // "continue with the default processing").
  LRESULT Default();

  // A message the loop took for this window's family, before it is translated and
  // dispatched (a property sheet offers it to its active page). TRUE: the message
  // was used up and goes no further.
  virtual BOOL PreTranslateMessage(MSG* pMsg);

  // WM_TIMER: the default processing only.
  void OnTimer(UINT_PTR nIDEvent);
  // WM_DESTROY: the default processing only.
  void OnDestroy();

protected:
  // The window's default processing of a message; a dialog's is "not handled".
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

  // Ties the object to its window (property) and back; the window procedures call these.
  void AttachPermanent(HWND hWnd);
  void DetachPermanent();

  // Runs OnWndMsg for one message, keeping the message for Default and turning any
  // C++ exception into a pending one (see AfxStorePendingException). Returns true
  // when handled; *pDefaultCalled tells whether a handler asked for Default.
  bool RouteMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult, bool* pDefaultCalled = nullptr);

  struct CurrentMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  const CurrentMessage* m_pCurrentMsg = nullptr;
  bool m_bDefaultCalled = false;

  DECLARE_MESSAGE_MAP()
};

// No C++ exception crosses a window procedure: one caught there is kept, the
// thread's message loop is told to end (WM_QUIT), and the framework call that
// ran the loop (DoModal, Run) throws it again once the loop has returned. Only
// the first exception is kept.
void AfxStorePendingException(std::exception_ptr p) noexcept;
// Throws the kept exception, if any, and forgets it.
void AfxRethrowPendingException();

// A window its owner destroys when it goes, unless the window went first (with
// its parent or owner).
struct CWindowTraits {
  using Handle = HWND;
  static Handle Invalid() noexcept { return nullptr; }
  static bool IsValid(Handle handle) noexcept { return handle != nullptr; }
  static void Close(Handle handle) noexcept {
    if (::IsWindow(handle)) ::DestroyWindow(handle);
  }
};
using CWindowOwner = CUniqueHandle<CWindowTraits>;
