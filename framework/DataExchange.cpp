#include "framework/DataExchange.h"

#include <cerrno>
#include <climits>
#include <cwchar>

#include "framework/MessageBox.h"
#include "framework/Window.h"

HWND CDataExchange::PrepareCtrl(int nIDC) {
  HWND hCtrl = m_pDlgWnd ? m_pDlgWnd->GetDlgItem(nIDC) : nullptr;
  m_hWndLastControl = hCtrl;
  if (!hCtrl) m_bFailed = true;
  return hCtrl;
}

void CDataExchange::Fail() {
  m_bFailed = true;
  if (m_hWndLastControl) {
    ::SetFocus(m_hWndLastControl);
    ::SendMessageW(m_hWndLastControl, EM_SETSEL, 0, -1);
  }
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
  if (pDX->m_bFailed) return;
  HWND hCtrl = pDX->PrepareCtrl(nIDC);
  // Bound again when the dialog's window is a new one (the object outlived its
  // first window): a borrowed handle of a destroyed control must not stay.
  if (hCtrl && rControl.m_hWnd != hCtrl) rControl.Attach(hCtrl);
}

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value) {
  if (pDX->m_bFailed) return;
  HWND hCtrl = pDX->PrepareCtrl(nIDC);
  if (!hCtrl) return;
  CWnd ctrl(hCtrl);
  if (pDX->m_bSaveAndValidate) {
    ctrl.GetWindowText(value);
  } else {
    ctrl.SetWindowText(value);
  }
}

namespace {

// The control's text as a whole number from nMin to nMax; false, with the user told
// and the exchange failed, when it is not one.
bool ReadInteger(CDataExchange* pDX, const CWnd& ctrl, long long nMin, long long nMax, long long& n) {
  CString text;
  ctrl.GetWindowText(text);
  text.Trim();
  const wchar_t* psz = text.GetString();
  wchar_t* pEnd = nullptr;
  errno = 0;
  n = std::wcstoll(psz, &pEnd, 10);
  if (text.IsEmpty() || *pEnd != L'\0' || errno == ERANGE || n < nMin || n > nMax) {
    AfxMessageBox(L"Please enter an integer.", MB_OK | MB_ICONEXCLAMATION);
    pDX->Fail();
    return false;
  }
  return true;
}

// One int exchanged as a signed or an unsigned decimal number. Unsigned values above
// INT_MAX keep their bits: they wrap into the int as they came out of it.
void ExchangeInteger(CDataExchange* pDX, int nIDC, int& value, bool bUnsigned) {
  if (pDX->m_bFailed) return;
  HWND hCtrl = pDX->PrepareCtrl(nIDC);
  if (!hCtrl) return;
  CWnd ctrl(hCtrl);
  if (pDX->m_bSaveAndValidate) {
    long long n = 0;
    const long long nMin = bUnsigned ? 0 : INT_MIN;
    const long long nMax = bUnsigned ? static_cast<long long>(UINT_MAX) : INT_MAX;
    if (ReadInteger(pDX, ctrl, nMin, nMax, n)) value = static_cast<int>(static_cast<unsigned int>(n));
  } else {
    CString text;
    if (bUnsigned) {
      text.Format(L"%u", static_cast<unsigned int>(value));
    } else {
      text.Format(L"%d", value);
    }
    ctrl.SetWindowText(text);
  }
}

}  // namespace

void DDX_Text(CDataExchange* pDX, int nIDC, int& value) { ExchangeInteger(pDX, nIDC, value, false); }

void DDX_TextUnsigned(CDataExchange* pDX, int nIDC, int& value) { ExchangeInteger(pDX, nIDC, value, true); }

void DDX_Check(CDataExchange* pDX, int nIDC, int& value) {
  if (pDX->m_bFailed) return;
  HWND hCtrl = pDX->PrepareCtrl(nIDC);
  if (!hCtrl) return;
  if (pDX->m_bSaveAndValidate) {
    value = static_cast<int>(::SendMessageW(hCtrl, BM_GETCHECK, 0, 0));
  } else {
    ::SendMessageW(hCtrl, BM_SETCHECK, static_cast<WPARAM>(value), 0);
  }
}
