#pragma once
// The main property sheet: the program's only top-level window. It owns the
// three pages (global, device, record log, in tab order; the device page shows
// first), shows no OK, Cancel, Apply or Help button, and handles the commands of
// the whole program: help, exit and about. Its menu bar is set by the active page.
// It can be resized and minimised, shows the executable's icon, and ends only
// when the user closes it (close box, Alt+F4, File > Exit): the hidden OK and
// Cancel of the sheet would otherwise end the program on a stray Enter or Esc.
// While it is open it samples the driver-wide record every two seconds into the
// history that the global page's graphs draw, whichever page is shown: the global
// page's window exists only from its first showing, so the sheet's own timer
// drives the sampling.

#include <windows.h>

#include "framework/Icon.h"
#include "framework/PropertySheet.h"
#include "record/RecordLogPage.h"
#include "stats/DevicePage.h"
#include "stats/GlobalHistory.h"
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

  // The sampling timer, on the sheet's window (every page has IDT_REFRESH on its own).
  static constexpr UINT_PTR IDT_HISTORY_SAMPLE = 2025;

  // Where the sampling and the global and device pages reach the driver (the
  // driver unless set); set before DoModal. Borrowed.
  void SetDeviceAccess(CDeviceAccess* pAccess);
  const CGlobalHistory& GetHistory() const { return m_history; }

  // Hides OK and Cancel, sets the icons and starts the sampling; returns the base's result.
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
  void OnTimer(UINT_PTR nIDEvent);

  DECLARE_MESSAGE_MAP()

private:
  // The executable's icon at the DPI's big and small icon sizes, given to the window.
  void SetIcons(UINT nDpi);

  CIcon m_iconBig;
  CIcon m_iconSmall;
  bool m_bCloseRequested = false;
  CGlobalHistory m_history;
  CDeviceAccess* m_pDeviceAccess;
};

// The installation root ("Root Path" of HKLM\Software\Tarquel\Orrindale\1.0).
// 0 with strRootPath set, or a failure code with strRootPath untouched.
HRESULT LoadOrrindaleRootPath(CWideString& strRootPath);
