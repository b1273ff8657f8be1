#pragma once
// The main property sheet: the program's only top-level window. It owns the
// three pages (global, device, record log, in tab order; the device page shows
// first), shows no OK, Cancel, Apply or Help button, and handles the commands of
// the whole program: help, exit and about. Its menu bar is set by the active page.

#include <windows.h>

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

  // Hides OK and Cancel; returns the base's result.
  BOOL OnInitDialog() override;

  void OnExit();
  void OnShowHelp();
  void OnAbout();

  DECLARE_MESSAGE_MAP()
};

// The installation root ("Root Path" of HKLM\Software\Tarquel\Orrindale\1.0).
// 0 with strRootPath set, or a failure code with strRootPath untouched.
HRESULT LoadOrrindaleRootPath(CWideString& strRootPath);
