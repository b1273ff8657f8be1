#include "record/RecordLogPage.h"

#include <shellapi.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <utility>

#include "framework/Dpi.h"
#include "framework/FileDialog.h"
#include "framework/Menu.h"
#include "framework/MessageBox.h"
#include "record/HistoryFile.h"
#include "record/HistorySizeDlg.h"
#include "record/LogSettingsDlg.h"
#include "record/RecordLogData.h"
#include "record/RecorderStatus.h"
#include "resources/resource.h"
#include "stats/Formatting.h"
#include "stats/ItemColumns.h"
#include "support/RegistryKey.h"
#include "support/ShellResult.h"
#include "support/WideString.h"

namespace {

const UINT kRefreshPeriodMs = 1000;
// The recorder service's state is asked for at activation and every so many ticks.
const int kTicksPerRecorderQuery = 5;

const wchar_t kOutputPathKey[] = L"Software\\Tarquel\\TqVudAva\\1.0";
const wchar_t kOutputPathValue[] = L"Output Path";
const wchar_t kLogFileName[] = L"DelvoraLog.txt";

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
const int kColumns = static_cast<int>(sizeof(kColumnTable) / sizeof(kColumnTable[0]));

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

// The list grows with the page under the filter box and its count, which keep to
// the top-right corner; the status stays bottom-left, the buttons bottom-right.
const ControlAnchor kAnchors[] = {
    {IDC_FILTER_COUNT, ANCHOR_TOP | ANCHOR_RIGHT},
    {IDC_LIST_FILTER, ANCHOR_TOP | ANCHOR_RIGHT},
    {IDC_RECORD_LIST, ANCHOR_ALL},
    {IDC_LOG_STATUS, ANCHOR_LEFT | ANCHOR_BOTTOM},
    {IDC_RECORDER_STATUS, ANCHOR_LEFT | ANCHOR_BOTTOM},
    {IDC_START_STOP, ANCHOR_RIGHT | ANCHOR_BOTTOM},
    {IDC_CLEAR_RECORDS, ANCHOR_RIGHT | ANCHOR_BOTTOM},
};

const wchar_t kSavedFileName[] = L"DelvoraHistory.txt";

// A count as the user's locale groups its digits ("2,000").
CString FormatCount(unsigned int nCount) {
  wchar_t szDigits[16] = {};
  _snwprintf(szDigits, 15, L"%u", nCount);
  wchar_t szDecimal[8] = L".";
  wchar_t szThousand[8] = L",";
  ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, szDecimal, 8);
  ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, szThousand, 8);
  NUMBERFMTW format = {0, 0, 3, szDecimal, szThousand, 1};
  wchar_t szGrouped[32] = {};
  if (::GetNumberFormatW(LOCALE_USER_DEFAULT, 0, szDigits, &format, szGrouped, 32) > 0) return szGrouped;
  return szDigits;
}

const CListPage::ListDesign kDesign = {
    IDC_RECORD_LIST, kColumnTable, kColumns, 2, &CRecordLogPage::CompareRecords, kRefreshPeriodMs,
    IDR_RECORD_CONTEXT_MENU, false};

}  // namespace

IMPLEMENT_DYNCREATE(CRecordLogPage, CListPage)

BEGIN_MESSAGE_MAP(CRecordLogPage, CListPage)
  ON_BN_CLICKED(IDC_CLEAR_RECORDS, OnClear)
  ON_COMMAND(ID_LOG_SETTINGS, OnLogSettings)
  ON_BN_CLICKED(IDC_START_STOP, OnStartStop)
  ON_COMMAND(ID_HISTORY_SIZE, OnHistorySize)
  ON_COMMAND(ID_OPEN_RECORDER_FOLDER, OnOpenRecorderFolder)
  ON_COMMAND(ID_SAVE_HISTORY_AS, OnSaveHistoryAs)
  ON_COMMAND(ID_CLEAR_HISTORY, OnClear)
END_MESSAGE_MAP()

CRecordLogPage::CRecordLogPage() : CListPage(IDD_RECORD_LOG_PAGE, kDesign), m_nMaxRecords(kDefaultHistorySize) {}

// The log file closes with m_logFile.
CRecordLogPage::~CRecordLogPage() = default;

BOOL CRecordLogPage::OnInitDialog() {
  CListPage::OnInitDialog();

  m_anchors.Capture(m_hWnd, kAnchors);

  m_strStopLogging.LoadString(IDS_STOP_LOGGING);
  m_strStartLogging.LoadString(IDS_START_LOGGING);
  m_strStatusLogging.LoadString(IDS_STATUS_LOGGING);
  m_strStatusNotLogging.LoadString(IDS_STATUS_NOT_LOGGING);
  if (!m_strStatusWriteFailed.LoadString(IDS_STATUS_WRITE_FAILED)) {
    m_strStatusWriteFailed = L"Writing to the log file failed.";
  }
  // The columns, and the page sorted by end time, ascending.
  InitList();

  // The log's default folder; without it the bare file name (the current directory).
  CRegistryKey key(HKEY_LOCAL_MACHINE, kOutputPathKey, FALSE);
  CWideString strFolder(L"");
  key.GetString(kOutputPathValue, strFolder, TRUE, FALSE);
  m_strLogFolder.Empty();
  if (!strFolder.IsNull() && strFolder.Length() > 0) m_strLogFolder = strFolder.GetText();
  m_strLogPath = m_strLogFolder;
  if (!m_strLogPath.IsEmpty()) AppendCharIfMissing(m_strLogPath, L'\\');
  m_strLogPath += kLogFileName;

  UpdateData(FALSE);
  StartRefreshTimer();
  return TRUE;
}

