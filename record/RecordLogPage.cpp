#include "record/RecordLogPage.h"

#include <shellapi.h>

#include <algorithm>
#include <iterator>
#include <utility>

#include "framework/Dpi.h"
#include "framework/Menu.h"
#include "framework/MessageBox.h"
#include "record/HistorySizeDlg.h"
#include "record/LogSettingsDlg.h"
#include "record/RecordLogData.h"
#include "record/RecorderStatus.h"
#include "resources/resource.h"
#include "stats/Formatting.h"
#include "stats/ItemColumns.h"
#include "support/RegistryKey.h"
#include "support/WideString.h"

namespace {

const UINT kRefreshPeriodMs = 1000;
// The recorder service's state is asked for at activation and every so many ticks.
const int kTicksPerRecorderQuery = 5;

const wchar_t kOutputPathKey[] = L"Software\\Tarquel\\TqVudAva\\1.0";
const wchar_t kOutputPathValue[] = L"Output Path";
const wchar_t kLogFileName[] = L"DelvoraLog.txt";

// Streams that ended before the page first ran wait for it; no more of them than
// the largest history would keep.
static_assert(CEndedStreamQueue::kWaitingBound == static_cast<size_t>(kMaxHistorySize),
              "the queue keeps what the largest history would");

using namespace item_columns;

// The record log page's columns (the log file's order); ties go by device, and
// under the device column by end time, always ascending.
constexpr ListColumn kColumnTable[] = {
    {IDS_COL_DEVICE, 50, LVCFMT_LEFT, DeviceText, ByDevice, EndOrder, nullptr},
    {IDS_COL_START_TIME, 60, LVCFMT_LEFT, StartText, ByStart, DeviceOrder, TimeStampSample},
    {IDS_COL_END_TIME, 85, LVCFMT_LEFT, EndText, ByEnd, DeviceOrder, TimeStampSample},
    {IDS_COL_AVERAGE, 55, LVCFMT_LEFT, AverageText, ByAverage, DeviceOrder, nullptr},
    {IDS_COL_ADDRESS, 85, LVCFMT_LEFT, AddressText, ByAddress, DeviceOrder, AddressSample},
    {IDS_COL_ADDRESS_PORT, 55, LVCFMT_LEFT, AddressPortText, ByAddressPort, DeviceOrder, nullptr},
    {IDS_COL_PORT, 60, LVCFMT_LEFT, PortText, ByPort, DeviceOrder, nullptr},
    {IDS_COL_CODEC, 50, LVCFMT_LEFT, CodecText, ByCodec, DeviceOrder, nullptr},
    {IDS_COL_DURATION, 80, LVCFMT_CENTER, DurationText, ByDuration, DeviceOrder, nullptr},
    {IDS_COL_COUNTER, 100, LVCFMT_LEFT, CounterText, ByCounter, DeviceOrder, nullptr},
};
static_assert(sizeof(kColumnTable) / sizeof(kColumnTable[0]) == 10, "one table entry per column");

// The order keys of each column, named by its comparison and tie-break.
constexpr auto kColumnOrders = [] {
  std::array<ColumnOrder, std::size(kColumnTable)> orders{};
  for (size_t col = 0; col < orders.size(); ++col) {
    orders[col] = OrderOf(kColumnTable[col].pfnCompare, kColumnTable[col].pfnTieBreak);
  }
  return orders;
}();

constexpr bool EveryColumnHasOrderKeys() {
  for (const ColumnOrder& order : kColumnOrders) {
    if (order.field == OrderField::kNone) return false;
  }
  return true;
}
static_assert(EveryColumnHasOrderKeys(), "a header click sorts by order keys, not by reading records");

// The list grows with the page; the status stays bottom-left, the buttons bottom-right.
const ControlAnchor kAnchors[] = {
    {IDC_RECORD_LIST, ANCHOR_ALL},
    {IDC_LOG_STATUS, ANCHOR_LEFT | ANCHOR_BOTTOM},
    {IDC_RECORDER_STATUS, ANCHOR_LEFT | ANCHOR_BOTTOM},
    {IDC_START_STOP, ANCHOR_RIGHT | ANCHOR_BOTTOM},
    {IDC_CLEAR_RECORDS, ANCHOR_RIGHT | ANCHOR_BOTTOM},
};

}  // namespace

