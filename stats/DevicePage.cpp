#include "stats/DevicePage.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "driver/DeviceDiscovery.h"
#include "framework/Dpi.h"
#include "framework/MessageBox.h"
#include "framework/Menu.h"
#include "resources/resource.h"
#include "stats/Formatting.h"
#include "stats/ItemColumns.h"
#include "support/InitOrder.h"

// Built after the queue of ended streams (support/InitOrder.h).
std::vector<ItemData> CDevicePage::m_aItemData DELVORA_INIT_ORDER(init_order::kItemData);

namespace {

const UINT kRefreshPeriodMs = 500;

// Row images.
const int kImageIdle = 0;
const int kImageRunning = 1;
const int kImageNotAnswering = 2;

// A state text, loaded once per process; the fallback without the module.
const CString& LoadedOnce(CString& strText, bool& bLoaded, UINT nID, const wchar_t* pszFallback) {
  if (!bLoaded) {
    bLoaded = true;
    if (!strText.LoadString(nID)) strText = pszFallback;
  }
  return strText;
}

const CString& RunningText() {
  static CString s_strText;
  static bool s_bLoaded = false;
  return LoadedOnce(s_strText, s_bLoaded, IDS_STATE_RUNNING, L"");
}

const CString& NotAnsweringText() {
  static CString s_strText;
  static bool s_bLoaded = false;
  return LoadedOnce(s_strText, s_bLoaded, IDS_STATE_NOT_ANSWERING, L"Not answering");
}

CString StateText(const ItemData& item) { return item.m_bActive ? RunningText() : CString(); }
// The longest state text, so that the column shows it whole.
CString StateSample() { return NotAnsweringText(); }

// Running streams sort before idle devices.
int ByState(const ItemData& a, const ItemData& b, bool bAscending) {
  return CompareLong(a.m_bActive ? 0 : 1, b.m_bActive ? 0 : 1, bAscending);
}

using namespace item_columns;

// The device page's columns; ties fall back to device order, ascending whatever
// the direction.
const ListColumn kColumnTable[] = {
    {IDS_COL_DEVICE, 75, LVCFMT_LEFT, DeviceText, ByDevice, nullptr, nullptr},
    {IDS_COL_STATE, 70, LVCFMT_LEFT, StateText, ByState, DeviceOrder, StateSample},
    {IDS_COL_START_TIME, 60, LVCFMT_LEFT, StartText, ByStart, DeviceOrder, TimeStampSample},
    {IDS_COL_AVERAGE, 55, LVCFMT_LEFT, AverageText, ByAverage, DeviceOrder, nullptr},
    {IDS_COL_ADDRESS, 85, LVCFMT_LEFT, AddressText, ByAddress, DeviceOrder, AddressSample},
    {IDS_COL_ADDRESS_PORT, 55, LVCFMT_LEFT, AddressPortText, ByAddressPort, DeviceOrder, nullptr},
    {IDS_COL_PORT, 60, LVCFMT_LEFT, PortText, ByPort, DeviceOrder, nullptr},
    {IDS_COL_CODEC, 50, LVCFMT_LEFT, CodecText, ByCodec, DeviceOrder, nullptr},
    {IDS_COL_DURATION, 80, LVCFMT_LEFT, DurationText, ByDuration, DeviceOrder, nullptr},
    {IDS_COL_COUNTER, 100, LVCFMT_LEFT, CounterText, ByCounter, DeviceOrder, nullptr},
};
const int kColumns = static_cast<int>(sizeof(kColumnTable) / sizeof(kColumnTable[0]));

// The list fills the page under the filter box, which keeps to the top-right
// corner; the no-devices text spans the list; the check box stays in the
// bottom-left corner.
const ControlAnchor kAnchors[] = {
    {IDC_LIST_FILTER, ANCHOR_TOP | ANCHOR_RIGHT},
    {IDC_DEVICE_LIST, ANCHOR_ALL},
    {IDC_NO_DEVICES, ANCHOR_LEFT | ANCHOR_TOP | ANCHOR_RIGHT},
    {IDC_DETAILS, ANCHOR_LEFT | ANCHOR_BOTTOM},
};

// Columns the page treats apart: the device number shows on idle rows too, the
// state says when a device does not answer.
const int kDeviceColumn = 0;
const int kStateColumn = 1;

// Whether a row shows the same after a merge: a column's comparator finds two
// items equal exactly when their texts are.
bool ShowsTheSame(const ItemData& before, const ItemData& after) {
  for (const ListColumn& column : kColumnTable) {
    if (column.pfnCompare(before, after, true) != 0) return false;
  }
  return true;
}

}  // namespace

