#include "framework/PropertySheet.h"

#include <algorithm>

#include "framework/Resource.h"

namespace {

// Puts a page where comctl32 puts the selected one: the display area of the
// sheet's tab control.
void FitPageToTab(HWND hSheet, HWND hPage) {
  HWND hTab = hSheet ? reinterpret_cast<HWND>(::SendMessageW(hSheet, PSM_GETTABCONTROL, 0, 0)) : nullptr;
  if (!hTab || !hPage) return;
  RECT rc = {};
  ::GetClientRect(hTab, &rc);
  ::SendMessageW(hTab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&rc));
  ::MapWindowPoints(hTab, hSheet, reinterpret_cast<POINT*>(&rc), 2);
  ::SetWindowPos(hPage, nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

// The work area of the monitor that holds most of the rectangle.
RECT WorkAreaOf(const RECT& rc) {
  MONITORINFO info = {};
  info.cbSize = sizeof(info);
  if (!::GetMonitorInfoW(::MonitorFromRect(&rc, MONITOR_DEFAULTTONEAREST), &info)) return rc;
  return info.rcWork;
}

// The rectangle moved, and where it must shrunk, into the work area of its monitor.
RECT FitToWorkArea(const RECT& rc) {
  const RECT work = WorkAreaOf(rc);
  const LONG cx = std::min(rc.right - rc.left, work.right - work.left);
  const LONG cy = std::min(rc.bottom - rc.top, work.bottom - work.top);
  const LONG x = std::max(work.left, std::min(rc.left, work.right - cx));
  const LONG y = std::max(work.top, std::min(rc.top, work.bottom - cy));
  return {x, y, x + cx, y + cy};
}

// The ids comctl32 gives the sheet's own controls.
const int kIdTabControl = 0x3020;
const int kIdApplyNow = 0x3021;

// The sheet whose PropertySheetW call is running on this thread: the sheet
// callback has no user parameter, so this is how it finds its object.
thread_local CPropertySheet* t_pSheetInCreation = nullptr;

const UINT_PTR kSheetSubclassId = 1;

// Disables a modal window's owner while alive, as the dialog manager does for a
// modal dialog; an owner that was disabled already stays so.
class COwnerDisabled {
public:
  explicit COwnerDisabled(HWND hOwner) : m_hOwner(hOwner && ::IsWindowEnabled(hOwner) ? hOwner : nullptr) {
    if (m_hOwner) ::EnableWindow(m_hOwner, FALSE);
  }
  ~COwnerDisabled() {
    if (m_hOwner) ::EnableWindow(m_hOwner, TRUE);
  }
  COwnerDisabled(const COwnerDisabled&) = delete;
  COwnerDisabled& operator=(const COwnerDisabled&) = delete;

private:
  HWND m_hOwner;
};

}  // namespace

// ---- CPropertyPage ------------------------------------------------------------

IMPLEMENT_DYNAMIC(CPropertyPage, CDialog)

CPropertyPage::CPropertyPage(UINT nIDTemplate) : CDialog(nIDTemplate, nullptr), m_psp() {
  m_psp.dwSize = sizeof(m_psp);
  m_psp.dwFlags = PSP_DEFAULT;
  m_psp.pszTemplate = MAKEINTRESOURCEW(nIDTemplate);
  m_psp.pfnDlgProc = &CPropertyPage::PageDialogProc;
  m_psp.lParam = reinterpret_cast<LPARAM>(this);
}

BOOL CPropertyPage::OnSetActive() {
  if (m_bFirstSetActive) {
    m_bFirstSetActive = false;
    // A page made after the sheet was resized fills the tab like the others,
    // whatever size this comctl32 gave it.
    FitPageToTab(GetParentHwnd(), m_hWnd);
  } else {
    UpdateData(FALSE);
  }
  return TRUE;
}

BOOL CPropertyPage::OnKillActive() { return UpdateData(TRUE); }

BOOL CPropertyPage::OnApply() { return TRUE; }

void CPropertyPage::OnReset() {}

BOOL CPropertyPage::OnQueryCancel() { return TRUE; }

void CPropertyPage::OnOK() {}

void CPropertyPage::OnCancel() {}

void CPropertyPage::OnInitMenuPopup(HMENU) {}

bool CPropertyPage::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (message == WM_SIZE && wParam != SIZE_MINIMIZED) FitContent();
  // The page's own bars; a scroll bar control or a trackbar names itself in lParam.
  if ((message == WM_HSCROLL || message == WM_VSCROLL) && lParam == 0) {
    OnScroll(message == WM_HSCROLL ? SB_HORZ : SB_VERT, LOWORD(wParam));
    *pResult = 0;
    return true;
  }
  // Checked as the page left hides and as the next one shows, in whichever order
  // this comctl32 does them: the focus can follow only once the new page shows.
  if (message == WM_WINDOWPOSCHANGED &&
      (reinterpret_cast<const WINDOWPOS*>(lParam)->flags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW))) {
    const CWnd* pParent = GetParent();
    if (pParent && pParent->IsKindOf(RUNTIME_CLASS(CPropertySheet))) {
      static_cast<const CPropertySheet*>(pParent)->KeepFocusInShownPage();
    }
  }
  if (CDialog::OnWndMsg(message, wParam, lParam, pResult)) return true;
  if (message != WM_NOTIFY || !lParam) return false;
  const NMHDR* pHdr = reinterpret_cast<const NMHDR*>(lParam);
  // The sheet's notifications, each turned into its overridable's plain value.
  switch (pHdr->code) {
    case PSN_SETACTIVE:
      *pResult = OnSetActive() ? 0 : -1;
      return true;
    case PSN_KILLACTIVE:
      *pResult = OnKillActive() ? FALSE : TRUE;
      return true;
    case PSN_APPLY:
      *pResult = OnApply() ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE;
      return true;
    case PSN_RESET:
      OnReset();
      *pResult = 0;
      return true;
    case PSN_QUERYCANCEL:
      *pResult = OnQueryCancel() ? FALSE : TRUE;
      return true;
    default:
      return false;
  }
}