IMPLEMENT_DYNCREATE(CRecordLogPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CRecordLogPage, CPropertyPage)
  ON_WM_TIMER()
  ON_BN_CLICKED(IDC_CLEAR_RECORDS, OnClear)
  ON_COMMAND(ID_LOG_SETTINGS, OnLogSettings)
  ON_BN_CLICKED(IDC_START_STOP, OnStartStop)
  ON_COMMAND(ID_HISTORY_SIZE, OnHistorySize)
  ON_COMMAND(ID_OPEN_RECORDER_FOLDER, OnOpenRecorderFolder)
  ON_NOTIFY(LVN_COLUMNCLICK, IDC_RECORD_LIST, OnColumnClick)
  ON_COMMAND(ID_EDIT_COPY, OnEditCopy)
  ON_COMMAND(ID_EDIT_SELECT_ALL, OnEditSelectAll)
  ON_NOTIFY(LVN_KEYDOWN, IDC_RECORD_LIST, OnListKeyDown)
  ON_NOTIFY(LVN_GETDISPINFOW, IDC_RECORD_LIST, OnGetDispInfo)
  ON_MESSAGE(WM_DPICHANGED, OnDpiChanged)
END_MESSAGE_MAP()

CRecordLogPage::CRecordLogPage()
    : CPropertyPage(IDD_RECORD_LOG_PAGE),
      m_pImageList(std::make_unique<CImageList>()),
      m_sort{false, 2},
      m_nMaxRecords(kDefaultHistorySize) {}

// The log file closes with m_logFile.
CRecordLogPage::~CRecordLogPage() = default;

void CRecordLogPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_RECORD_LIST, m_listRecords);
}

BOOL CRecordLogPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();

  m_anchors.Capture(m_hWnd, kAnchors);
  m_nDpi = GetWindowDpi(m_hWnd);
  SetSortMarks();

  m_strStopLogging.LoadString(IDS_STOP_LOGGING);
  m_strStartLogging.LoadString(IDS_START_LOGGING);
  m_strStatusLogging.LoadString(IDS_STATUS_LOGGING);
  m_strStatusNotLogging.LoadString(IDS_STATUS_NOT_LOGGING);
  if (!m_strStatusWriteFailed.LoadString(IDS_STATUS_WRITE_FAILED)) {
    m_strStatusWriteFailed = L"Writing to the log file failed.";
  }
  InsertColumns(m_listRecords, kColumnTable, kColumns, m_strTitles.data(), m_nDpi);

  // The log's default folder; without it the bare file name (the current directory).
  CRegistryKey key(HKEY_LOCAL_MACHINE, kOutputPathKey, FALSE);
  CWideString strFolder(L"");
  key.GetString(kOutputPathValue, strFolder, TRUE, FALSE);
  m_strLogFolder.Empty();
  if (!strFolder.IsNull() && strFolder.Length() > 0) m_strLogFolder = strFolder.GetText();
  m_strLogPath = m_strLogFolder;
  if (!m_strLogPath.IsEmpty()) AppendCharIfMissing(m_strLogPath, L'\\');
  m_strLogPath += kLogFileName;

  SetSortColumn(2);
  UpdateData(FALSE);
  SetTimer(IDT_REFRESH, kRefreshPeriodMs);
  return TRUE;
}

void CRecordLogPage::SetSortMarks() {
  // The header gets the new marks before the old ones are destroyed.
  CImageList marks = CreateSortMarks(m_nDpi);
  CHeaderCtrl(m_listRecords.GetHeaderCtrl()).SetImageList(marks);
  *m_pImageList = std::move(marks);
}

LRESULT CRecordLogPage::OnDpiChanged(WPARAM wParam, LPARAM) {
  const UINT nDpi = LOWORD(wParam);
  ScaleColumnWidths(m_listRecords, kColumns, m_nDpi, nDpi);
  m_nDpi = nDpi;
  SetSortMarks();
  return 0;
}

BOOL CRecordLogPage::OnSetActive() {
  if (!CPropertyPage::OnSetActive()) return FALSE;
  AfxLoadWindowMenu(GetParentHwnd(), IDR_RECORD_LOG_MENU);
  UpdateLoggingStatus();
  UpdateRecorderStatus();
  return TRUE;
}

