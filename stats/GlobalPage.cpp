#include "stats/GlobalPage.h"

#include "framework/AnchorLayout.h"
#include "framework/Clipboard.h"
#include "framework/Menu.h"
#include "framework/Time.h"
#include "resources/resource.h"
#include "stats/Formatting.h"
#include "stats/RefreshTimer.h"

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
// the button in the bottom-right corner; the counters keep their places and the
// graphs between them share what the page gains.
const ControlAnchor kAnchors[] = {
    {IDC_GLOBAL_NOTE, ANCHOR_LEFT | ANCHOR_RIGHT | ANCHOR_BOTTOM},
    {IDC_RESET_COUNTERS, ANCHOR_RIGHT | ANCHOR_BOTTOM},
    {IDC_GRAPH_COUNTS, ANCHOR_TOP | ANCHOR_BOTTOM | ANCHOR_LEFT_HALF},
    {IDC_GRAPH_TRAFFIC, ANCHOR_TOP | ANCHOR_BOTTOM | ANCHOR_RIGHT_HALF},
};

// The graphs' lines: the first of each solid in the highlight colour, the second
// dashed in the text colour, so that they differ without colour too.
const HistoryLine kCountLines[] = {
    {HistoryValue::ActiveStreams, IDS_HISTORY_ACTIVE, COLOR_HIGHLIGHT, 0, false},
    {HistoryValue::EndedPerMinute, IDS_HISTORY_ENDED_PER_MINUTE, COLOR_WINDOWTEXT, 1, true},
};
const HistoryLine kTrafficLines[] = {
    {HistoryValue::PacketsPerSecond, IDS_HISTORY_PACKETS_PER_SECOND, COLOR_HIGHLIGHT, 1, false},
    {HistoryValue::LostPerSecond, IDS_HISTORY_LOST_PER_SECOND, COLOR_WINDOWTEXT, 1, true},
};

// The spans to choose from, in samples.
const int kShortSpan = 10 * 60 * 1000 / static_cast<int>(CGlobalHistory::kPeriodMs);
const int kLongSpan = CGlobalHistory::kCapacity;

CString MinutesAgoText(int nMinutes) {
  CString fallback;
  fallback.Format(L"%d min", nMinutes);
  return FormatResourceMessage(IDS_GRAPH_MINUTES_AGO, fallback, nMinutes);
}

// The controls that show what the driver said.
const int kValueControls[] = {IDC_TIMESTAMP, IDC_COUNTER1, IDC_COUNTER2, IDC_COUNTER3, IDC_COUNTER4, IDC_COUNTER5,
                              IDC_GROUP_A0,  IDC_GROUP_A1, IDC_GROUP_A2, IDC_GROUP_B0, IDC_GROUP_B1, IDC_GROUP_B2};

}  // namespace

IMPLEMENT_DYNCREATE(CGlobalPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CGlobalPage, CPropertyPage)
  ON_WM_TIMER()
  ON_COMMAND(IDC_RESET_COUNTERS, OnResetCounters)
  ON_COMMAND_RANGE(IDC_GRAPH_SPAN_10, IDC_GRAPH_SPAN_60, OnGraphSpan)
  ON_COMMAND(ID_EDIT_COPY, OnEditCopy)
END_MESSAGE_MAP()

CGlobalPage::CGlobalPage()
    : CPropertyPage(IDD_GLOBAL_PAGE),
      m_pDeviceAccess(&CDeviceAccess::Driver()),
      m_nSpanSamples(kShortSpan),
      m_countsSource(kCountLines),
      m_trafficSource(kTrafficLines) {}

void CGlobalPage::SetHistory(const CGlobalHistory* pHistory) {
  m_pHistory = pHistory;
  m_countsSource.SetHistory(pHistory);
  m_trafficSource.SetHistory(pHistory);
}

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
  CString strNoValue;
  strNoValue.LoadString(IDS_GRAPH_NO_VALUE);
  auto setUpGraph = [&](CGraphCtrl& graph, int nID, const CHistoryGraphSource& source) {
    graph.Subclass(GetDlgItem(nID));
    graph.SetLines(source.GetGraphLines());
    graph.SetSource(&source);
    graph.SetNoValueText(strNoValue);
  };
  setUpGraph(m_graphCounts, IDC_GRAPH_COUNTS, m_countsSource);
  setUpGraph(m_graphTraffic, IDC_GRAPH_TRAFFIC, m_trafficSource);
  ::CheckRadioButton(m_hWnd, IDC_GRAPH_SPAN_10, IDC_GRAPH_SPAN_60,
                     m_nSpanSamples == kShortSpan ? IDC_GRAPH_SPAN_10 : IDC_GRAPH_SPAN_60);
  ShowGraphSpan();
  return bResult;
}

BOOL CGlobalPage::OnSetActive() {
  if (!CPropertyPage::OnSetActive()) return FALSE;
  LoadPageMenu();
  // Samples came while the page was hidden.
  UpdateGraphs();
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

void CGlobalPage::OnHistoryChanged() {
  if (m_hWnd && IsWindowVisible()) UpdateGraphs();
}

void CGlobalPage::UpdateGraphs() {
  m_graphCounts.Update();
  m_graphTraffic.Update();
}

void CGlobalPage::OnGraphSpan(UINT nID) {
  m_nSpanSamples = nID == IDC_GRAPH_SPAN_10 ? kShortSpan : kLongSpan;
  ShowGraphSpan();
}

void CGlobalPage::ShowGraphSpan() {
  const int nMinutes = m_nSpanSamples * static_cast<int>(CGlobalHistory::kPeriodMs) / 60000;
  CString strNow;
  if (!strNow.LoadString(IDS_GRAPH_NOW)) strNow = L"now";
  for (CGraphCtrl* pGraph : {&m_graphCounts, &m_graphTraffic}) {
    pGraph->SetTimeAxis(MinutesAgoText(nMinutes), MinutesAgoText(nMinutes / 2), strNow);
  }
  m_countsSource.SetSlotCount(m_nSpanSamples);
  m_trafficSource.SetSlotCount(m_nSpanSamples);
  UpdateGraphs();
}

void CGlobalPage::OnEditCopy() {
  if (!m_pHistory) return;
  const CString text = GlobalHistoryText(*m_pHistory, m_nSpanSamples);
  const CClipboard clipboard(m_hWnd);
  clipboard.SetText(text, static_cast<size_t>(text.GetLength()));
}