void CPropertyPage::FitContent() {
  if (m_bFitting || !m_hWnd) return;
  m_bFitting = true;
  RECT rcClient = {};
  GetClientRect(&rcClient);
  // A bar shown or hidden changes the client area, and so the layout: again, at most twice.
  for (int nPass = 0; nPass < 3; ++nPass) {
    m_anchors.Apply(rcClient.right, rcClient.bottom, POINT{-m_ptScroll.x, -m_ptScroll.y});
    const RECT bounds = GetChildrenBounds();
    m_sizeContent = {std::max(rcClient.right, bounds.right + m_ptScroll.x + m_sizeMargin.cx),
                     std::max(rcClient.bottom, bounds.bottom + m_ptScroll.y + m_sizeMargin.cy)};
    ScrollContentTo({std::min(m_ptScroll.x, m_sizeContent.cx - rcClient.right),
                     std::min(m_ptScroll.y, m_sizeContent.cy - rcClient.bottom)});
    // A page as large as its range hides the bar.
    SCROLLINFO horz = {sizeof(horz), SIF_RANGE | SIF_PAGE | SIF_POS, 0, m_sizeContent.cx - 1,
                       static_cast<UINT>(rcClient.right), m_ptScroll.x, 0};
    SCROLLINFO vert = {sizeof(vert), SIF_RANGE | SIF_PAGE | SIF_POS, 0, m_sizeContent.cy - 1,
                       static_cast<UINT>(rcClient.bottom), m_ptScroll.y, 0};
    ::SetScrollInfo(m_hWnd, SB_HORZ, &horz, TRUE);
    ::SetScrollInfo(m_hWnd, SB_VERT, &vert, TRUE);
    RECT rcNow = {};
    GetClientRect(&rcNow);
    if (::EqualRect(&rcNow, &rcClient)) break;
    rcClient = rcNow;
  }
  m_bFitting = false;
}