IMPLEMENT_DYNCREATE(CDevicePage, CListPage)

BEGIN_MESSAGE_MAP(CDevicePage, CListPage)
  ON_BN_CLICKED(IDC_DETAILS, OnDetailsClicked)
  ON_MESSAGE(WM_CTLCOLORSTATIC, OnCtlColorStatic)
END_MESSAGE_MAP()

namespace {

const CListPage::ListDesign kDesign = {
    IDC_DEVICE_LIST, kColumnTable,     kColumns, 0, &CDevicePage::CompareItems, kRefreshPeriodMs,
    IDR_DEVICE_CONTEXT_MENU, true};

}  // namespace

CDevicePage::CDevicePage()
    : CListPage(IDD_DEVICE_PAGE, kDesign),
      m_pLargeImages(std::make_unique<CImageList>()),
      m_pSmallImages(std::make_unique<CImageList>()),
      m_sweep(m_aItemData, g_qEndedStreams) {}

CDevicePage::~CDevicePage() = default;

void CDevicePage::UpdateItemData(const WaveCounters& in, const WaveCounters& out, ItemData& item,
                                 const MergeHints& hints) {
  MergeStreamRecords(in, out, item, hints, CTime::GetCurrentTime(), g_qEndedStreams);
}

BOOL CDevicePage::OnInitDialog() {
  CListPage::OnInitDialog();

  m_anchors.Capture(m_hWnd, kAnchors);
  m_nDeviceCount = std::max(0, m_sweep.GetDeviceAccess().GetDeviceCount());
  m_sweep.SetDeviceCount(m_nDeviceCount);
  m_rowOfDevice.assign(static_cast<size_t>(m_nDeviceCount), -1);

  InitList();
  {
    // Under Wine an insert with redraw on costs milliseconds; off, microseconds.
    CRedrawOff redrawOff(m_list);
    for (int n = 0; n < m_nDeviceCount; ++n) ShowRow(n);
  }
  if (m_nDeviceCount == 0) ShowNoDevicesText();

  CheckDlgButton(IDC_DETAILS, BST_CHECKED);
  StartRefreshTimer();
  UpdateData(FALSE);
  return TRUE;
}

void CDevicePage::CreateRowImages() {
  // The new lists go to the control before the old ones are destroyed.
  CImageList large, small;
  large.Create(ScaleToDpi(32, m_nDpi), ScaleToDpi(32, m_nDpi), ILC_COLOR32 | ILC_MASK, 3, 1);
  small.Create(ScaleToDpi(16, m_nDpi), ScaleToDpi(16, m_nDpi), ILC_COLOR32 | ILC_MASK, 3, 1);
  for (CImageList* pImages : {&large, &small}) {
    pImages->AddResourceIcon(IDR_STREAM_IDLE);
    pImages->AddResourceIcon(IDR_STREAM_RUNNING);
    pImages->AddResourceIcon(IDR_STREAM_NOT_ANSWERING);
  }
  m_list.SetImageList(large, LVSIL_NORMAL);
  m_list.SetImageList(small, LVSIL_SMALL);
  *m_pLargeImages = std::move(large);
  *m_pSmallImages = std::move(small);
}

BOOL CDevicePage::OnSetActive() {
  if (!CListPage::OnSetActive()) return FALSE;
  const HWND hSheet = GetParentHwnd();
  AfxLoadWindowMenu(hSheet, IDR_PAGE_MENU);
  ::UpdateWindow(hSheet);
  return TRUE;
}

void CDevicePage::OnDetailsClicked() {
  if (IsDlgButtonChecked(IDC_DETAILS)) {
    m_list.ModifyStyle(LVS_TYPEMASK, LVS_REPORT);
  } else {
    m_list.ModifyStyle(LVS_REPORT, LVS_LIST);
  }
  m_list.UpdateWindow();
}

