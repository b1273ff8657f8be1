#include "stats/DevicePage.h"

#include <algorithm>

#include "driver/DeviceDiscovery.h"
#include "driver/DriverControl.h"
#include "framework/MessageBox.h"
#include "framework/Menu.h"
#include "resources/resource.h"
#include "stats/Formatting.h"

// ---- device access --------------------------------------------------------------

int CDeviceAccess::GetDeviceCount() { return ::GetDeviceCount(); }

HRESULT CDeviceAccess::QueryWaveInCounters(int nDevice, WaveCounters& record) {
  return ::QueryWaveInCounters(nDevice, record);
}

HRESULT CDeviceAccess::QueryWaveOutCounters(int nDevice, WaveCounters& record) {
  return ::QueryWaveOutCounters(nDevice, record);
}

CDeviceAccess& CDeviceAccess::Driver() {
  static CDeviceAccess s_driver;
  return s_driver;
}

// ---- the page -------------------------------------------------------------------

namespace {

const UINT kRefreshPeriodMs = 500;

// Row images.
const int kImageIdle = 0;
const int kImageRunning = 1;

// Header images.
const int kImageAscending = 0;
const int kImageDescending = 1;

// Widths of columns 0 to 9 (device, state, start, average, address, address
// port, port, codec, duration, counter).
const int kColumnWidths[10] = {75, 70, 60, 55, 85, 55, 60, 50, 80, 100};

// Room a header item needs beside its title: the item's padding and the sort
// arrow's image, so that a title is not cut when its column is the sorted one.
const int kHeaderTitleRoom = 32;

// Room a cell needs beside its text (the list view's left and right margins).
const int kCellTextRoom = 14;
const int kAddressColumn = 4;

// Where the eight texts of InsertRow/SetRowTexts go: start, average, address,
// address port, port, codec, counter, duration.
const int kTextColumns[8] = {2, 3, 4, 5, 6, 7, 9, 8};

const wchar_t* const kEmptyTexts[8] = {L"", L"", L"", L"", L"", L"", L"", L""};

bool AnyNull(const wchar_t* const texts[8]) {
  if (!texts) return true;
  for (int i = 0; i < 8; ++i) {
    if (!texts[i]) return true;
  }
  return false;
}

// Redraw of a list switched off for a bulk change and back on (with a repaint)
// when the change is done, or before a message box needs the list painted.
class CRedrawOff {
public:
  explicit CRedrawOff(const CListCtrl& list) : m_list(list) { Off(); }
  ~CRedrawOff() { On(); }
  CRedrawOff(const CRedrawOff&) = delete;
  CRedrawOff& operator=(const CRedrawOff&) = delete;
  void Off() {
    if (m_bOn) {
      m_list.SetRedraw(FALSE);
      m_bOn = false;
    }
  }
  void On() {
    if (!m_bOn) {
      m_list.SetRedraw(TRUE);
      m_list.Invalidate(FALSE);
      m_bOn = true;
    }
  }

private:
  const CListCtrl& m_list;
  bool m_bOn = true;
};

}  // namespace

IMPLEMENT_DYNCREATE(CDevicePage, CPropertyPage)

BEGIN_MESSAGE_MAP(CDevicePage, CPropertyPage)
  ON_WM_TIMER()
  ON_BN_CLICKED(IDC_DETAILS, OnDetailsClicked)
  ON_NOTIFY(LVN_COLUMNCLICK, IDC_DEVICE_LIST, OnColumnClick)
END_MESSAGE_MAP()

CDevicePage::CDevicePage()
    : CPropertyPage(IDD_DEVICE_PAGE),
      m_pHeaderImages(std::make_unique<CImageList>()),
      m_pLargeImages(std::make_unique<CImageList>()),
      m_pSmallImages(std::make_unique<CImageList>()),
      m_sort{false, 0},
      m_pDeviceAccess(&CDeviceAccess::Driver()) {}

CDevicePage::~CDevicePage() = default;

void CDevicePage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_DEVICE_LIST, m_listDevices);
}