void CRecordLogPage::OnTimer(UINT_PTR nIDEvent) {
  if (nIDEvent == IDT_REFRESH) {
    // Stopped while it runs: a message box's loop must not start a second tick.
    KillTimer(IDT_REFRESH);
    // From the first tick on, every ended stream waits for this page.
    g_qEndedStreams.StopBounding();
    {
      CRedrawOff redrawOff(m_listRecords);
      m_pRedrawOff = &redrawOff;
      RecordFinishedStreams();
      if (m_bClearRequested) {
        ClearHistory();
        m_bClearRequested = false;
      } else {
        TrimHistory();
      }
      m_pRedrawOff = nullptr;
    }
    if (++m_nTicksSinceRecorderQuery >= kTicksPerRecorderQuery) UpdateRecorderStatus();
    SetTimer(IDT_REFRESH, kRefreshPeriodMs);
  }
  CPropertyPage::OnTimer(nIDEvent);
}

void CRecordLogPage::RecordFinishedStreams() {
  CRecordLogData& history = CRecordLogData::m_global;
  ItemData item;
  while (g_qEndedStreams.TakeFront(item)) {
    DWORD id = 0;
    const HRESULT hr = history.Insert(item, id);
    if (FAILED(hr)) {
      // The item taken is lost; the ones still queued wait for the next tick.
      ShowInternalError(L"CRecordLogData::m_global.Insert", hr);
      return;
    }
    item.m_dwRecordId = id;

    // A header click in a message box's loop may have moved the rows.
    ReadBackRowIds();
    const int row = FindInsertPosition(id);
    const int inserted = m_listRecords.InsertItem(LVIF_TEXT | LVIF_PARAM, row, LPSTR_TEXTCALLBACKW, 0, 0, 0,
                                                  static_cast<LPARAM>(id));
    if (inserted >= 0) m_rowIds.insert(m_rowIds.begin() + inserted, id);

    if (m_logFile.IsOpen()) {
      m_logFile.WriteLine(CRecordLogData::FormatRecord(item));
      CheckLogWrites();
    }
  }
}

int CRecordLogPage::FindInsertPosition(DWORD dwRecordId) const {
  // The rows are sorted by m_sort: the first row that sorts after the record is
  // found by halving, as a walk from the top would find it.
  const auto after = std::upper_bound(m_rowIds.begin(), m_rowIds.end(), dwRecordId, [this](DWORD id, DWORD row) {
    return CompareRecords(static_cast<LPARAM>(id), static_cast<LPARAM>(row), reinterpret_cast<LPARAM>(&m_sort)) < 0;
  });
  return static_cast<int>(after - m_rowIds.begin());
}

void CRecordLogPage::TrimHistory() {
  CRecordLogData& history = CRecordLogData::m_global;
  const DWORD limit = static_cast<DWORD>(std::max(m_nMaxRecords, 1));
  const DWORD count = history.GetCount();
  for (DWORD excess = count > limit ? count - limit : 0; excess > 0; --excess) {
    DWORD id = 0;
    const HRESULT hr = history.EraseOldest(id);
    if (FAILED(hr)) {
      ShowInternalError(L"CRecordLogData::m_global.EraseOldest()", hr);
      return;
    }
    ReadBackRowIds();
    const auto row = std::find(m_rowIds.begin(), m_rowIds.end(), id);
    if (row != m_rowIds.end()) {
      m_listRecords.DeleteItem(static_cast<int>(row - m_rowIds.begin()));
      m_rowIds.erase(row);
    }
  }
}

void CRecordLogPage::ClearHistory() {
  CRecordLogData::m_global.Clear();
  m_listRecords.DeleteAllItems();
  m_rowIds.clear();
}

void CRecordLogPage::OnClear() { m_bClearRequested = true; }

void CRecordLogPage::OnStartStop() {
  if (m_logFile.IsOpen()) {
    m_logFile.Close();
    UpdateLoggingStatus();
  } else {
    OnLogSettings();
  }
}

void CRecordLogPage::OnLogSettings() {
  CLogSettingsDlg dialog;
  dialog.m_pLogFile = &m_logFile;
  dialog.m_strPath = m_strLogPath;
  dialog.m_strFolder = m_strLogFolder;
  dialog.m_bWriteHistory = m_bWriteHistory ? TRUE : FALSE;
  if (dialog.DoModal() == IDOK) {
    m_strLogPath = dialog.GetPath();
    m_bWriteHistory = dialog.m_bWriteHistory != 0;
  }
  UpdateLoggingStatus();
  // The dialog wrote the header and the history without looking at the results.
  if (m_logFile.IsOpen()) CheckLogWrites();
}