int CALLBACK CDevicePage::CompareItems(LPARAM a, LPARAM b, LPARAM sortState) {
  // The bound is the item array, sized to the device count: a row's item data
  // that does not name an item is never used as an index.
  const size_t bound = m_aItemData.size();
  const SortState* pSort = reinterpret_cast<const SortState*>(sortState);
  if (static_cast<ULONG_PTR>(a) >= bound || static_cast<ULONG_PTR>(b) >= bound || !pSort) return 0;
  return CompareByColumn(kColumnTable, kColumns, m_aItemData[static_cast<size_t>(a)],
                         m_aItemData[static_cast<size_t>(b)], *pSort);
}

const ItemData* CDevicePage::RowItem(LPARAM key) const {
  if (key < 0 || static_cast<ULONG_PTR>(key) >= m_aItemData.size() || key >= m_sweep.GetDeviceCount()) {
    return nullptr;
  }
  return &m_aItemData[static_cast<size_t>(key)];
}

CString CDevicePage::CellText(LPARAM key, int column) const {
  const ItemData* pItem = RowItem(key);
  if (!pItem || column < 0 || column >= kColumns) return CString();
  if (column == kStateColumn && FAILED(m_sweep.GetFailure(static_cast<int>(key)))) return NotAnsweringText();
  // An idle device shows its number alone.
  if (column != kDeviceColumn && !pItem->m_bActive) return CString();
  return kColumnTable[column].pfnText(*pItem);
}

int CDevicePage::RowImage(LPARAM key) const {
  const ItemData* pItem = RowItem(key);
  if (!pItem) return kImageIdle;
  // A device that does not answer shows its last values, but not as running.
  if (FAILED(m_sweep.GetFailure(static_cast<int>(key)))) return kImageNotAnswering;
  return pItem->m_bActive ? kImageRunning : kImageIdle;
}

void CDevicePage::GetAllRows(std::vector<LPARAM>& keys) const {
  keys.clear();
  for (int n = 0; n < m_nDeviceCount; ++n) keys.push_back(n);
}

LRESULT CDevicePage::OnCtlColorStatic(WPARAM wParam, LPARAM lParam) {
  if (::GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) != IDC_NO_DEVICES) return 0;
  const HDC hDC = reinterpret_cast<HDC>(wParam);
  ::SetTextColor(hDC, ::GetSysColor(COLOR_WINDOWTEXT));
  ::SetBkColor(hDC, ::GetSysColor(COLOR_WINDOW));
  // A system colour brush: nobody deletes it.
  return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
}

void CDevicePage::ShowNoDevicesText() {
  SetDlgItemText(IDC_NO_DEVICES, FormatResourceMessage(IDS_NO_DEVICES, L"Error loading string IDS_NO_DEVICES",
                                                       kDeviceKeysLocation));
  ::ShowWindow(GetDlgItem(IDC_NO_DEVICES), SW_SHOWNA);
}

void CDevicePage::IndexRows() {
  std::fill(m_rowOfDevice.begin(), m_rowOfDevice.end(), -1);
  const std::vector<LPARAM>& rows = ShownRows();
  for (size_t row = 0; row < rows.size(); ++row) {
    if (rows[row] >= 0 && static_cast<size_t>(rows[row]) < m_rowOfDevice.size()) {
      m_rowOfDevice[static_cast<size_t>(rows[row])] = static_cast<int>(row);
    }
  }
}

void CDevicePage::RedrawRowsOf(const std::vector<int>& devices) {
  RECT client;
  if (devices.empty() || !m_list.GetClientRect(&client)) return;
  // The rows on screen are one run of indexes in either view: from the top row,
  // a page of whole rows and those cut by the edge. Rows off screen are left
  // alone: under Wine every invalidation is a call to the server, even of a
  // rectangle that is not shown.
  const int count = m_list.GetItemCount();
  const int first = std::max(m_list.GetTopIndex(), 0);
  int last = first + std::max(m_list.GetCountPerPage(), 1) - 1;
  RECT bounds;
  RECT visible;
  while (last + 1 < count && m_list.GetItemRect(last + 1, &bounds, LVIR_BOUNDS) &&
         ::IntersectRect(&visible, &bounds, &client)) {
    ++last;
  }
  m_redrawRows.clear();
  for (int device : devices) {
    const int row = m_rowOfDevice[static_cast<size_t>(device)];
    if (row >= first && row <= last) m_redrawRows.push_back(row);
  }
  std::sort(m_redrawRows.begin(), m_redrawRows.end());
  m_redrawRows.erase(std::unique(m_redrawRows.begin(), m_redrawRows.end()), m_redrawRows.end());
  // Rows one below the other are invalidated as one rectangle (LVM_REDRAWITEMS
  // would invalidate each on its own).
  RECT run = {};
  for (int row : m_redrawRows) {
    if (!m_list.GetItemRect(row, &bounds, LVIR_BOUNDS)) continue;
    if (!::IsRectEmpty(&run) && bounds.left == run.left && bounds.top == run.bottom) {
      run.right = std::max(run.right, bounds.right);
      run.bottom = bounds.bottom;
      continue;
    }
    if (!::IsRectEmpty(&run)) m_list.InvalidateRect(&run);
    run = bounds;
  }
  if (!::IsRectEmpty(&run)) m_list.InvalidateRect(&run);
}

