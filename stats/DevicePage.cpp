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
static_assert(sizeof(kColumnTable) / sizeof(kColumnTable[0]) == 10, "one table entry per column");

// The list fills the page, the no-devices text spans it; the check box stays in
// the bottom-left corner.
const ControlAnchor kAnchors[] = {
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

IMPLEMENT_DYNCREATE(CDevicePage, CPropertyPage)

BEGIN_MESSAGE_MAP(CDevicePage, CPropertyPage)
  ON_WM_TIMER()
  ON_BN_CLICKED(IDC_DETAILS, OnDetailsClicked)
  ON_NOTIFY(LVN_COLUMNCLICK, IDC_DEVICE_LIST, OnColumnClick)
  ON_COMMAND(ID_EDIT_COPY, OnEditCopy)
  ON_COMMAND(ID_EDIT_SELECT_ALL, OnEditSelectAll)
  ON_NOTIFY(LVN_KEYDOWN, IDC_DEVICE_LIST, OnListKeyDown)
  ON_MESSAGE(WM_DPICHANGED, OnDpiChanged)
  ON_NOTIFY(LVN_GETDISPINFOW, IDC_DEVICE_LIST, OnGetDispInfo)
  ON_MESSAGE(WM_CTLCOLORSTATIC, OnCtlColorStatic)
END_MESSAGE_MAP()

CDevicePage::CDevicePage()
    : CPropertyPage(IDD_DEVICE_PAGE),
      m_pHeaderImages(std::make_unique<CImageList>()),
      m_pLargeImages(std::make_unique<CImageList>()),
      m_pSmallImages(std::make_unique<CImageList>()),
      m_sort{false, 0},
      m_sweep(m_aItemData, g_qEndedStreams) {}

CDevicePage::~CDevicePage() = default;

void CDevicePage::UpdateItemData(const WaveCounters& in, const WaveCounters& out, ItemData& item,
                                 const MergeHints& hints) {
  MergeStreamRecords(in, out, item, hints, CTime::GetCurrentTime(), g_qEndedStreams);
}

void CDevicePage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_DEVICE_LIST, m_listDevices);
}

BOOL CDevicePage::OnInitDialog() {
  CPropertyPage::OnInitDialog();

  // The page owns the image lists: the list must not destroy them with itself.
  m_listDevices.ModifyStyle(0, LVS_SHAREIMAGELISTS);
  m_anchors.Capture(m_hWnd, kAnchors);
  m_nDpi = GetWindowDpi(m_hWnd);
  CreateImageLists();

  m_nDeviceCount = std::max(0, m_sweep.GetDeviceAccess().GetDeviceCount());

  InsertColumns(m_listDevices, kColumnTable, kColumns, m_strTitles.data(), m_nDpi);

  const size_t count = static_cast<size_t>(m_nDeviceCount);
  m_sweep.SetDeviceCount(m_nDeviceCount);
  m_rowOfDevice.assign(count, -1);
  m_deviceOfRow.assign(count, -1);
  m_bRowOrderKnown = true;
  {
    // Under Wine an insert with redraw on costs milliseconds; off, microseconds.
    CRedrawOff redrawOff(m_listDevices);
    for (int n = 0; n < m_nDeviceCount; ++n) {
      m_deviceOfRow[static_cast<size_t>(n)] = n;
      InsertRow(n, n);
    }
  }
  if (m_nDeviceCount == 0) ShowNoDevicesText();

  CheckDlgButton(IDC_DETAILS, BST_CHECKED);
  SetSortColumn(0);

  SetTimer(IDT_REFRESH, kRefreshPeriodMs);
  UpdateData(FALSE);
  return TRUE;
}

