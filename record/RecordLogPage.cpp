#include "record/RecordLogPage.h"

#include "framework/Menu.h"
#include "resources/resource.h"

IMPLEMENT_DYNCREATE(CRecordLogPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CRecordLogPage, CPropertyPage)
END_MESSAGE_MAP()

CRecordLogPage::CRecordLogPage() : CPropertyPage(IDD_RECORD_LOG_PAGE) {}

BOOL CRecordLogPage::OnSetActive() {
  if (!CPropertyPage::OnSetActive()) return FALSE;
  AfxLoadWindowMenu(GetParentHwnd(), IDR_RECORD_LOG_MENU);
  return TRUE;
}