void CDevicePage::ShowQueryFailures(const SweepSummary& summary) {
  const DeviceSweepResult& report = summary.firstNewFailure;
  CString strDevice;
  strDevice.Format(L"%ld", static_cast<long>(report.nDevice));
  CString strCode;
  strCode.Format(L"%#8.8x", static_cast<unsigned int>(report.hr));
  // The code is in the message: the system's text beside it, or nothing.
  CString strMessage =
      FormatResourceMessage(IDS_FAILED_QUERY_DRIVER, L"Error loading string IDS_FAILED_QUERY_DRIVER", strDevice,
                            report.pszKind, strCode, GetSystemErrorTextBesideCode(report.hr));
  const int nOthers = summary.nFailed - 1;
  if (nOthers > 0) {
    CString strCount;
    strCount.Format(L"%d", nOthers);
    // Even without its string the line gives the count.
    CString strFallback;
    strFallback.Format(L"Other devices that did not answer: %d", nOthers);
    // A line of its own, ended as FormatMessage ends the template's lines.
    strMessage += L"\r\n";
    strMessage += FormatResourceMessage(IDS_MORE_FAILED_DEVICES, strFallback, strCount);
  }
  AfxMessageBox(strMessage, MB_OK);
}

class CDevicePage::CRowUpdater final : public CSweepObserver {
public:
  explicit CRowUpdater(CDevicePage& page) : m_page(page) {}

  bool OnDeviceSwept(const DeviceSweepResult& result, const ItemData& before, const ItemData& item) override {
    const int i = result.nDevice;
    if (result.Failed()) {
      // The other cells keep their last values, no longer shown as running; the
      // state cell and the row's image say whether the device answers.
      if (result.AnswerChanged()) m_page.m_changedDevices.push_back(i);
      return true;
    }
    // A device the filter hides has no row; any other must have one.
    if (m_page.m_rowOfDevice[static_cast<size_t>(i)] < 0 && m_page.PassesFilter(i)) {
      CString strMessage;
      strMessage.Format(L"INTERNAL ERROR: Unable to find m_aItemData for dev = %ld", static_cast<long>(i));
      AfxMessageBox(strMessage, MB_OK);
      // The refresh stops here for good: no sort, no new timer.
      return false;
    }
    // A stream that starts or ends changes the row's image and texts in place, so
    // the row keeps its selection and focus.
    if (item.m_bActive != before.m_bActive || result.AnswerChanged() ||
        (item.m_bActive && !ShowsTheSame(before, item))) {
      m_page.m_changedDevices.push_back(i);
    }
    return true;
  }

private:
  CDevicePage& m_page;
};

bool CDevicePage::RefreshDevices() {
  m_changedDevices.clear();
  IndexRows();
  CRowUpdater updater(*this);
  const SweepSummary summary = m_sweep.Sweep(CTime::GetCurrentTime(), &updater);
  if (summary.bStopped) return false;
  // Rows that now pass the filter come, those that no longer do go (a row taken
  // in or out repaints the list).
  const int shownBefore = GetShownCount();
  for (int device : m_changedDevices) RowTextsChanged(device);
  const bool bRowsChanged = GetShownCount() != shownBefore;
  const bool bSorted = SortRows();
  // A sort repaints every row; otherwise just the rows that show something new.
  if (!bSorted && !bRowsChanged) {
    RedrawRowsOf(m_changedDevices);
  }
  // One message at most, over a list that is up to date; the timer stays off
  // while it is shown, so no refresh starts inside its loop.
  if (summary.firstNewFailure.nDevice >= 0) ShowQueryFailures(summary);
  return true;
}