RECT CPropertyPage::GetChildrenBounds() const {
  RECT bounds = {0, 0, 0, 0};
  for (HWND hChild = ::GetWindow(m_hWnd, GW_CHILD); hChild; hChild = ::GetWindow(hChild, GW_HWNDNEXT)) {
    RECT rc = {};
    ::GetWindowRect(hChild, &rc);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
    ::UnionRect(&bounds, &bounds, &rc);
  }
  return bounds;
}

void CPropertyPage::ScrollContentTo(POINT pt) {
  pt = {std::max(pt.x, 0L), std::max(pt.y, 0L)};
  const int dx = m_ptScroll.x - pt.x, dy = m_ptScroll.y - pt.y;
  if (dx == 0 && dy == 0) return;
  m_ptScroll = pt;
  ::ScrollWindowEx(m_hWnd, dx, dy, nullptr, nullptr, nullptr, nullptr, SW_SCROLLCHILDREN);
  // Group boxes and labels paint through to the page: all of it again.
  ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  ::SetScrollPos(m_hWnd, SB_HORZ, pt.x, TRUE);
  ::SetScrollPos(m_hWnd, SB_VERT, pt.y, TRUE);
}

void CPropertyPage::OnScroll(int nBar, UINT nCode) {
  SCROLLINFO info = {sizeof(info), SIF_ALL};
  if (!::GetScrollInfo(m_hWnd, nBar, &info)) return;
  RECT rcLine = {0, 0, 8, 8};  // a step of eight dialog units
  ::MapDialogRect(m_hWnd, &rcLine);
  const int nLine = nBar == SB_HORZ ? rcLine.right : rcLine.bottom;
  const int nPage = static_cast<int>(info.nPage);
  int nPos = info.nPos;
  switch (nCode) {
    case SB_LINEUP: nPos -= nLine; break;  // also SB_LINELEFT, and so on
    case SB_LINEDOWN: nPos += nLine; break;
    case SB_PAGEUP: nPos -= nPage; break;
    case SB_PAGEDOWN: nPos += nPage; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: nPos = info.nTrackPos; break;
    case SB_TOP: nPos = info.nMin; break;
    case SB_BOTTOM: nPos = info.nMax; break;
    default: return;
  }
  nPos = std::min(nPos, info.nMax + 1 - nPage);
  POINT pt = m_ptScroll;
  (nBar == SB_HORZ ? pt.x : pt.y) = nPos;
  ScrollContentTo(pt);
}

void CPropertyPage::ScrollIntoView(HWND hControl) {
  if (!m_hWnd || !hControl || !::IsChild(m_hWnd, hControl)) return;
  while (::GetParent(hControl) != m_hWnd) hControl = ::GetParent(hControl);
  RECT rc = {}, rcClient = {};
  ::GetWindowRect(hControl, &rc);
  ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
  GetClientRect(&rcClient);
  // How far to scroll so that [nLow, nHigh) lies within [0, nExtent): its start
  // first where it does not fit.
  auto shift = [](LONG nLow, LONG nHigh, LONG nExtent) -> LONG {
    if (nLow < 0) return nLow;
    return nHigh > nExtent ? std::min(nHigh - nExtent, nLow) : 0;
  };
  const LONG x = m_ptScroll.x + shift(rc.left, rc.right, rcClient.right);
  const LONG y = m_ptScroll.y + shift(rc.top, rc.bottom, rcClient.bottom);
  ScrollContentTo({std::min(x, m_sizeContent.cx - rcClient.right), std::min(y, m_sizeContent.cy - rcClient.bottom)});
}

INT_PTR CALLBACK CPropertyPage::PageDialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CPropertyPage* pPage = nullptr;
  if (message == WM_INITDIALOG) {
    const PROPSHEETPAGEW* psp = reinterpret_cast<const PROPSHEETPAGEW*>(lParam);
    pPage = psp ? reinterpret_cast<CPropertyPage*>(psp->lParam) : nullptr;
    if (pPage) pPage->AttachDialog(hWnd);
  } else {
    pPage = static_cast<CPropertyPage*>(FromDialogHandle(hWnd));
  }
  if (!pPage) return FALSE;
  const INT_PTR result = pPage->HandleDialogMessage(message, wParam, lParam);
  if (message == WM_INITDIALOG) {
    // The template's size, before the sheet fits the page to its tab: the room it
    // leaves right of and below the controls stays after them when the page scrolls.
    RECT rcClient = {};
    ::GetClientRect(hWnd, &rcClient);
    const RECT bounds = pPage->GetChildrenBounds();
    pPage->m_sizeMargin = {std::max(rcClient.right - bounds.right, 0L),
                           std::max(rcClient.bottom - bounds.bottom, 0L)};
  }
  return result;
}

