#include "app/MainSheet.h"

#include <shellapi.h>

#include <utility>

#include "framework/App.h"
#include "framework/Dialog.h"
#include "framework/Dpi.h"
#include "framework/MessageBox.h"
#include "framework/String.h"
#include "resources/resource.h"
#include "stats/Formatting.h"
#include "support/RegistryKey.h"
#include "support/ShellResult.h"

namespace {

const wchar_t kRootPathKey[] = L"Software\\Tarquel\\Orrindale\\1.0";
const wchar_t kRootPathValue[] = L"Root Path";
const wchar_t kHelpPage[] = L"Utilities\\Audio\\Delvora.htm";

CString LoadHelpErrorText() {
  CString text;
  if (!text.LoadString(IDS_ERROR_HELP)) text = L"Error loading string IDS_ERROR_HELP";
  return text;
}

}  // namespace

IMPLEMENT_DYNAMIC(CMainSheet, CPropertySheet)

BEGIN_MESSAGE_MAP(CMainSheet, CPropertySheet)
  ON_COMMAND(ID_EXIT, OnExit)
  ON_COMMAND(ID_HELP, OnShowHelp)
  ON_COMMAND(ID_ABOUT, OnAbout)
  ON_COMMAND(IDOK, OnOkCommand)
  ON_COMMAND(IDCANCEL, OnCancelCommand)
  ON_MESSAGE(WM_CLOSE, OnClose)
  ON_MESSAGE(WM_DPICHANGED, OnDpiChanged)
  ON_WM_TIMER()
END_MESSAGE_MAP()

CMainSheet::CMainSheet(const wchar_t* pszCaption, CWnd* pParentWnd, UINT iSelectPage)
    : CPropertySheet(pszCaption, pParentWnd, iSelectPage), m_pDeviceAccess(&CDeviceAccess::Driver()) {
  m_pageGlobal.SetHistory(&m_history);
  m_pageGlobal.m_psp.dwFlags &= ~static_cast<DWORD>(PSP_HASHELP);
  m_pageDevice.m_psp.dwFlags &= ~static_cast<DWORD>(PSP_HASHELP);
  m_pageRecordLog.m_psp.dwFlags &= ~static_cast<DWORD>(PSP_HASHELP);
  m_psh.dwFlags |= PSH_NOAPPLYNOW;
  m_psh.dwFlags &= ~static_cast<DWORD>(PSH_HASHELP);
  m_dwExtraStyle = WS_THICKFRAME | WS_MINIMIZEBOX;
  AddPage(&m_pageGlobal);
  AddPage(&m_pageDevice);
  AddPage(&m_pageRecordLog);
  SetActivePage(1);
}

BOOL CMainSheet::OnInitDialog() {
  const BOOL bResult = CPropertySheet::OnInitDialog();
  for (int id : {IDOK, IDCANCEL}) {
    HWND hButton = GetDlgItem(id);
    if (hButton) ::ShowWindow(hButton, SW_HIDE);
  }
  SetIcons(GetWindowDpi(m_hWnd));
  // The first sample comes with the first tick, as the pages' first readings do.
  SetTimer(IDT_HISTORY_SAMPLE, CGlobalHistory::kPeriodMs);
  return bResult;
}

void CMainSheet::SetDeviceAccess(CDeviceAccess* pAccess) {
  m_pDeviceAccess = pAccess ? pAccess : &CDeviceAccess::Driver();
  m_pageGlobal.SetDeviceAccess(m_pDeviceAccess);
  m_pageDevice.SetDeviceAccess(m_pDeviceAccess);
}

void CMainSheet::OnTimer(UINT_PTR nIDEvent) {
  if (nIDEvent != IDT_HISTORY_SAMPLE) {
    CPropertySheet::OnTimer(nIDEvent);
    return;
  }
  m_history.Sample(*m_pDeviceAccess);
  m_pageGlobal.OnHistoryChanged();
}

