#include "stats/GlobalPage.h"

#include "framework/AnchorLayout.h"
#include "framework/Menu.h"
#include "framework/Time.h"
#include "resources/resource.h"
#include "stats/Formatting.h"
#include "stats/ListPage.h"

namespace {

const UINT kRefreshPeriodMs = 2000;

// "count (share%)": the count's share of its group's sum, 0.00 for an empty group.
CString CountAndShare(unsigned int nCount, unsigned int nSum) {
  const double dShare = nSum != 0 ? static_cast<double>(nCount) / static_cast<double>(nSum) * 100.0 : 0.0;
  CString text;
  text.Format(L"%u (%.2f%%)", nCount, dShare);
  return text;
}

// In a larger window the note and the reset button stay along the bottom edge,
// the button in the bottom-right corner; the counters keep their places.
const ControlAnchor kAnchors[] = {
    {IDC_GLOBAL_NOTE, ANCHOR_LEFT | ANCHOR_RIGHT | ANCHOR_BOTTOM},
    {IDC_RESET_COUNTERS, ANCHOR_RIGHT | ANCHOR_BOTTOM},
};

// The controls that show what the driver said.
const int kValueControls[] = {IDC_TIMESTAMP, IDC_COUNTER1, IDC_COUNTER2, IDC_COUNTER3, IDC_COUNTER4, IDC_COUNTER5,
                              IDC_GROUP_A0,  IDC_GROUP_A1, IDC_GROUP_A2, IDC_GROUP_B0, IDC_GROUP_B1, IDC_GROUP_B2};

}  // namespace

IMPLEMENT_DYNCREATE(CGlobalPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CGlobalPage, CPropertyPage)
  ON_WM_TIMER()
  ON_COMMAND(IDC_RESET_COUNTERS, OnResetCounters)
END_MESSAGE_MAP()

CGlobalPage::CGlobalPage() : CPropertyPage(IDD_GLOBAL_PAGE), m_pDeviceAccess(&CDeviceAccess::Driver()) {}

void CGlobalPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Text(pDX, IDC_GROUP_A0, m_strGroupA0);
  DDX_Text(pDX, IDC_GROUP_B0, m_strGroupB0);
  DDX_Text(pDX, IDC_GROUP_A1, m_strGroupA1);
  DDX_Text(pDX, IDC_GROUP_B1, m_strGroupB1);
  DDX_Text(pDX, IDC_TIMESTAMP, m_strTimestamp);
  DDX_TextUnsigned(pDX, IDC_COUNTER1, m_nCounter1);
  DDX_TextUnsigned(pDX, IDC_COUNTER4, m_nCounter4);
  DDX_TextUnsigned(pDX, IDC_COUNTER5, m_nCounter5);
  DDX_TextUnsigned(pDX, IDC_COUNTER3, m_nCounter3);
  DDX_TextUnsigned(pDX, IDC_COUNTER2, m_nCounter2);
  DDX_Text(pDX, IDC_GROUP_B2, m_strGroupB2);
  DDX_Text(pDX, IDC_GROUP_A2, m_strGroupA2);
}

BOOL CGlobalPage::OnInitDialog() {
  const BOOL bResult = CPropertyPage::OnInitDialog();
  m_anchors.Capture(m_hWnd, kAnchors);
  GetDlgItemText(IDC_GLOBAL_NOTE, m_strNote);
  return bResult;
}

BOOL CGlobalPage::OnSetActive() {
  if (!CPropertyPage::OnSetActive()) return FALSE;
  LoadPageMenu();
  // The first reading comes with the first tick, not at once.
  SetTimer(IDT_REFRESH, kRefreshPeriodMs);
  return TRUE;
}

BOOL CGlobalPage::OnKillActive() {
  // The driver is asked only while the page is shown.
  KillTimer(IDT_REFRESH);
  return CPropertyPage::OnKillActive();
}

void CGlobalPage::OnTimer(UINT_PTR nIDEvent) {
  if (nIDEvent == IDT_REFRESH) {
    KillTimer(IDT_REFRESH);
    RefreshCounters();
  }
  CPropertyPage::OnTimer(nIDEvent);
}

void CGlobalPage::OnResetCounters() {
  // The period starts again from the reading that follows the reset.
  KillTimer(IDT_REFRESH);
  m_pDeviceAccess->ResetAllCounters();
  RefreshCounters();
}

void CGlobalPage::RefreshCounters() {
  GlobalCounters record = {};
  FILETIME timestamp = {};
  if (SUCCEEDED(m_pDeviceAccess->QueryGlobalCounters(record, timestamp))) {
    // 32-bit sums like the counts: a carry past 4294967295 is lost.
    const unsigned int nSumA = record.GroupA[0] + record.GroupA[1] + record.GroupA[2];
    const unsigned int nSumB = record.GroupB[0] + record.GroupB[1] + record.GroupB[2];
    m_strGroupA0 = CountAndShare(record.GroupA[0], nSumA);
    m_strGroupB0 = CountAndShare(record.GroupB[0], nSumB);
    m_strGroupA1 = CountAndShare(record.GroupA[1], nSumA);
    m_strGroupB1 = CountAndShare(record.GroupB[1], nSumB);
    m_strGroupA2 = CountAndShare(record.GroupA[2], nSumA);
    m_strGroupB2 = CountAndShare(record.GroupB[2], nSumB);

    // The ints keep the counts' bits; DDX_TextUnsigned shows them unsigned.
    m_nCounter1 = static_cast<int>(record.Counter1);
    m_nCounter2 = static_cast<int>(record.Counter2);
    m_nCounter3 = static_cast<int>(record.Counter3);
    m_nCounter4 = static_cast<int>(record.Counter4);
    m_nCounter5 = static_cast<int>(record.Counter5);

    m_strTimestamp = CTime(timestamp, -1).Format(L"%c");
    UpdateData(FALSE);
    if (m_bStale) ShowStale(false);
  } else if (!m_bStale) {
    m_timeStale = CTime::GetCurrentTime();
    ShowStale(true);
  }
  SetTimer(IDT_REFRESH, kRefreshPeriodMs);
}

void CGlobalPage::ShowStale(bool bStale) {
  m_bStale = bStale;
  // Grayed values are plainly not today's; the note says since when.
  for (int nID : kValueControls) ::EnableWindow(GetDlgItem(nID), bStale ? FALSE : TRUE);
  if (!bStale) {
    SetDlgItemText(IDC_GLOBAL_NOTE, m_strNote);
    return;
  }
  SetDlgItemText(IDC_GLOBAL_NOTE, FormatResourceMessage(IDS_DRIVER_NOT_ANSWERING,
                                                        L"Error loading string IDS_DRIVER_NOT_ANSWERING",
                                                        m_timeStale.Format(L"%c")));
}

void CGlobalPage::LoadPageMenu() { AfxLoadWindowMenu(GetParentHwnd(), IDR_PAGE_MENU); }