// ---- CPropertySheet -----------------------------------------------------------

IMPLEMENT_DYNAMIC(CPropertySheet, CWnd)

BEGIN_MESSAGE_MAP(CPropertySheet, CWnd)
  ON_MESSAGE(WM_ACTIVATE, OnActivate)
  ON_MESSAGE(WM_SHOWWINDOW, OnShowWindow)
  ON_WM_SIZE()
  ON_MESSAGE(WM_GETMINMAXINFO, OnGetMinMaxInfo)
  ON_MESSAGE(WM_DPICHANGED, OnDpiChanged)
  ON_MESSAGE(WM_NEXTDLGCTL, OnNextDlgCtl)
END_MESSAGE_MAP()

CPropertySheet::CPropertySheet(const wchar_t* pszCaption, CWnd* pParentWnd, UINT iSelectPage)
    : m_psh(), m_strCaption(pszCaption), m_pParentWnd(pParentWnd) {
  m_psh.dwSize = sizeof(m_psh);
  m_psh.dwFlags = PSH_PROPSHEETPAGE;
  m_psh.nStartPage = iSelectPage;
}

void CPropertySheet::AddPage(CPropertyPage* pPage) {
  if (pPage) m_pages.push_back(pPage);
}

CPropertyPage* CPropertySheet::GetPage(int nPage) const {
  if (nPage < 0 || nPage >= GetPageCount()) return nullptr;
  return m_pages[static_cast<size_t>(nPage)];
}

BOOL CPropertySheet::SetActivePage(int nPage) {
  if (nPage < 0 || nPage >= GetPageCount()) return FALSE;
  if (!m_hWnd) {
    m_psh.nStartPage = static_cast<UINT>(nPage);
    return TRUE;
  }
  return static_cast<BOOL>(SendMessage(PSM_SETCURSEL, static_cast<WPARAM>(nPage), 0));
}

int CPropertySheet::GetActiveIndex() const {
  if (!m_hWnd) return static_cast<int>(m_psh.nStartPage);
  HWND hTab = GetTabControl();
  return hTab ? static_cast<int>(::SendMessageW(hTab, TCM_GETCURSEL, 0, 0)) : -1;
}

CPropertyPage* CPropertySheet::GetActivePage() const {
  if (!m_hWnd) return GetPage(static_cast<int>(m_psh.nStartPage));
  HWND hPage = reinterpret_cast<HWND>(SendMessage(PSM_GETCURRENTPAGEHWND));
  for (CPropertyPage* p : m_pages) {
    if (p->m_hWnd && p->m_hWnd == hPage) return p;
  }
  return nullptr;
}

INT_PTR CPropertySheet::DoModal() {
  // Templates come from the resource handle current now (start-up changes it
  // after the pages are built).
  HINSTANCE hRes = AfxGetResourceHandle();
  m_pageEntries.clear();
  for (CPropertyPage* p : m_pages) {
    PROPSHEETPAGEW psp = p->m_psp;
    psp.hInstance = hRes;
    m_pageEntries.push_back(psp);
  }
  m_psh.dwFlags |= PSH_PROPSHEETPAGE | PSH_USECALLBACK | PSH_MODELESS;
  m_psh.hwndParent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
  m_psh.hInstance = hRes;
  m_psh.pszCaption = m_strCaption.GetString();
  m_psh.nPages = static_cast<UINT>(m_pageEntries.size());
  if (m_psh.nStartPage >= m_psh.nPages) m_psh.nStartPage = 0;
  m_psh.ppsp = m_pageEntries.empty() ? nullptr : m_pageEntries.data();
  m_psh.pfnCallback = &CPropertySheet::SheetCallback;
  m_sizeOpen = {0, 0};
  m_layout = CAnchorLayout();

  INT_PTR result = -1;
  {
    // Declared first, so gone last: the owner is enabled before the sheet goes and
    // becomes the active window again, not some other program's.
    CWindowOwner window;
    const COwnerDisabled owner(m_psh.hwndParent);
    CPropertySheet* pOuter = t_pSheetInCreation;
    t_pSheetInCreation = this;
    // A modeless sheet: its window, or 0 (some versions -1) when it failed.
    const INT_PTR created = ::PropertySheetW(&m_psh);
    t_pSheetInCreation = pOuter;
    if (created != 0 && created != -1) {
      window.Attach(reinterpret_cast<HWND>(created));
      result = RunModalLoop(reinterpret_cast<HWND>(created));
    }
  }
  m_hWnd = nullptr;
  AfxRethrowPendingException();
  return result;
}