BOOL CRecordLogPage::OnSetActive() {
  if (!CListPage::OnSetActive()) return FALSE;
  AfxLoadWindowMenu(GetParentHwnd(), IDR_RECORD_LOG_MENU);
  UpdateLoggingStatus();
  UpdateRecorderStatus();
  return TRUE;
}

bool CRecordLogPage::Refresh() {
  // From the first tick on, every ended stream waits for this page.
  g_qEndedStreams.StopBounding();
  const int shownBefore = GetShownCount();
  {
    CRedrawOff redrawOff(m_list);
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
  if (GetShownCount() != shownBefore || !GetFilterText().IsEmpty()) OnShownRowsChanged();
  if (++m_nTicksSinceRecorderQuery >= kTicksPerRecorderQuery) UpdateRecorderStatus();
  return true;
}

const ItemData* CRecordLogPage::RowItem(LPARAM key) const {
  return CRecordLogData::m_global.Find(static_cast<DWORD>(key));
}

void CRecordLogPage::GetAllRows(std::vector<LPARAM>& keys) const {
  keys.clear();
  for (const ItemData& record : CRecordLogData::m_global) keys.push_back(static_cast<LPARAM>(record.m_dwRecordId));
}

void CRecordLogPage::OnShownRowsChanged() {
  // Said only while a filter hides rows; the history's size is no news.
  CString strCount;
  if (!GetFilterText().IsEmpty()) {
    const CString strShown = FormatCount(static_cast<unsigned int>(GetShownCount()));
    const CString strAll = FormatCount(CRecordLogData::m_global.GetCount());
    CString strFallback;
    strFallback.Format(L"%s of %s shown", strShown.GetString(), strAll.GetString());
    strCount = FormatResourceMessage(IDS_FILTER_COUNT, strFallback, strShown, strAll);
  }
  CString strOld;
  CWnd(GetDlgItem(IDC_FILTER_COUNT)).GetWindowText(strOld);
  // Set only when it changed: a static control repaints on every text it is given.
  if (strOld != strCount) SetDlgItemText(IDC_FILTER_COUNT, strCount);
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
    // Placed where it sorts; a row the filter hides is still recorded and logged.
    ShowRow(static_cast<LPARAM>(id));

    if (m_logFile.IsOpen()) {
      m_logFile.WriteLine(CRecordLogData::FormatRecord(item));
      CheckLogWrites();
    }
  }
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
    HideRow(static_cast<LPARAM>(id));
  }
}

void CRecordLogPage::ClearHistory() {
  CRecordLogData::m_global.Clear();
  HideAllRows();
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
  const DWORD dwShellError = ShellExecuteError(
      ::ShellExecuteW(GetParentHwnd(), L"open", m_strLogFolder, nullptr, nullptr, SW_SHOWNORMAL));
  if (dwShellError == ERROR_SUCCESS) return;
  // No folder configured: the shell's answer to an empty path says nothing useful.
  const DWORD dwError = m_strLogFolder.IsEmpty() ? ERROR_PATH_NOT_FOUND : dwShellError;
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

void CRecordLogPage::OnSaveHistoryAs() {
  // The rows as they show now, in their order; the dialog's title says whether
  // the filter left some out.
  std::vector<ItemData> records;
  for (LPARAM key : ShownRows()) {
    if (const ItemData* pRecord = RowItem(key)) records.push_back(*pRecord);
  }
  const CString strShown = FormatCount(static_cast<unsigned int>(records.size()));
  const CString strTitle =
      GetFilterText().IsEmpty()
          ? FormatResourceMessage(IDS_SAVE_TITLE_ALL, L"Save History As", strShown)
          : FormatResourceMessage(IDS_SAVE_TITLE_FILTERED, L"Save History As",
                                  strShown, FormatCount(CRecordLogData::m_global.GetCount()));
  CString strInitial = m_strLogFolder;
  if (!strInitial.IsEmpty()) AppendCharIfMissing(strInitial, L'\\');
  strInitial += kSavedFileName;
  CFileDialog dialog(FALSE, L".txt", strInitial, OFN_HIDEREADONLY | OFN_PATHMUSTEXIST,
                     L"Text Files (*.txt)|*.txt|All Files (*.*)|*.*||");
  dialog.m_ofn.lpstrTitle = strTitle;
  if (dialog.DoModal() != IDOK) return;
  const CString strPath = dialog.GetPathName();

  if (CLogSettingsDlg::FileExists(strPath)) {
    const CString strQuestion =
        FormatResourceMessage(IDS_PROMPT_OVERWRITE, L"ERROR loading string IDS_PROMPT_OVERWRITE", strPath);
    if (AfxMessageBox(strQuestion, MB_YESNO | MB_DEFBUTTON2) != IDYES) return;
  }
  const HistoryFileResult result = WriteHistoryFile(strPath, CRecordLogData::m_global.GetHeader(), records);
  if (SUCCEEDED(result.hr)) return;
  const CString strMessage =
      result.bOpened ? FormatResourceMessage(IDS_ERROR_SAVE_HISTORY, L"Error loading string IDS_ERROR_SAVE_HISTORY",
                                             strPath, GetSystemErrorText(result.hr))
                     : CLogSettingsDlg::OpenFailureMessage(strPath, result.hr);
  ShowMessage(strMessage);
}