void CDevicePage::CreateImageLists() {
  // The new lists go to the controls before the old ones are destroyed.
  CImageList header = CreateSortMarks(m_nDpi);
  CImageList large, small;
  large.Create(ScaleToDpi(32, m_nDpi), ScaleToDpi(32, m_nDpi), ILC_COLOR32 | ILC_MASK, 3, 1);
  small.Create(ScaleToDpi(16, m_nDpi), ScaleToDpi(16, m_nDpi), ILC_COLOR32 | ILC_MASK, 3, 1);
  for (CImageList* pImages : {&large, &small}) {
    pImages->AddResourceIcon(IDR_STREAM_IDLE);
    pImages->AddResourceIcon(IDR_STREAM_RUNNING);
    pImages->AddResourceIcon(IDR_STREAM_NOT_ANSWERING);
  }
  m_listDevices.SetImageList(large, LVSIL_NORMAL);
  m_listDevices.SetImageList(small, LVSIL_SMALL);
  CHeaderCtrl(m_listDevices.GetHeaderCtrl()).SetImageList(header);
  *m_pHeaderImages = std::move(header);
  *m_pLargeImages = std::move(large);
  *m_pSmallImages = std::move(small);
}

LRESULT CDevicePage::OnDpiChanged(WPARAM wParam, LPARAM) {
  const UINT nDpi = LOWORD(wParam);
  ScaleColumnWidths(m_listDevices, kColumns, m_nDpi, nDpi);
  m_nDpi = nDpi;
  CreateImageLists();
  return 0;
}

BOOL CDevicePage::OnSetActive() {
  if (!CPropertyPage::OnSetActive()) return FALSE;
  const HWND hSheet = GetParentHwnd();
  AfxLoadWindowMenu(hSheet, IDR_PAGE_MENU);
  ::UpdateWindow(hSheet);
  return TRUE;
}

void CDevicePage::OnTimer(UINT_PTR nIDEvent) {
  if (nIDEvent == IDT_REFRESH) {
    // Stopped while refreshing: a message box's loop must not start a second refresh.
    KillTimer(IDT_REFRESH);
    RefreshDevices();
  }
  CPropertyPage::OnTimer(nIDEvent);
}

void CDevicePage::OnDetailsClicked() {
  if (IsDlgButtonChecked(IDC_DETAILS)) {
    m_listDevices.ModifyStyle(LVS_TYPEMASK, LVS_REPORT);
  } else {
    m_listDevices.ModifyStyle(LVS_REPORT, LVS_LIST);
  }
  m_listDevices.UpdateWindow();
}

void CDevicePage::OnColumnClick(NMHDR* pNotify, LRESULT* pResult) {
  const NMLISTVIEW* pListView = reinterpret_cast<const NMLISTVIEW*>(pNotify);
  SetSortColumn(pListView->iSubItem);
  SortList();
  *pResult = 0;
}

void CDevicePage::OnEditCopy() { CopySelectedRows(m_listDevices); }

void CDevicePage::OnEditSelectAll() { SelectAllRows(m_listDevices); }

void CDevicePage::OnListKeyDown(NMHDR* pNotify, LRESULT* pResult) {
  SendListKeyCommand(m_hWnd, pNotify);
  *pResult = 0;
}

void CDevicePage::SortList() {
  if (!m_bRowOrderKnown) ReadBackRowOrder();
  const LPARAM sortState = reinterpret_cast<LPARAM>(&m_sort);
  bool bSorted = true;
  for (size_t row = 1; row < m_deviceOfRow.size() && bSorted; ++row) {
    bSorted = CompareItems(m_deviceOfRow[row - 1], m_deviceOfRow[row], sortState) <= 0;
  }
  // Every column's order is total (ties go by device), so rows already in order
  // are what the list's sort would leave; it would only repaint them all.
  if (bSorted) return;
  m_listDevices.SortItems(&CDevicePage::CompareItems, reinterpret_cast<DWORD_PTR>(&m_sort));
  ReadBackRowOrder();
}

void CDevicePage::ReadBackRowOrder() {
  const int count = std::max(m_listDevices.GetItemCount(), 0);
  m_deviceOfRow.assign(static_cast<size_t>(count), -1);
  for (int row = 0; row < count; ++row) {
    int device = -1;
    if (!GetRowDevice(row, device) || device < 0 || device >= m_nDeviceCount) continue;
    m_deviceOfRow[static_cast<size_t>(row)] = device;
    m_rowOfDevice[static_cast<size_t>(device)] = row;
  }
  m_bRowOrderKnown = true;
}