BOOL CDevicePage::OnInitDialog() {
  CPropertyPage::OnInitDialog();

  // The page owns the image lists: the list must not destroy them with itself.
  m_listDevices.ModifyStyle(0, LVS_SHAREIMAGELISTS);

  m_pHeaderImages->Create(16, 16, ILC_COLOR32 | ILC_MASK, 1, 1);
  m_pHeaderImages->AddResourceIcon(IDR_SORT_ASCENDING);
  m_pHeaderImages->AddResourceIcon(IDR_SORT_DESCENDING);
  m_pHeaderImages->AddResourceIcon(IDR_SORT_NONE);

  m_pLargeImages->Create(32, 32, ILC_COLOR32 | ILC_MASK, 4, 4);
  m_pSmallImages->Create(16, 16, ILC_COLOR32 | ILC_MASK, 4, 4);
  for (CImageList* pImages : {m_pLargeImages.get(), m_pSmallImages.get()}) {
    pImages->AddResourceIcon(IDR_STREAM_IDLE);
    pImages->AddResourceIcon(IDR_STREAM_RUNNING);
  }
  m_listDevices.SetImageList(*m_pLargeImages, LVSIL_NORMAL);
  m_listDevices.SetImageList(*m_pSmallImages, LVSIL_SMALL);
  CHeaderCtrl header(m_listDevices.GetHeaderCtrl());
  header.SetImageList(*m_pHeaderImages);

  m_nDeviceCount = std::max(0, m_pDeviceAccess->GetDeviceCount());

  m_strColDevice.LoadString(IDS_COL_DEVICE);
  m_strColStart.LoadString(IDS_COL_START_TIME);
  m_strColAddress.LoadString(IDS_COL_ADDRESS);
  m_strColAddressPort.LoadString(IDS_COL_ADDRESS_PORT);
  m_strColPort.LoadString(IDS_COL_PORT);
  m_strColDuration.LoadString(IDS_COL_DURATION);
  m_strColAverage.LoadString(IDS_COL_AVERAGE);
  m_strColCounter.LoadString(IDS_COL_COUNTER);
  m_strColState.LoadString(IDS_COL_STATE);
  m_strRunning.LoadString(IDS_STATE_RUNNING);
  m_strColCodec.LoadString(IDS_COL_CODEC);

  const CString* titles[kColumns] = {&m_strColDevice,  &m_strColState,       &m_strColStart, &m_strColAverage,
                                     &m_strColAddress, &m_strColAddressPort, &m_strColPort,  &m_strColCodec,
                                     &m_strColDuration, &m_strColCounter};
  for (int col = 0; col < kColumns; ++col) {
    // The widths are minimums: a longer title (another language, another font) widens its column.
    int width = std::max(kColumnWidths[col], m_listDevices.GetStringWidth(*titles[col]) + kHeaderTitleRoom);
    // An address column must show the longest dotted quad whole.
    if (col == kAddressColumn)
      width = std::max(width, m_listDevices.GetStringWidth(L"255.255.255.255") + kCellTextRoom);
    m_listDevices.InsertColumn(col, *titles[col], LVCFMT_LEFT, width, col);
  }

  m_rowTexts.assign(static_cast<size_t>(m_nDeviceCount), RowTexts());
  m_rowOfDevice.assign(static_cast<size_t>(m_nDeviceCount), -1);
  {
    // Under Wine an insert with redraw on costs milliseconds; off, microseconds.
    CRedrawOff redrawOff(m_listDevices);
    for (int n = 0; n < m_nDeviceCount; ++n) InsertRow(n, kImageIdle, n, kEmptyTexts);
  }

  m_aItemData.resize(static_cast<size_t>(m_nDeviceCount));
  for (size_t n = 0; n < m_aItemData.size(); ++n) m_aItemData[n].m_nDevice = static_cast<int>(n);

  CheckDlgButton(IDC_DETAILS, BST_CHECKED);
  SetSortColumn(0);

  SetTimer(IDT_REFRESH, kRefreshPeriodMs);
  UpdateData(FALSE);
  return TRUE;
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

void CDevicePage::SortList() {
  m_listDevices.SortItems(&CDevicePage::CompareItems, reinterpret_cast<DWORD_PTR>(&m_sort));
  // The sort moved the rows: FindRow's guesses are read back from the list.
  for (int row = 0; row < m_nDeviceCount; ++row) {
    const size_t device = static_cast<size_t>(m_listDevices.GetItemData(row));
    if (device < m_rowOfDevice.size()) m_rowOfDevice[device] = row;
  }
}

void CDevicePage::SetSortColumn(int column) {
  CHeaderCtrl header(m_listDevices.GetHeaderCtrl());
  HDITEMW item = {};
  item.mask = HDI_FORMAT;
  item.fmt = HDF_STRING;
  header.SetItem(m_sort.column, &item);

  m_sort.ascending = (column == m_sort.column) ? !m_sort.ascending : true;
  m_sort.column = column;

  item.mask = HDI_FORMAT | HDI_IMAGE;
  item.fmt = HDF_STRING | HDF_IMAGE | HDF_BITMAP_ON_RIGHT;
  item.iImage = m_sort.ascending ? kImageAscending : kImageDescending;
  header.SetItem(column, &item);
}

int CALLBACK CDevicePage::CompareItems(LPARAM a, LPARAM b, LPARAM sortState) {
  // The bound is the item array, sized to the device count: a row's item data
  // that does not name an item is never used as an index.
  const size_t bound = m_aItemData.size();
  const SortState* pSort = reinterpret_cast<const SortState*>(sortState);
  if (static_cast<ULONG_PTR>(a) >= bound || static_cast<ULONG_PTR>(b) >= bound || !pSort) return 0;
  const ItemData& A = m_aItemData[static_cast<size_t>(a)];
  const ItemData& B = m_aItemData[static_cast<size_t>(b)];
  const bool dir = pSort->ascending;
  int result = 0;
  switch (pSort->column) {
    case 0: return CompareLong(A.m_nDevice, B.m_nDevice, dir);
    case 1: result = CompareLong(A.m_bActive ? 0 : 1, B.m_bActive ? 0 : 1, dir); break;
    case 2: result = CompareTime(A.m_timeStart, B.m_timeStart, dir); break;
    case 3: result = CompareDouble(A.m_dAverage, B.m_dAverage, dir); break;
    case 4: result = CompareText(A.m_strAddress, B.m_strAddress, dir); break;
    case 5: result = CompareULong(A.m_wAddressPort, B.m_wAddressPort, dir); break;
    case 6: result = CompareULong(A.m_wPort, B.m_wPort, dir); break;
    case 7: result = CompareULong(A.m_wCodec, B.m_wCodec, dir); break;
    case 8: result = CompareTimeSpan(A.m_spanDuration, B.m_spanDuration, dir); break;
    case 9: result = CompareULong(A.m_dwCounter, B.m_dwCounter, dir); break;
    default: return 0;
  }
  // Ties fall back to device order, ascending whatever the direction.
  return result != 0 ? result : CompareLong(A.m_nDevice, B.m_nDevice, true);
}

void CDevicePage::InsertRow(int row, int image, int device, const wchar_t* const texts[8]) {
  if (AnyNull(texts)) return;
  CString strDevice;
  strDevice.Format(L"%03d", device);
  const int inserted =
      m_listDevices.InsertItem(LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM, row, strDevice, 0, 0, image, device);
  if (inserted < 0) return;
  ++m_nCellUpdates;
  if (device >= 0 && static_cast<size_t>(device) < m_rowTexts.size()) {
    // A new row's subitems are empty: the cache starts from there.
    RowTexts& cache = m_rowTexts[static_cast<size_t>(device)];
    for (CString& text : cache) text.Empty();
    cache[0] = strDevice;
    m_rowOfDevice[static_cast<size_t>(device)] = inserted;
  }
  SetCellText(inserted, device, 1, image == kImageRunning ? m_strRunning.GetString() : L"");
  SetRowTextsOf(inserted, device, texts);
}

void CDevicePage::SetRowTexts(int row, const wchar_t* const texts[8]) {
  if (AnyNull(texts)) return;
  SetRowTextsOf(row, static_cast<int>(m_listDevices.GetItemData(row)), texts);
}

void CDevicePage::SetRowTextsOf(int row, int device, const wchar_t* const texts[8]) {
  for (int i = 0; i < 8; ++i) SetCellText(row, device, kTextColumns[i], texts[i]);
}

void CDevicePage::SetCellText(int row, int device, int column, const wchar_t* text) {
  const bool cached = device >= 0 && static_cast<size_t>(device) < m_rowTexts.size();
  if (cached) {
    CString& cell = m_rowTexts[static_cast<size_t>(device)][static_cast<size_t>(column)];
    // Setting a cell costs tens of microseconds under Wine even when nothing changes.
    if (cell == text) return;
    cell = text;
  }
  m_listDevices.SetItemText(row, column, text);
  ++m_nCellUpdates;
}

int CDevicePage::FindRow(int device) {
  if (device >= 0 && static_cast<size_t>(device) < m_rowOfDevice.size()) {
    const int guess = m_rowOfDevice[static_cast<size_t>(device)];
    if (guess >= 0 && guess < m_nDeviceCount && static_cast<int>(m_listDevices.GetItemData(guess)) == device) {
      return guess;
    }
  }
  LVFINDINFOW find = {};
  find.flags = LVFI_PARAM;
  find.lParam = device;
  const int row = m_listDevices.FindItem(&find, -1);
  if (row < 0 || row >= m_nDeviceCount) return -1;
  if (device >= 0 && static_cast<size_t>(device) < m_rowOfDevice.size()) {
    m_rowOfDevice[static_cast<size_t>(device)] = row;
  }
  return row;
}

void CDevicePage::ShowQueryFailure(int device, const wchar_t* pszKind, HRESULT hr) {
  CString strTemplate;
  CString strMessage;
  if (strTemplate.LoadString(IDS_FAILED_QUERY_DRIVER)) {
    CString strDevice;
    strDevice.Format(L"%ld", static_cast<long>(device));
    CString strCode;
    strCode.Format(L"%#8.8x", static_cast<unsigned int>(hr));
    if (!strMessage.FormatMessage(strTemplate, strDevice, pszKind, strCode, GetSystemErrorText(hr))) {
      strMessage = strTemplate;
    }
  } else {
    strMessage = L"Error loading string IDS_FAILED_QUERY_DRIVER";
  }
  AfxMessageBox(strMessage, MB_OK);
}

void CDevicePage::RefreshDevices() {
  CRedrawOff redrawOff(m_listDevices);
  for (int i = 0; i < m_nDeviceCount; ++i) {
    WaveCounters in = {};
    WaveCounters out = {};
    HRESULT hr = m_pDeviceAccess->QueryWaveInCounters(i, in);
    if (FAILED(hr)) {
      redrawOff.On();
      ShowQueryFailure(i, L"WaveInCounters", hr);
      redrawOff.Off();
      continue;
    }
    hr = m_pDeviceAccess->QueryWaveOutCounters(i, out);
    if (FAILED(hr)) {
      redrawOff.On();
      ShowQueryFailure(i, L"WaveOutCounters", hr);
      redrawOff.Off();
      continue;
    }

    ItemData& item = m_aItemData[static_cast<size_t>(i)];
    const bool bWasRunning = item.m_bActive;
    UpdateItemData(in, out, item);

    const int row = FindRow(i);
    if (row < 0) {
      redrawOff.On();
      CString strMessage;
      strMessage.Format(L"INTERNAL ERROR: Unable to find m_aItemData for dev = %ld", static_cast<long>(i));
      AfxMessageBox(strMessage, MB_OK);
      // The refresh stops here for good: no sort, no new timer.
      return;
    }

    if (item.m_bActive) {
      CString strAddressPort, strPort, strCounter, strDuration;
      strAddressPort.Format(L"%ld", static_cast<long>(item.m_wAddressPort));
      strPort.Format(L"%ld", static_cast<long>(item.m_wPort));
      strCounter.Format(L"%lu", static_cast<unsigned long>(item.m_dwCounter));
      strDuration.Format(L"%lu", static_cast<unsigned long>(ClampToULong(item.m_spanDuration.GetTotalSeconds())));
      const CString strStart = FormatTimeStamp(item.m_timeStart);
      const CString strAverage = FormatAverage(item.m_dAverage);
      const CString strCodec = FormatCodecName(item.m_wCodec);
      const wchar_t* const texts[8] = {strStart,   strAverage, item.m_strAddress, strAddressPort,
                                       strPort,    strCodec,   strCounter,        strDuration};
      if (bWasRunning) {
        SetRowTextsOf(row, i, texts);
      } else {
        m_listDevices.DeleteItem(row);
        InsertRow(row, kImageRunning, i, texts);
      }
    } else if (bWasRunning) {
      m_listDevices.DeleteItem(row);
      InsertRow(row, kImageIdle, i, kEmptyTexts);
    }
  }
  SortList();
  SetTimer(IDT_REFRESH, kRefreshPeriodMs);
}