INT_PTR CPropertySheet::RunModalLoop(HWND hSheet) {
  MSG msg = {};
  BOOL got = TRUE;
  // comctl32 ends a modeless sheet (OK, Cancel, close) by leaving it without a
  // current page; the window is its owner's to destroy.
  while (::IsWindow(hSheet) && ::SendMessageW(hSheet, PSM_GETCURRENTPAGEHWND, 0, 0)) {
    got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    // The page shown sees its keys first (its shortcuts work wherever its focus is).
    CPropertyPage* pPage = GetActivePage();
    if (pPage && pPage->PreTranslateMessage(&msg)) continue;
    if (!::SendMessageW(hSheet, PSM_ISDIALOGMESSAGE, 0, reinterpret_cast<LPARAM>(&msg))) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  if (got == 0) ::PostQuitMessage(static_cast<int>(msg.wParam));
  return ::IsWindow(hSheet) ? std::max<INT_PTR>(::SendMessageW(hSheet, PSM_GETRESULT, 0, 0), 0) : 0;
}

BOOL CPropertySheet::OnInitDialog() { return TRUE; }

int CALLBACK CPropertySheet::SheetCallback(HWND hWnd, UINT uMsg, LPARAM lParam) {
  if (uMsg == PSCB_PRECREATE && t_pSheetInCreation && lParam) {
    // lParam is comctl32's own copy of its template, a DLGTEMPLATEEX when the
    // second WORD is 0xFFFF (its style is then at offset 12), else a DLGTEMPLATE.
    BYTE* pTemplate = reinterpret_cast<BYTE*>(lParam);
    const bool bExtended = reinterpret_cast<const WORD*>(pTemplate)[1] == 0xFFFF;
    DWORD* pStyle = reinterpret_cast<DWORD*>(pTemplate + (bExtended ? 12 : 0));
    *pStyle |= t_pSheetInCreation->m_dwExtraStyle;
  }
  if (uMsg == PSCB_INITIALIZED && t_pSheetInCreation) {
    CPropertySheet* pSheet = t_pSheetInCreation;
    t_pSheetInCreation = nullptr;
    pSheet->AttachSheet(hWnd);
    try {
      pSheet->OnInitDialog();
    } catch (...) {
      AfxStorePendingException(std::current_exception());
    }
  }
  return 0;
}

void CPropertySheet::AttachSheet(HWND hWnd) {
  AttachPermanent(hWnd);
  ::SetWindowSubclass(hWnd, &CPropertySheet::SheetSubclassProc, kSheetSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

LRESULT CALLBACK CPropertySheet::SheetSubclassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                                                   UINT_PTR, DWORD_PTR dwRefData) {
  CPropertySheet* pSheet = reinterpret_cast<CPropertySheet*>(dwRefData);
  if (message == WM_NCDESTROY) {
    ::RemoveWindowSubclass(hWnd, &CPropertySheet::SheetSubclassProc, kSheetSubclassId);
    pSheet->DetachPermanent();
    return ::DefSubclassProc(hWnd, message, wParam, lParam);
  }
  LRESULT result = 0;
  bool bDefault = false;
  if (pSheet->RouteMessage(message, wParam, lParam, &result, &bDefault)) return result;
  return ::DefSubclassProc(hWnd, message, wParam, lParam);
}

LRESULT CPropertySheet::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::DefSubclassProc(m_hWnd, message, wParam, lParam);
}

bool CPropertySheet::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (message == WM_COMMAND && lParam == 0) {
    // A menu or accelerator command: the sheet's own commands first, then the
    // active page and nobody else.
    if (DispatchMessageMap(message, wParam, lParam, pResult)) return true;
    HWND hPage = reinterpret_cast<HWND>(SendMessage(PSM_GETCURRENTPAGEHWND));
    if (hPage) ::SendMessageW(hPage, WM_COMMAND, wParam, lParam);
    *pResult = 0;
    return true;
  }
  // A popup of the menu bar (not the system menu) is about to open.
  if (message == WM_INITMENUPOPUP && !HIWORD(lParam)) {
    EnableMenuCommands(reinterpret_cast<HMENU>(wParam));
    if (CPropertyPage* pPage = GetActivePage()) pPage->OnInitMenuPopup(reinterpret_cast<HMENU>(wParam));
  }
  return CWnd::OnWndMsg(message, wParam, lParam, pResult);
}

