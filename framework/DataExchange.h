#pragma once
// Dialog data exchange: moves values between members and controls in one
// direction per call. A failed exchange (text that is not a number, a missing
// control) marks the exchange failed, focuses the control and makes every later
// DDX_ call of the same exchange do nothing; UpdateData then returns FALSE.

#include <windows.h>

#include "framework/String.h"

class CWnd;

class CDataExchange {
public:
  CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate) : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

  BOOL m_bSaveAndValidate;  // TRUE: controls -> members; FALSE: members -> controls
  CWnd* m_pDlgWnd;
  bool m_bFailed = false;

  // The control with id nIDC, remembered as the one a failure focuses; null when
  // the dialog has none (the exchange then fails).
  HWND PrepareCtrl(int nIDC);
  void Fail();

private:
  HWND m_hWndLastControl = nullptr;
};

// Binds rControl to dialog control nIDC (a borrowed window), again whenever the
// dialog's window has been created anew.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
// Text of control nIDC as text.
void DDX_Text(CDataExchange* pDX, int nIDC, CString& value);
// Text of control nIDC as a signed decimal integer. On save, text that is not a
// whole number in the int range fails the exchange after telling the user.
void DDX_Text(CDataExchange* pDX, int nIDC, int& value);
// Text of control nIDC as an unsigned decimal integer kept in an int's 32 bits, for
// counts that pass 2147483647 (3000000000 shows as such, not as a negative number).
// On save, text that is not a whole number from 0 to 4294967295 fails the exchange
// after telling the user.
void DDX_TextUnsigned(CDataExchange* pDX, int nIDC, int& value);
// Check box state: 0 unchecked, 1 checked, 2 indeterminate.
void DDX_Check(CDataExchange* pDX, int nIDC, int& value);
