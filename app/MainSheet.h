#pragma once
// The main property sheet: the program's only top-level window. It owns the
// three pages (global, device, record log, in tab order; the device page shows
// first), shows no OK, Cancel, Apply or Help button, and handles the commands of
// the whole program: help, exit and about. Its menu bar is set by the active page.
// It can be resized and minimised, shows the executable's icon, and ends only
// when the user closes it (close box, Alt+F4, File > Exit): the hidden OK and
// Cancel of the sheet would otherwise end the program on a stray Enter or Esc.

#include <windows.h>

#include "framework/Icon.h"
#include "framework/PropertySheet.h"
#include "record/RecordLogPage.h"
#include "stats/DevicePage.h"
#include "stats/GlobalPage.h"
#include "support/WideString.h"

class CMainSheet : public CPropertySheet {
  DECLARE_DYNAMIC(CMainSheet)
public:
  CMainSheet(const wchar_t* pszCaption, CWnd* pParentWnd = nullptr, UINT iSelectPage = 0);
  ~CMainSheet() override = default;

  CGlobalPage m_pageGlobal;
  CDevicePage m_pageDevice;
  CRecordLogPage m_pageRecordLog;

  // Hides OK and Cancel and sets the icons; returns the base's result.
  BOOL OnInitDialog() override;

  void OnExit();
  void OnShowHelp();
  void OnAbout();
  // IDOK: the sheet has no OK (Enter in a page presses the hidden default button).
  void OnOkCommand();
  // IDCANCEL (Esc, or comctl32 itself): passed on only while a close is under way.
  void OnCancelCommand();
  // WM_CLOSE: lets comctl32 end the sheet, which it does by cancelling it.
  LRESULT OnClose(WPARAM wParam, LPARAM lParam);
  LRESULT OnDpiChanged(WPARAM wParam, LPARAM lParam);

  DECLARE_MESSAGE_MAP()

private:
  // The executable's icon at the DPI's big and small icon sizes, given to the window.
  void SetIcons(UINT nDpi);

  CIcon m_iconBig;
  CIcon m_iconSmall;
  bool m_bCloseRequested = false;
};

// The installation root ("Root Path" of HKLM\Software\Tarquel\Orrindale\1.0).
// 0 with strRootPath set, or a failure code with strRootPath untouched.
HRESULT LoadOrrindaleRootPath(CWideString& strRootPath);