void CMainSheet::SetIcons(UINT nDpi) {
  // The icon is the executable's own, not the language module's.
  HMODULE hExe = ::GetModuleHandleW(nullptr);
  const int cxBig = GetSystemMetricForDpi(SM_CXICON, nDpi), cyBig = GetSystemMetricForDpi(SM_CYICON, nDpi);
  const int cxSmall = GetSystemMetricForDpi(SM_CXSMICON, nDpi);
  const int cySmall = GetSystemMetricForDpi(SM_CYSMICON, nDpi);
  CIcon big, small;
  if (!big.Load(hExe, IDR_MAINFRAME, cxBig, cyBig)) return;
  if (!small.Load(hExe, IDR_MAINFRAME, cxSmall, cySmall)) return;
  SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.Get()));
  SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.Get()));
  // The window has the new icons: the old ones can go.
  m_iconBig = std::move(big);
  m_iconSmall = std::move(small);
}

void CMainSheet::OnOkCommand() {}

void CMainSheet::OnCancelCommand() {
  if (m_bCloseRequested) Default();
}

LRESULT CMainSheet::OnClose(WPARAM, LPARAM) {
  // comctl32 ends the sheet by cancelling it from inside its WM_CLOSE handling
  // (on some versions through an IDCANCEL command to itself): that one cancel
  // goes through. A page may still refuse it (PSN_QUERYCANCEL).
  m_bCloseRequested = true;
  const LRESULT result = Default();
  m_bCloseRequested = false;
  return result;
}

LRESULT CMainSheet::OnDpiChanged(WPARAM wParam, LPARAM lParam) {
  SetIcons(LOWORD(wParam));
  return CPropertySheet::OnDpiChanged(wParam, lParam);
}

void CMainSheet::OnExit() {
  CWnd* pMain = AfxGetMainWnd();
  HWND hMain = pMain ? pMain->m_hWnd : nullptr;
  // Without a main window (a sheet run on its own) the sheet closes itself.
  ::PostMessageW(hMain ? hMain : m_hWnd, WM_CLOSE, 0, 0);
}

void CMainSheet::OnAbout() {
  CDialog about(IDD_ABOUTBOX, this);
  about.DoModal();
}

void CMainSheet::OnShowHelp() {
  CWideString strRoot(L"");
  const HRESULT hr = LoadOrrindaleRootPath(strRoot);
  if (FAILED(hr)) {
    CString message;
    message.Format(L"%s %s (%#8.8x) [LoadOrrindaleRootPath]", LoadHelpErrorText().GetString(),
                   GetSystemErrorTextBesideCode(hr).GetString(), static_cast<unsigned int>(hr));
    AfxMessageBox(message, MB_OK);
    return;
  }

  CString path(strRoot.GetText());
  AppendCharIfMissing(path, L'\\');
  path += kHelpPage;

  const DWORD dwError = ShellExecuteError(::ShellExecuteW(nullptr, L"open", path, nullptr, nullptr, SW_SHOWNORMAL));
  if (dwError == ERROR_SUCCESS) return;

  CString message;
  message.Format(L"%s %s [%s]", LoadHelpErrorText().GetString(),
                 GetSystemErrorText(HRESULT_FROM_WIN32(dwError)).GetString(), path.GetString());
  AfxMessageBox(message, MB_OK);
}

HRESULT LoadOrrindaleRootPath(CWideString& strRootPath) {
  CRegistryKey key(HKEY_LOCAL_MACHINE, kRootPathKey, FALSE);
  CWideString strValue(L"");
  const LONG status = key.GetString(kRootPathValue, strValue, TRUE, FALSE);
  if (status != 0) {
    return status < 0 ? static_cast<HRESULT>(status)
                      : static_cast<HRESULT>(0x80070000u | (static_cast<DWORD>(status) & 0xFFFFu));
  }
  strRootPath = strValue.IsNull() ? CWideString(L"") : strValue;
  return S_OK;
}