void CRecordLogPage::OnHistorySize() {
  CHistorySizeDlg dialog;
  dialog.SetValue(m_nMaxRecords);
  // The next tick's trim applies the new size.
  if (dialog.DoModal() == IDOK) m_nMaxRecords = dialog.GetValue();
}

void CRecordLogPage::OnColumnClick(NMHDR* pNotify, LRESULT* pResult) {
  const NMLISTVIEW* pListView = reinterpret_cast<const NMLISTVIEW*>(pNotify);
  SetSortColumn(pListView->iSubItem);
  SortList();
  *pResult = 0;
}

void CRecordLogPage::OnEditCopy() { CopySelectedRows(m_listRecords); }

void CRecordLogPage::OnEditSelectAll() { SelectAllRows(m_listRecords); }

void CRecordLogPage::OnListKeyDown(NMHDR* pNotify, LRESULT* pResult) {
  SendListKeyCommand(m_hWnd, pNotify);
  *pResult = 0;
}

void CRecordLogPage::SortList() {
  m_listRecords.SortItems(&CRecordLogPage::CompareRecords, reinterpret_cast<DWORD_PTR>(&m_sort));
  // The rows moved. Their ids are read back when a tick next needs them: reading
  // 2000 rows costs more under Wine than the sort itself.
  m_bRowIdsStale = true;
}

void CRecordLogPage::ReadBackRowIds() {
  if (!m_bRowIdsStale) return;
  const int count = std::max(m_listRecords.GetItemCount(), 0);
  m_rowIds.resize(static_cast<size_t>(count));
  for (int row = 0; row < count; ++row) {
    m_rowIds[static_cast<size_t>(row)] = static_cast<DWORD>(m_listRecords.GetItemData(row));
  }
  m_bRowIdsStale = false;
}

void CRecordLogPage::OnGetDispInfo(NMHDR* pNotify, LRESULT* pResult) {
  NMLVDISPINFOW* pInfo = reinterpret_cast<NMLVDISPINFOW*>(pNotify);
  LVITEMW& item = pInfo->item;
  *pResult = 0;
  if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0) return;
  item.pszText[0] = L'\0';
  const int column = item.iSubItem;
  if (column < 0 || column >= kColumns) return;
  // The list hands over the row's item data with the request.
  const ItemData* pRecord = CRecordLogData::m_global.Find(static_cast<DWORD>(item.lParam));
  if (!pRecord) return;
  m_strDispText = kColumnTable[column].pfnText(*pRecord);
  ::lstrcpynW(item.pszText, m_strDispText, item.cchTextMax);
}

void CRecordLogPage::SetSortColumn(int column) { ::SetSortColumn(m_listRecords, m_sort, column); }

int CALLBACK CRecordLogPage::CompareRecords(LPARAM a, LPARAM b, LPARAM sortState) {
  const SortState* pSort = reinterpret_cast<const SortState*>(sortState);
  if (!pSort || pSort->column < 0 || pSort->column >= kColumns) return 0;
  const CRecordLogData& history = CRecordLogData::m_global;
  // Most pairs are told apart by the order keys the history keeps beside its
  // records, without reading the records.
  const ColumnOrder& keys = kColumnOrders[static_cast<size_t>(pSort->column)];
  int order = 0;
  if (history.CompareKeys(static_cast<DWORD>(a), static_cast<DWORD>(b), keys.field, pSort->ascending, keys.tieField,
                          order)) {
    return order;
  }
  const ItemData* pA = history.Find(static_cast<DWORD>(a));
  const ItemData* pB = history.Find(static_cast<DWORD>(b));
  if (!pA || !pB) return 0;
  return CompareByColumn(kColumnTable, kColumns, *pA, *pB, *pSort);
}

void CRecordLogPage::UpdateLoggingStatus() {
  const bool bOpen = m_logFile.IsOpen();
  m_bStatusShowsFailure = bOpen && m_logFile.IsWriteFailing();
  CString strStatus = m_bStatusShowsFailure ? m_strStatusWriteFailed : m_strStatusNotLogging;
  if (bOpen && !m_bStatusShowsFailure) {
    // Which file, so that nobody has to open the settings to find the log.
    strStatus = FormatResourceMessage(IDS_STATUS_LOGGING_TO, m_strStatusLogging, m_logFile.GetPath());
  }
  SetDlgItemText(IDC_LOG_STATUS, strStatus);
  SetDlgItemText(IDC_START_STOP, bOpen ? m_strStopLogging : m_strStartLogging);
}