void CDevicePage::SetSortColumn(int column) { ::SetSortColumn(m_listDevices, m_sort, column); }

int CALLBACK CDevicePage::CompareItems(LPARAM a, LPARAM b, LPARAM sortState) {
  // The bound is the item array, sized to the device count: a row's item data
  // that does not name an item is never used as an index.
  const size_t bound = m_aItemData.size();
  const SortState* pSort = reinterpret_cast<const SortState*>(sortState);
  if (static_cast<ULONG_PTR>(a) >= bound || static_cast<ULONG_PTR>(b) >= bound || !pSort) return 0;
  return CompareByColumn(kColumnTable, kColumns, m_aItemData[static_cast<size_t>(a)],
                         m_aItemData[static_cast<size_t>(b)], *pSort);
}

CString CDevicePage::CellText(int device, int column) const {
  const size_t n = static_cast<size_t>(device);
  if (device < 0 || n >= m_aItemData.size() || device >= m_sweep.GetDeviceCount() || column < 0 ||
      column >= kColumns) {
    return CString();
  }
  if (column == kStateColumn && FAILED(m_sweep.GetFailure(device))) return NotAnsweringText();
  const ItemData& item = m_aItemData[n];
  // An idle device shows its number alone.
  if (column != kDeviceColumn && !item.m_bActive) return CString();
  return kColumnTable[column].pfnText(item);
}

int CDevicePage::RowImage(int device) const {
  const size_t n = static_cast<size_t>(device);
  if (device < 0 || n >= m_aItemData.size() || device >= m_sweep.GetDeviceCount()) return kImageIdle;
  // A device that does not answer shows its last values, but not as running.
  if (FAILED(m_sweep.GetFailure(device))) return kImageNotAnswering;
  return m_aItemData[n].m_bActive ? kImageRunning : kImageIdle;
}

void CDevicePage::OnGetDispInfo(NMHDR* pNotify, LRESULT* pResult) {
  NMLVDISPINFOW* pInfo = reinterpret_cast<NMLVDISPINFOW*>(pNotify);
  LVITEMW& item = pInfo->item;
  *pResult = 0;
  // The list hands over the row's item data, the device, with the request.
  const int device = static_cast<int>(item.lParam);
  if (item.mask & LVIF_IMAGE) item.iImage = RowImage(device);
  if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0) return;
  m_strDispText = CellText(device, item.iSubItem);
  ::lstrcpynW(item.pszText, m_strDispText, item.cchTextMax);
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

void CDevicePage::InsertRow(int row, int device) {
  const int inserted = m_listDevices.InsertItem(LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM, row, LPSTR_TEXTCALLBACKW, 0, 0,
                                                I_IMAGECALLBACK, device);
  if (inserted < 0) return;
  m_rowOfDevice[static_cast<size_t>(device)] = inserted;
  if (inserted != row) m_bRowOrderKnown = false;
}

bool CDevicePage::GetRowDevice(int row, int& device) const {
  LVITEMW item = {};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  if (row < 0 || !m_listDevices.GetItem(&item)) return false;
  device = static_cast<int>(item.lParam);
  return true;
}

int CDevicePage::FindRow(int device) {
  const size_t n = static_cast<size_t>(device);
  const int guess = m_rowOfDevice[n];
  int found = -1;
  if (GetRowDevice(guess, found) && found == device) return guess;
  // Rows moved without the page knowing: the order is read back before the next sort.
  m_bRowOrderKnown = false;
  LVFINDINFOW find = {};
  find.flags = LVFI_PARAM;
  find.lParam = device;
  const int row = m_listDevices.FindItem(&find, -1);
  if (row >= 0) m_rowOfDevice[n] = row;
  return row;
}