void CPropertySheet::EnableMenuCommands(HMENU hPopup) const {
  const CPropertyPage* pPage = GetActivePage();
  const int count = ::GetMenuItemCount(hPopup);
  for (int pos = 0; pos < count; ++pos) {
    // Separators have id 0, submenus -1.
    const UINT nID = ::GetMenuItemID(hPopup, pos);
    if (nID == 0 || nID == static_cast<UINT>(-1)) continue;
    const bool bHandled = HasCommandHandler(nID) || (pPage && pPage->HasCommandHandler(nID));
    ::EnableMenuItem(hPopup, static_cast<UINT>(pos), MF_BYPOSITION | (bHandled ? MF_ENABLED : MF_GRAYED));
  }
}

void CPropertySheet::KeepFocusInShownPage() const {
  HWND hFocus = ::GetFocus();
  const bool bSheetFocus = hFocus ? hFocus == m_hWnd || ::IsChild(m_hWnd, hFocus) : ::GetActiveWindow() == m_hWnd;
  if (!bSheetFocus || (hFocus && hFocus != m_hWnd && ::IsWindowVisible(hFocus))) return;
  for (const CPropertyPage* p : m_pages) {
    if (!p->m_hWnd || !::IsWindowVisible(p->m_hWnd)) continue;
    HWND hFirst = ::GetNextDlgTabItem(p->m_hWnd, nullptr, FALSE);
    ::SetFocus(hFirst && ::IsChild(p->m_hWnd, hFirst) ? hFirst : GetTabControl());
    return;
  }
}

LRESULT CPropertySheet::OnActivate(WPARAM wParam, LPARAM) {
  const LRESULT result = Default();
  if (LOWORD(wParam) != WA_INACTIVE) KeepFocusInShownPage();
  return result;
}

