#include "stats/DevicePage.h"

#include <algorithm>
#include <utility>

#include "framework/Dpi.h"
#include "framework/MessageBox.h"
#include "framework/Menu.h"
#include "resources/resource.h"
#include "stats/Formatting.h"
#include "stats/ItemColumns.h"

namespace {

const UINT kRefreshPeriodMs = 500;

// Row images.
const int kImageIdle = 0;
const int kImageRunning = 1;

// The running state's text, loaded once per process (empty without the module).
const CString& RunningText() {
  static CString s_strRunning;
  static bool s_bLoaded = false;
  if (!s_bLoaded) {
    s_bLoaded = true;
    s_strRunning.LoadString(IDS_STATE_RUNNING);
  }
  return s_strRunning;
}

CString StateText(const ItemData& item) { return item.m_bActive ? RunningText() : CString(); }

// Running streams sort before idle devices.
int ByState(const ItemData& a, const ItemData& b, bool bAscending) {
  return CompareLong(a.m_bActive ? 0 : 1, b.m_bActive ? 0 : 1, bAscending);
}

using namespace item_columns;

// The device page's columns; ties fall back to device order, ascending whatever
// the direction.
const ListColumn kColumnTable[] = {
    {IDS_COL_DEVICE, 75, LVCFMT_LEFT, DeviceText, ByDevice, nullptr, nullptr},
    {IDS_COL_STATE, 70, LVCFMT_LEFT, StateText, ByState, DeviceOrder, nullptr},
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

// The list fills the page; the check box stays in the bottom-left corner.
const ControlAnchor kAnchors[] = {
    {IDC_DEVICE_LIST, ANCHOR_ALL},
    {IDC_DETAILS, ANCHOR_LEFT | ANCHOR_BOTTOM},
};

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
  m_anchors.Capture(m_hWnd, kAnchors);
  m_nDpi = GetWindowDpi(m_hWnd);
  CreateImageLists();

  m_nDeviceCount = std::max(0, m_pDeviceAccess->GetDeviceCount());

  InsertColumns(m_listDevices, kColumnTable, kColumns, m_strTitles.data(), m_nDpi);

  m_rowTexts.assign(static_cast<size_t>(m_nDeviceCount), RowTexts());
  m_rowOfDevice.assign(static_cast<size_t>(m_nDeviceCount), -1);
  {
    // Under Wine an insert with redraw on costs milliseconds; off, microseconds.
    CRedrawOff redrawOff(m_listDevices);
    m_aItemData.resize(static_cast<size_t>(m_nDeviceCount));
    for (int n = 0; n < m_nDeviceCount; ++n) {
      ItemData& item = m_aItemData[static_cast<size_t>(n)];
      item.m_nDevice = n;
      InsertRow(n, kImageIdle, n, RowTextsOf(item));
    }
  }

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
  large.Create(ScaleToDpi(32, m_nDpi), ScaleToDpi(32, m_nDpi), ILC_COLOR32 | ILC_MASK, 2, 1);
  small.Create(ScaleToDpi(16, m_nDpi), ScaleToDpi(16, m_nDpi), ILC_COLOR32 | ILC_MASK, 2, 1);
  for (CImageList* pImages : {&large, &small}) {
    pImages->AddResourceIcon(IDR_STREAM_IDLE);
    pImages->AddResourceIcon(IDR_STREAM_RUNNING);
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
  m_listDevices.SortItems(&CDevicePage::CompareItems, reinterpret_cast<DWORD_PTR>(&m_sort));
  // The sort moved the rows: FindRow's guesses are read back from the list.
  for (int row = 0; row < m_nDeviceCount; ++row) {
    const size_t device = static_cast<size_t>(m_listDevices.GetItemData(row));
    if (device < m_rowOfDevice.size()) m_rowOfDevice[device] = row;
  }
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

CDevicePage::RowTexts CDevicePage::RowTextsOf(const ItemData& item, bool bWithDevice) {
  RowTexts texts;
  if (bWithDevice) texts[0] = kColumnTable[0].pfnText(item);
  if (item.m_bActive) {
    for (int col = 1; col < kColumns; ++col) texts[static_cast<size_t>(col)] = kColumnTable[col].pfnText(item);
  }
  return texts;
}

void CDevicePage::InsertRow(int row, int image, int device, const RowTexts& texts) {
  const int inserted =
      m_listDevices.InsertItem(LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM, row, texts[0], 0, 0, image, device);
  if (inserted < 0) return;
  ++m_nCellUpdates;
  if (device >= 0 && static_cast<size_t>(device) < m_rowTexts.size()) {
    // A new row's subitems are empty: the cache starts from there.
    RowTexts& cache = m_rowTexts[static_cast<size_t>(device)];
    for (CString& text : cache) text.Empty();
    cache[0] = texts[0];
    m_rowOfDevice[static_cast<size_t>(device)] = inserted;
  }
  SetRowTexts(inserted, device, texts);
}

void CDevicePage::SetRowTexts(int row, int device, const RowTexts& texts) {
  for (int col = 1; col < kColumns; ++col) SetCellText(row, device, col, texts[static_cast<size_t>(col)]);
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
  CString strDevice;
  strDevice.Format(L"%ld", static_cast<long>(device));
  CString strCode;
  strCode.Format(L"%#8.8x", static_cast<unsigned int>(hr));
  AfxMessageBox(FormatResourceMessage(IDS_FAILED_QUERY_DRIVER, L"Error loading string IDS_FAILED_QUERY_DRIVER",
                                      strDevice, pszKind, strCode, GetSystemErrorText(hr)),
                MB_OK);
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

    if (item.m_bActive && bWasRunning) {
      SetRowTexts(row, i, RowTextsOf(item, false));
    } else if (item.m_bActive || bWasRunning) {
      m_listDevices.DeleteItem(row);
      InsertRow(row, item.m_bActive ? kImageRunning : kImageIdle, i, RowTextsOf(item));
    }
  }
  SortList();
  SetTimer(IDT_REFRESH, kRefreshPeriodMs);
}