void CDevicePage::RedrawRowsOf(const std::vector<int>& devices) {
  RECT client;
  if (devices.empty() || !m_listDevices.GetClientRect(&client)) return;
  // The rows on screen are one run of indexes in either view: from the top row,
  // a page of whole rows and those cut by the edge. Rows off screen are left
  // alone: under Wine every invalidation is a call to the server, even of a
  // rectangle that is not shown.
  const int count = m_listDevices.GetItemCount();
  const int first = std::max(m_listDevices.GetTopIndex(), 0);
  int last = first + std::max(m_listDevices.GetCountPerPage(), 1) - 1;
  RECT bounds;
  RECT visible;
  while (last + 1 < count && m_listDevices.GetItemRect(last + 1, &bounds, LVIR_BOUNDS) &&
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
    if (!m_listDevices.GetItemRect(row, &bounds, LVIR_BOUNDS)) continue;
    if (!::IsRectEmpty(&run) && bounds.left == run.left && bounds.top == run.bottom) {
      run.right = std::max(run.right, bounds.right);
      run.bottom = bounds.bottom;
      continue;
    }
    if (!::IsRectEmpty(&run)) m_listDevices.InvalidateRect(&run);
    run = bounds;
  }
  if (!::IsRectEmpty(&run)) m_listDevices.InvalidateRect(&run);
}

void CDevicePage::ShowQueryFailures(const SweepSummary& summary) {
  const DeviceSweepResult& report = summary.firstNewFailure;
  CString strDevice;
  strDevice.Format(L"%ld", static_cast<long>(report.nDevice));
  CString strCode;
  strCode.Format(L"%#8.8x", static_cast<unsigned int>(report.hr));
  CString strMessage = FormatResourceMessage(IDS_FAILED_QUERY_DRIVER, L"Error loading string IDS_FAILED_QUERY_DRIVER",
                                             strDevice, report.pszKind, strCode, GetSystemErrorText(report.hr));
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
  CRowUpdater(CDevicePage& page, std::optional<CRedrawOff>& redrawOff) : m_page(page), m_redrawOff(redrawOff) {}

  bool OnDeviceSwept(const DeviceSweepResult& result, const ItemData& before, const ItemData& item) override {
    const int i = result.nDevice;
    if (result.Failed()) {
      // The other cells keep their last values, no longer shown as running; the
      // state cell and the row's image say whether the device answers.
      if (result.AnswerChanged()) m_page.m_changedDevices.push_back(i);
      return true;
    }
    const int row = m_page.FindRow(i);
    if (row < 0) {
      m_redrawOff.reset();
      CString strMessage;
      strMessage.Format(L"INTERNAL ERROR: Unable to find m_aItemData for dev = %ld", static_cast<long>(i));
      AfxMessageBox(strMessage, MB_OK);
      // The refresh stops here for good: no sort, no new timer.
      return false;
    }
    if (item.m_bActive != before.m_bActive) {
      // A stream starts or ends: its row is replaced (a selection of the row goes with it).
      if (!m_redrawOff) m_redrawOff.emplace(m_page.m_listDevices);
      m_page.m_listDevices.DeleteItem(row);
      m_page.InsertRow(row, i);
    } else if (result.AnswerChanged() || (item.m_bActive && !ShowsTheSame(before, item))) {
      m_page.m_changedDevices.push_back(i);
    }
    return true;
  }

private:
  CDevicePage& m_page;
  std::optional<CRedrawOff>& m_redrawOff;
};

void CDevicePage::RefreshDevices() {
  // Redraw goes off only while rows are replaced (a stream starts or ends): back
  // on, it repaints the whole list, which new values alone must not cost.
  std::optional<CRedrawOff> redrawOff;
  m_changedDevices.clear();
  CRowUpdater updater(*this, redrawOff);
  const SweepSummary summary = m_sweep.Sweep(CTime::GetCurrentTime(), &updater);
  if (summary.bStopped) return;
  SortList();
  // Redraw switched back on repaints every row on screen anyway.
  if (!redrawOff) RedrawRowsOf(m_changedDevices);
  redrawOff.reset();
  // One message at most, over a list that is up to date; the timer stays off
  // while it is shown, so no refresh starts inside its loop.
  if (summary.firstNewFailure.nDevice >= 0) ShowQueryFailures(summary);
  SetTimer(IDT_REFRESH, kRefreshPeriodMs);
}
