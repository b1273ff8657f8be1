#include "stats/GlobalPage.h"

#include "framework/Menu.h"
#include "resources/resource.h"

IMPLEMENT_DYNCREATE(CGlobalPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CGlobalPage, CPropertyPage)
END_MESSAGE_MAP()

CGlobalPage::CGlobalPage() : CPropertyPage(IDD_GLOBAL_PAGE) {}

BOOL CGlobalPage::OnSetActive() {
  if (!CPropertyPage::OnSetActive()) return FALSE;
  LoadPageMenu();
  return TRUE;
}

void CGlobalPage::LoadPageMenu() { AfxLoadWindowMenu(GetParentHwnd(), IDR_PAGE_MENU); }