void CRecordLogPage::UpdateRecorderStatus() {
  m_nTicksSinceRecorderQuery = 0;
  const RecorderStatus status = QueryRecorderStatus();
  CString strText;
  switch (status.state) {
    case RecorderState::kRunning:
      strText = FormatResourceMessage(IDS_RECORDER_RUNNING, L"Error loading string IDS_RECORDER_RUNNING",
                                      RecorderDayFile(m_strLogFolder, CTime::GetCurrentTime()));
      break;
    case RecorderState::kStopped:
      strText = FormatResourceMessage(IDS_RECORDER_STOPPED, L"Error loading string IDS_RECORDER_STOPPED");
      break;
    case RecorderState::kNotInstalled:
      strText = FormatResourceMessage(IDS_RECORDER_NOT_INSTALLED, L"Error loading string IDS_RECORDER_NOT_INSTALLED");
      break;
    case RecorderState::kPending:
      strText = FormatResourceMessage(IDS_RECORDER_PENDING, L"Error loading string IDS_RECORDER_PENDING");
      break;
    case RecorderState::kUnknown:
      strText = FormatResourceMessage(IDS_RECORDER_UNKNOWN, L"Error loading string IDS_RECORDER_UNKNOWN",
                                      GetSystemErrorText(status.hr));
      break;
  }
  // Set only when it changed: a static control repaints on every text it is given.
  if (strText != m_strRecorderStatus) {
    m_strRecorderStatus = strText;
    SetDlgItemText(IDC_RECORDER_STATUS, strText);
  }
}

void CRecordLogPage::OnOpenRecorderFolder() {
  // The recorder writes where the log folder is; the shell shows it.
  const INT_PTR result = reinterpret_cast<INT_PTR>(
      ::ShellExecuteW(GetParentHwnd(), L"open", m_strLogFolder, nullptr, nullptr, SW_SHOWNORMAL));
  if (result > 32) return;
  DWORD dwError = ERROR_PATH_NOT_FOUND;  // no folder configured
  if (!m_strLogFolder.IsEmpty()) {
    switch (result) {
      case SE_ERR_FNF: dwError = ERROR_FILE_NOT_FOUND; break;
      case SE_ERR_PNF: dwError = ERROR_PATH_NOT_FOUND; break;
      case SE_ERR_ACCESSDENIED: dwError = ERROR_ACCESS_DENIED; break;
      case SE_ERR_SHARE: dwError = ERROR_SHARING_VIOLATION; break;
      case SE_ERR_NOASSOC: dwError = ERROR_NO_ASSOCIATION; break;
      case 0:
      case SE_ERR_OOM: dwError = ERROR_NOT_ENOUGH_MEMORY; break;
      default: dwError = ERROR_GEN_FAILURE; break;
    }
  }
  ShowMessage(FormatResourceMessage(IDS_ERROR_OPEN_FOLDER, L"Error loading string IDS_ERROR_OPEN_FOLDER",
                                    m_strLogFolder, GetSystemErrorText(HRESULT_FROM_WIN32(dwError))));
}

void CRecordLogPage::CheckLogWrites() {
  if (m_logFile.IsWriteFailing() != m_bStatusShowsFailure) UpdateLoggingStatus();
  if (!m_logFile.TakeUnreportedFailure()) return;

  const HRESULT hr = m_logFile.GetWriteError();
  ShowMessage(FormatResourceMessage(IDS_ERROR_FILE_WRITE, L"Error loading string IDS_ERROR_FILE_WRITE",
                                    m_logFile.GetPath(), GetSystemErrorText(hr)));
}

void CRecordLogPage::ShowMessage(const CString& strMessage) {
  // The list is painted under the box even in the middle of a tick.
  if (m_pRedrawOff) m_pRedrawOff->On();
  AfxMessageBox(strMessage, MB_OK);
  if (m_pRedrawOff) m_pRedrawOff->Off();
}

void CRecordLogPage::ShowInternalError(const wchar_t* pszOperation, HRESULT hr) {
  CString strMessage;
  strMessage.Format(L"INTERNAL ERROR: %s -> %#8.8x", pszOperation, static_cast<unsigned int>(hr));
  ShowMessage(strMessage);
}
