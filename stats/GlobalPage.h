#pragma once
// The global page: the driver-wide counters. The page's place in the sheet, its
// template and its menu are here; its refresh comes with the counters' display.

#include <windows.h>

#include "framework/PropertySheet.h"

class CGlobalPage : public CPropertyPage {
  DECLARE_DYNCREATE(CGlobalPage)
public:
  CGlobalPage();
  ~CGlobalPage() override = default;

protected:
  BOOL OnSetActive() override;  // FALSE when the base refuses the activation

  DECLARE_MESSAGE_MAP()

private:
  // Puts menu 134 on the sheet.
  void LoadPageMenu();
};
