#include "framework/Dialog.h"

#include "framework/Resource.h"

IMPLEMENT_DYNAMIC(CDialog, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
  ON_COMMAND(IDOK, OnOK)
  ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd) : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

INT_PTR CDialog::DoModal() {
  const LPCWSTR pszTemplate = MAKEINTRESOURCEW(m_nIDTemplate);
  HINSTANCE hInst = AfxFindResourceHandle(pszTemplate, reinterpret_cast<LPCWSTR>(RT_DIALOG));
  const HWND hParent = m_pParentWnd ? m_pParentWnd->m_hWnd : ::GetActiveWindow();
  const INT_PTR result =
      ::DialogBoxParamW(hInst, pszTemplate, hParent, &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
  AfxRethrowPendingException();
  return result;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
  CDataExchange dx(this, bSaveAndValidate);
  DoDataExchange(&dx);
  return dx.m_bFailed ? FALSE : TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

LRESULT CDialog::DefWindowProc(UINT, WPARAM, LPARAM) { return 0; }

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CDialog* pDlg = nullptr;
  if (message == WM_INITDIALOG) {
    pDlg = reinterpret_cast<CDialog*>(lParam);
    if (pDlg) pDlg->AttachDialog(hWnd);
  } else {
    pDlg = FromDialogHandle(hWnd);
  }
  if (!pDlg) return FALSE;
  return pDlg->HandleDialogMessage(message, wParam, lParam);
}

void CDialog::AttachDialog(HWND hWnd) {
  AttachPermanent(hWnd);
  ::SetWindowLongPtrW(hWnd, DWLP_USER, reinterpret_cast<LONG_PTR>(this));
}

CDialog* CDialog::FromDialogHandle(HWND hWnd) {
  // The dialog's own slot, not the window property: under Wine a property read
  // is a round trip to the server (tens of microseconds per message).
  return reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hWnd, DWLP_USER));
}

namespace {

// Messages whose result is the dialog procedure's own return value rather than DWLP_MSGRESULT.
bool ReturnsDirectly(UINT message) {
  switch (message) {
    case WM_CTLCOLORMSGBOX: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG: case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC: case WM_COMPAREITEM:
    case WM_VKEYTOITEM: case WM_CHARTOITEM: case WM_QUERYDRAGICON: case WM_INITDIALOG:
      return true;
    default:
      return false;
  }
}

}  // namespace

INT_PTR CDialog::HandleDialogMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    BOOL bFocus = TRUE;
    try {
      bFocus = OnInitDialog();
    } catch (...) {
      AfxStorePendingException(std::current_exception());
    }
    return bFocus;
  }
  LRESULT result = 0;
  bool bDefault = false;
  const bool handled = RouteMessage(message, wParam, lParam, &result, &bDefault);
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(m_hWnd, DWLP_USER, 0);
    DetachPermanent();
    return FALSE;
  }
  if (!handled || bDefault) return FALSE;
  if (ReturnsDirectly(message)) return static_cast<INT_PTR>(result);
  ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
  return TRUE;
}