LRESULT CPropertySheet::OnShowWindow(WPARAM wParam, LPARAM) {
  const LRESULT result = Default();
  if (!wParam || m_sizeOpen.cx > 0) return result;
  // The sheet as it first shows is the design: comctl32 has sized it to its
  // largest page, and the first page is active (a menu bar it put on the sheet
  // has taken its height from the client area).
  static const ControlAnchor kSheetAnchors[] = {
      {kIdTabControl, ANCHOR_ALL},
      {IDOK, ANCHOR_RIGHT | ANCHOR_BOTTOM},
      {IDCANCEL, ANCHOR_RIGHT | ANCHOR_BOTTOM},
      {kIdApplyNow, ANCHOR_RIGHT | ANCHOR_BOTTOM},
      {IDHELP, ANCHOR_RIGHT | ANCHOR_BOTTOM},
  };
  // A large DPI on a small screen: the system may have kept the sheet within the
  // screen, smaller than comctl32 laid it out. The layout is taken as comctl32 made
  // it (the tab control as far from the right and bottom edges as from the left),
  // then fitted to the window the sheet really has.
  RECT rcClient = {};
  GetClientRect(&rcClient);
  SIZE layout = {rcClient.right, rcClient.bottom};
  HWND hTab = GetTabControl();
  RECT rcTab = {};
  if (hTab && ::GetWindowRect(hTab, &rcTab)) {
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rcTab), 2);
    layout.cx = std::max(layout.cx, rcTab.right + rcTab.left);
    layout.cy = std::max(layout.cy, rcTab.bottom + rcTab.left);
  }
  m_layout.Capture(m_hWnd, kSheetAnchors, sizeof(kSheetAnchors) / sizeof(kSheetAnchors[0]), layout);
  RECT rc = {};
  GetWindowRect(&rc);
  // The system keeps a new window within the screen's largest window, not within
  // the work area: the sheet would reach off the screen or under the taskbar.
  const RECT fitted = FitToWorkArea(rc);
  m_sizeOpen = {fitted.right - fitted.left, fitted.bottom - fitted.top};
  m_nOpenDpi = m_nDpi = GetWindowDpi(m_hWnd);
  if (!::EqualRect(&rc, &fitted)) {
    ::SetWindowPos(m_hWnd, nullptr, fitted.left, fitted.top, m_sizeOpen.cx, m_sizeOpen.cy,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    GetClientRect(&rcClient);
  }
  if (layout.cx != rcClient.right || layout.cy != rcClient.bottom) {
    m_layout.Apply(rcClient.right, rcClient.bottom);
    FitPagesToTab();
  }
  return result;
}

void CPropertySheet::OnSize(UINT nType, int cx, int cy) {
  Default();
  if (nType == SIZE_MINIMIZED || !IsResizable() || m_sizeOpen.cx == 0) return;
  m_layout.Apply(cx, cy);
  FitPagesToTab();
}

void CPropertySheet::FitPagesToTab() const {
  HWND hTab = GetTabControl();
  if (!hTab) return;
  for (const CPropertyPage* p : m_pages) {
    if (p->m_hWnd) FitPageToTab(m_hWnd, p->m_hWnd);
  }
}

LRESULT CPropertySheet::OnGetMinMaxInfo(WPARAM, LPARAM lParam) {
  const LRESULT result = Default();
  MINMAXINFO* pInfo = reinterpret_cast<MINMAXINFO*>(lParam);
  // Before the sheet has its size (during creation) there is no minimum yet.
  if (pInfo && m_sizeOpen.cx > 0 && IsResizable()) {
    // The minimum holds the user's resizing and, under Wine, SetWindowPos too: one
    // larger than the work area (a larger DPI) would keep the sheet off the screen.
    RECT rc = {};
    GetWindowRect(&rc);
    const RECT work = WorkAreaOf(rc);
    const int nDpi = static_cast<int>(m_nDpi), nOpenDpi = static_cast<int>(m_nOpenDpi);
    pInfo->ptMinTrackSize.x = std::min<LONG>(::MulDiv(m_sizeOpen.cx, nDpi, nOpenDpi), work.right - work.left);
    pInfo->ptMinTrackSize.y = std::min<LONG>(::MulDiv(m_sizeOpen.cy, nDpi, nOpenDpi), work.bottom - work.top);
  }
  return result;
}

LRESULT CPropertySheet::OnDpiChanged(WPARAM wParam, LPARAM lParam) {
  const UINT nDpi = LOWORD(wParam);
  if (nDpi == 0) return 0;
  m_nDpi = nDpi;
  for (const CPropertyPage* p : m_pages) {
    if (p->m_hWnd) ::SendMessageW(p->m_hWnd, WM_DPICHANGED, wParam, lParam);
  }
  if (lParam) {
    const RECT rc = FitToWorkArea(*reinterpret_cast<const RECT*>(lParam));
    ::SetWindowPos(m_hWnd, nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
  }
  return 0;
}

LRESULT CPropertySheet::OnNextDlgCtl(WPARAM, LPARAM) {
  const LRESULT result = Default();
  CPropertyPage* pPage = GetActivePage();
  if (pPage) pPage->ScrollIntoView(::GetFocus());
  return result;
}
