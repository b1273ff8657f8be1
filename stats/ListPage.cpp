#include "stats/ListPage.h"

#include <windowsx.h>

#include <algorithm>
#include <unordered_set>

#include "framework/Clipboard.h"
#include "framework/Dpi.h"
#include "framework/Gdi.h"
#include "framework/Menu.h"
#include "framework/Time.h"
#include "resources/resource.h"

namespace {

// Header images.
const int kImageAscending = 0;
const int kImageDescending = 1;

// Room a cell needs beside its text (the list view's left and right margins,
// pixels at 96 DPI).
const int kCellTextRoom = 14;

// The sort marks' size at 96 DPI.
const int kSortMarkSize = 16;

// Texts measured as the header draws them: in its font, on its device context,
// which is held for the life of the object.
class CHeaderTextMeter {
public:
  explicit CHeaderTextMeter(HWND hHeader)
      : m_hHeader(hHeader),
        m_hdc(::GetDC(hHeader)),
        m_font(m_hdc, reinterpret_cast<HFONT>(::SendMessageW(hHeader, WM_GETFONT, 0, 0))) {}
  ~CHeaderTextMeter() {
    if (m_hdc) ::ReleaseDC(m_hHeader, m_hdc);
  }
  CHeaderTextMeter(const CHeaderTextMeter&) = delete;
  CHeaderTextMeter& operator=(const CHeaderTextMeter&) = delete;

  // 0 when the text cannot be measured.
  int Width(const CString& strText) const {
    SIZE size = {};
    if (!m_hdc || !::GetTextExtentPoint32W(m_hdc, strText, strText.GetLength(), &size)) return 0;
    return size.cx;
  }

private:
  HWND m_hHeader;
  HDC m_hdc;
  CSelection m_font;  // undone before the context is released
};

// Room a header item needs beside its title so that the title stays whole with
// the sort mark on it: the header's margin on both sides of the title and of the
// image, the image, and the item's edge. Any column can become the sorted one.
int HeaderTitleRoom(const CHeaderCtrl& header) {
  int cxImage = 0;
  int cyImage = 0;
  const HIMAGELIST hImages = header.GetImageList();
  if (!hImages || !ImageList_GetIconSize(hImages, &cxImage, &cyImage)) cxImage = 0;
  return 4 * std::max(header.GetBitmapMargin(), 0) + cxImage + 2 * ::GetSystemMetrics(SM_CXEDGE);
}


// The selected rows as text: a line of the column titles, then one line per
// selected row in the list's order, the cells as the list shows them (read back
// through the list, so that texts given on demand are asked for) separated by
// tabs; every line ends with CR LF. Empty when no row is selected.
CString SelectedRowsText(const CListCtrl& list) {
  CString strText;
  int row = list.GetNextItem(-1, LVNI_SELECTED);
  if (row < 0) return strText;

  const CHeaderCtrl header(list.GetHeaderCtrl());
  const int nColumns = header.GetItemCount();
  for (int col = 0; col < nColumns; ++col) {
    wchar_t title[256] = {};
    HDITEMW item = {};
    item.mask = HDI_TEXT;
    item.pszText = title;
    item.cchTextMax = static_cast<int>(sizeof(title) / sizeof(title[0]));
    header.GetItem(col, &item);
    if (col > 0) strText += L'\t';
    strText += title;
  }
  strText += L"\r\n";

  for (; row >= 0; row = list.GetNextItem(row, LVNI_SELECTED)) {
    for (int col = 0; col < nColumns; ++col) {
      if (col > 0) strText += L'\t';
      strText += list.GetItemText(row, col);
    }
    strText += L"\r\n";
  }
  return strText;
}

// The local day of now, to know when texts of "today" change their form.
int LocalDay() {
  const CTime now = CTime::GetCurrentTime();
  return now.GetYear() * 400 + now.GetMonth() * 32 + now.GetDay();
}

void ToLower(std::wstring& strText) {
  if (!strText.empty()) ::CharLowerBuffW(&strText[0], static_cast<DWORD>(strText.size()));
}

}  // namespace

int CompareByColumn(const ListColumn* pColumns, int nColumns, const ItemData& a, const ItemData& b,
                    const SortState& sort) {
  if (sort.column < 0 || sort.column >= nColumns) return 0;
  const ListColumn& column = pColumns[sort.column];
  const int result = column.pfnCompare(a, b, sort.ascending);
  if (result != 0 || !column.pfnTieBreak) return result;
  return column.pfnTieBreak(a, b);
}

void CRedrawOff::Off() {
  if (m_bOn) {
    m_list.SetRedraw(FALSE);
    m_bOn = false;
  }
}

void CRedrawOff::On() {
  if (!m_bOn) {
    m_list.SetRedraw(TRUE);
    m_list.Invalidate(FALSE);
    m_bOn = true;
  }
}

// ---- the page ---------------------------------------------------------------------

IMPLEMENT_DYNAMIC(CListPage, CPropertyPage)

// The list's notifications are taken from any control id and checked against the
// page's list: the base knows its list's id only at run time.
BEGIN_MESSAGE_MAP(CListPage, CPropertyPage)
  ON_WM_TIMER()
  ON_NOTIFY_RANGE(LVN_COLUMNCLICK, 0, 0xFFFF, OnColumnClick)
  ON_NOTIFY_RANGE(LVN_GETDISPINFOW, 0, 0xFFFF, OnGetDispInfo)
  ON_NOTIFY_RANGE(LVN_KEYDOWN, 0, 0xFFFF, OnListKeyDown)
  ON_NOTIFY_RANGE(LVN_DELETEALLITEMS, 0, 0xFFFF, OnDeleteAllItems)
  ON_NOTIFY_RANGE(LVN_INSERTITEM, 0, 0xFFFF, OnRowsChangedOutside)
  ON_NOTIFY_RANGE(LVN_DELETEITEM, 0, 0xFFFF, OnRowsChangedOutside)
  ON_COMMAND(ID_EDIT_COPY, OnEditCopy)
  ON_COMMAND(ID_EDIT_SELECT_ALL, OnEditSelectAll)
  ON_COMMAND(ID_EDIT_FIND, OnEditFind)
  ON_COMMAND_RANGE(ID_SORT_BY_FIRST, ID_SORT_BY_LAST, OnSortBy)
  ON_EN_CHANGE(IDC_LIST_FILTER, OnFilterChange)
  ON_MESSAGE(WM_CONTEXTMENU, OnContextMenu)
  ON_MESSAGE(WM_DPICHANGED, OnDpiChanged)
END_MESSAGE_MAP()

CListPage::CListPage(UINT nIDTemplate, const ListDesign& design)
    : CPropertyPage(nIDTemplate),
      // Marked by InitList: a first choice of the first column makes it ascending.
      m_sort{false, design.nFirstSortColumn},
      m_design(design),
      m_pSortMarks(std::make_unique<CImageList>()),
      m_strTitles(static_cast<size_t>(std::max(design.nColumns, 0))) {}

CListPage::~CListPage() = default;

bool CListPage::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (message == WM_NOTIFY && m_nOwnRowChanges > 0 && lParam) {
    const NMHDR* pHdr = reinterpret_cast<const NMHDR*>(lParam);
    if (pHdr->hwndFrom == m_list.m_hWnd && (pHdr->code == LVN_INSERTITEM || pHdr->code == LVN_DELETEITEM)) {
      *pResult = 0;
      return true;
    }
  }
  return CPropertyPage::OnWndMsg(message, wParam, lParam, pResult);
}

void CListPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, static_cast<int>(m_design.nListId), m_list);
}

void CListPage::InitList() {
  // The page owns the image lists: the list must not destroy them with itself.
  m_list.ModifyStyle(0, LVS_SHAREIMAGELISTS);
  m_nDpi = GetWindowDpi(m_hWnd);
  CreateRowImages();
  SetSortMarks();

  const CHeaderCtrl header(m_list.GetHeaderCtrl());
  const CHeaderTextMeter meter(header);
  const int titleRoom = HeaderTitleRoom(header);
  const int cellRoom = ScaleToDpi(kCellTextRoom, m_nDpi);
  for (int col = 0; col < m_design.nColumns; ++col) {
    const ListColumn& column = m_design.pColumns[col];
    CString& strTitle = m_strTitles[static_cast<size_t>(col)];
    strTitle.LoadString(column.nTitleId);
    // Another language or font may need more than the table's width.
    int titleWidth = meter.Width(strTitle);
    if (titleWidth <= 0) titleWidth = m_list.GetStringWidth(strTitle);
    int width = std::max(ScaleToDpi(column.nWidth, m_nDpi), titleWidth + titleRoom);
    if (column.pfnSample) width = std::max(width, m_list.GetStringWidth(column.pfnSample()) + cellRoom);
    m_list.InsertColumn(col, strTitle, column.nFormat, width, col);
  }

  CString strCue;
  if (!strCue.LoadString(IDS_FILTER_CUE)) strCue = L"Filter";
  ::SendDlgItemMessageW(m_hWnd, IDC_LIST_FILTER, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(strCue.GetString()));

  SetSortColumn(m_design.nFirstSortColumn);
}

void CListPage::SetSortMarks() {
  // The header gets the new marks before the old ones are destroyed: image 0
  // ascending, 1 descending, 2 none.
  CImageList marks;
  const int size = ScaleToDpi(kSortMarkSize, m_nDpi);
  if (marks.Create(size, size, ILC_COLOR32 | ILC_MASK, 3, 1)) {
    marks.AddResourceIcon(IDR_SORT_ASCENDING);
    marks.AddResourceIcon(IDR_SORT_DESCENDING);
    marks.AddResourceIcon(IDR_SORT_NONE);
  }
  CHeaderCtrl(m_list.GetHeaderCtrl()).SetImageList(marks);
  *m_pSortMarks = std::move(marks);
}

LRESULT CListPage::OnDpiChanged(WPARAM wParam, LPARAM) {
  const UINT nDpi = LOWORD(wParam);
  if (m_nDpi != 0 && nDpi != m_nDpi) {
    // A width the user chose keeps its share.
    for (int col = 0; col < m_design.nColumns; ++col) {
      const int width = m_list.GetColumnWidth(col);
      m_list.SetColumnWidth(col, ::MulDiv(width, static_cast<int>(nDpi), static_cast<int>(m_nDpi)));
    }
  }
  m_nDpi = nDpi;
  CreateRowImages();
  SetSortMarks();
  return 0;
}

void CListPage::CreateRowImages() {}
void CListPage::OnShownRowsChanged() {}

void CListPage::SetSortColumn(int column) {
  CHeaderCtrl header(m_list.GetHeaderCtrl());
  HDITEMW item = {};
  // Each header change is a repaint request to the window server: the mark is
  // taken off only when it moves.
  if (column != m_sort.column) {
    item.mask = HDI_FORMAT;
    item.fmt = HDF_STRING;
    header.SetItem(m_sort.column, &item);
  }

  m_sort.ascending = (column == m_sort.column) ? !m_sort.ascending : true;
  m_sort.column = column;

  item.mask = HDI_FORMAT | HDI_IMAGE;
  item.fmt = HDF_STRING | HDF_IMAGE | HDF_BITMAP_ON_RIGHT;
  item.iImage = m_sort.ascending ? kImageAscending : kImageDescending;
  header.SetItem(column, &item);
}

void CListPage::OnTimer(UINT_PTR nIDEvent) {
  if (nIDEvent == IDT_REFRESH) {
    // Stopped while it runs: a message box's loop must not start a second refresh.
    KillTimer(IDT_REFRESH);
    if (Refresh()) StartRefreshTimer();
  }
  CPropertyPage::OnTimer(nIDEvent);
}

// ---- rows -------------------------------------------------------------------------

const std::vector<LPARAM>& CListPage::ShownRows() {
  if (m_bRowKeysStale) {
    // Reading 2000 rows costs more under Wine than the sort that moved them:
    // done only when the rows' places are needed.
    const int count = std::max(m_list.GetItemCount(), 0);
    m_rowKeys.resize(static_cast<size_t>(count));
    for (int row = 0; row < count; ++row) {
      m_rowKeys[static_cast<size_t>(row)] = static_cast<LPARAM>(m_list.GetItemData(row));
    }
    m_bRowKeysStale = false;
  }
  return m_rowKeys;
}

int CListPage::FindRow(LPARAM key) {
  const std::vector<LPARAM>& rows = ShownRows();
  const auto found = std::find(rows.begin(), rows.end(), key);
  return found == rows.end() ? -1 : static_cast<int>(found - rows.begin());
}

int CListPage::FindInsertPosition(LPARAM key) {
  const std::vector<LPARAM>& rows = ShownRows();
  // The rows are in sort order: the first row that sorts after the key is found
  // by halving, as a walk from the top would find it.
  const PFNLVCOMPARE pfnCompare = m_design.pfnCompare;
  const LPARAM sort = reinterpret_cast<LPARAM>(&m_sort);
  const auto after = std::upper_bound(rows.begin(), rows.end(), key,
                                      [&](LPARAM a, LPARAM row) { return pfnCompare(a, row, sort) < 0; });
  return static_cast<int>(after - rows.begin());
}

int CListPage::InsertAt(int row, LPARAM key, UINT nState) {
  const UINT mask = LVIF_TEXT | LVIF_PARAM | (m_design.bRowImages ? LVIF_IMAGE : 0) | (nState ? LVIF_STATE : 0);
  ++m_nOwnRowChanges;
  const int inserted = m_list.InsertItem(mask, row, LPSTR_TEXTCALLBACKW, nState, nState,
                                         m_design.bRowImages ? I_IMAGECALLBACK : 0, key);
  --m_nOwnRowChanges;
  if (inserted < 0) return -1;
  if (inserted == row && static_cast<size_t>(row) <= m_rowKeys.size()) {
    m_rowKeys.insert(m_rowKeys.begin() + row, key);
  } else {
    m_bRowKeysStale = true;
  }
  return inserted;
}

int CListPage::ShowRow(LPARAM key) {
  if (!PassesFilter(key)) return -1;
  return InsertAt(FindInsertPosition(key), key, 0);
}

void CListPage::DeleteAt(int row) {
  ++m_nOwnRowChanges;
  const BOOL bDeleted = m_list.DeleteItem(row);
  --m_nOwnRowChanges;
  if (bDeleted && !m_bRowKeysStale && static_cast<size_t>(row) < m_rowKeys.size()) {
    m_rowKeys.erase(m_rowKeys.begin() + row);
  } else {
    m_bRowKeysStale = true;
  }
}

void CListPage::HideRow(LPARAM key) {
  m_filterTexts.erase(key);
  const int row = FindRow(key);
  if (row >= 0) DeleteAt(row);
}

void CListPage::DeleteAll() {
  ++m_nOwnRowChanges;
  m_list.DeleteAllItems();
  --m_nOwnRowChanges;
  m_rowKeys.clear();
  m_bRowKeysStale = false;
}

void CListPage::HideAllRows() {
  DeleteAll();
  m_filterTexts.clear();
}

void CListPage::RowTextsChanged(LPARAM key) {
  m_filterTexts.erase(key);
  if (m_strNeedle.empty()) return;
  const bool bPasses = PassesFilter(key);
  const int row = FindRow(key);
  if (bPasses && row < 0) {
    InsertAt(FindInsertPosition(key), key, 0);
  } else if (!bPasses && row >= 0) {
    DeleteAt(row);
  }
}

bool CListPage::SortRows() {
  // Rows already in order are what the list's sort would leave; it would only
  // repaint them all. Rows the list moved are not read back for this: that costs
  // more than the sort.
  bool bSorted = !m_bRowKeysStale;
  const LPARAM sort = reinterpret_cast<LPARAM>(&m_sort);
  for (size_t row = 1; row < m_rowKeys.size() && bSorted; ++row) {
    bSorted = m_design.pfnCompare(m_rowKeys[row - 1], m_rowKeys[row], sort) <= 0;
  }
  if (bSorted) return false;
  m_list.SortItems(m_design.pfnCompare, reinterpret_cast<DWORD_PTR>(&m_sort));
  m_bRowKeysStale = true;
  return true;
}

// ---- display ----------------------------------------------------------------------

CString CListPage::CellText(LPARAM key, int column) const {
  const ItemData* pItem = RowItem(key);
  if (!pItem || column < 0 || column >= m_design.nColumns) return CString();
  return m_design.pColumns[column].pfnText(*pItem);
}

int CListPage::RowImage(LPARAM) const { return 0; }

void CListPage::OnGetDispInfo(UINT nID, NMHDR* pNotify, LRESULT* pResult) {
  *pResult = 0;
  if (nID != m_design.nListId) return;
  LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(pNotify)->item;
  // The list hands over the row's item data, its key, with the request.
  if ((item.mask & LVIF_IMAGE) && m_design.bRowImages) item.iImage = RowImage(item.lParam);
  if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0) return;
  m_strDispText = CellText(item.lParam, item.iSubItem);
  ::lstrcpynW(item.pszText, m_strDispText, item.cchTextMax);
}

void CListPage::OnColumnClick(UINT nID, NMHDR* pNotify, LRESULT* pResult) {
  *pResult = 0;
  if (nID != m_design.nListId) return;
  SetSortColumn(reinterpret_cast<const NMLISTVIEW*>(pNotify)->iSubItem);
  SortRows();
}

void CListPage::OnSortBy(UINT nID) {
  const int column = static_cast<int>(nID - ID_SORT_BY_FIRST);
  if (column < 0 || column >= m_design.nColumns) return;
  SetSortColumn(column);
  SortRows();
}

void CListPage::CheckSortItem(HMENU hMenu) const {
  if (m_sort.column < 0 || m_sort.column >= m_design.nColumns) return;
  const UINT nLast = ID_SORT_BY_FIRST + static_cast<UINT>(m_design.nColumns) - 1;
  ::CheckMenuRadioItem(hMenu, ID_SORT_BY_FIRST, nLast, ID_SORT_BY_FIRST + static_cast<UINT>(m_sort.column),
                       MF_BYCOMMAND);
}

void CListPage::OnInitMenuPopup(HMENU hPopup) {
  if (::GetMenuState(hPopup, ID_SORT_BY_FIRST, MF_BYCOMMAND) != static_cast<UINT>(-1)) CheckSortItem(hPopup);
}

// ---- Edit commands and keys -------------------------------------------------------

void CListPage::OnEditCopy() {
  const CString strText = SelectedRowsText(m_list);
  if (strText.IsEmpty()) return;
  const CClipboard clipboard(m_list);
  clipboard.SetText(strText, static_cast<size_t>(strText.GetLength()));
}

void CListPage::OnEditSelectAll() { m_list.SetItemState(-1, LVIS_SELECTED, LVIS_SELECTED); }

void CListPage::OnEditFind() { FocusFilter(); }

void CListPage::FocusFilter() {
  const HWND hFilter = GetDlgItem(IDC_LIST_FILTER);
  if (!hFilter) return;
  // Through the dialog manager, which selects the edit's text and keeps the
  // default button right.
  ::SendMessageW(GetParentHwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(hFilter), TRUE);
}

void CListPage::OnListKeyDown(UINT nID, NMHDR* pNotify, LRESULT* pResult) {
  *pResult = 0;
  // The key state is the one of the key message being handled. Ctrl with Alt is
  // AltGr on many keyboards: a character, not a command.
  if (nID != m_design.nListId || ::GetKeyState(VK_CONTROL) >= 0 || ::GetKeyState(VK_MENU) < 0) return;
  switch (reinterpret_cast<const NMLVKEYDOWN*>(pNotify)->wVKey) {
    case 'C':
      OnEditCopy();
      break;
    case 'A':
      OnEditSelectAll();
      break;
    default:
      break;
  }
}

void CListPage::OnDeleteAllItems(UINT nID, NMHDR*, LRESULT* pResult) {
  // TRUE: no LVN_DELETEITEM for each row; nothing is kept per row.
  *pResult = nID == m_design.nListId ? TRUE : FALSE;
  if (nID == m_design.nListId && m_nOwnRowChanges == 0) m_bRowKeysStale = true;
}

void CListPage::OnRowsChangedOutside(UINT nID, NMHDR*, LRESULT* pResult) {
  *pResult = 0;
  if (nID == m_design.nListId && m_nOwnRowChanges == 0) m_bRowKeysStale = true;
}

BOOL CListPage::PreTranslateMessage(MSG* pMsg) {
  if (!m_hWnd || (pMsg->hwnd != m_hWnd && !::IsChild(m_hWnd, pMsg->hwnd))) return FALSE;
  const bool bKeyUp = pMsg->message == WM_KEYUP || pMsg->message == WM_SYSKEYUP;
  if (!bKeyUp && pMsg->message != WM_KEYDOWN && pMsg->message != WM_SYSKEYDOWN) return FALSE;
  const bool bCtrl = ::GetKeyState(VK_CONTROL) < 0;
  const bool bAlt = ::GetKeyState(VK_MENU) < 0;
  const bool bShift = ::GetKeyState(VK_SHIFT) < 0;
  const WPARAM key = pMsg->wParam;
  const HWND hFilter = GetDlgItem(IDC_LIST_FILTER);
  if (pMsg->message == WM_KEYDOWN && bCtrl && !bAlt && (key == 'F' || key == 'E')) {
    FocusFilter();
    return TRUE;
  }
  // Esc empties the filter; an empty one leaves Esc to the sheet.
  if (pMsg->message == WM_KEYDOWN && key == VK_ESCAPE && pMsg->hwnd == hFilter && !m_strFilter.IsEmpty()) {
    ::SetWindowTextW(hFilter, L"");
    return TRUE;
  }
  // Down from the filter goes on to the rows it let through.
  if (pMsg->message == WM_KEYDOWN && key == VK_DOWN && pMsg->hwnd == hFilter && m_list.GetItemCount() > 0) {
    if (m_list.GetNextItem(-1, LVNI_FOCUSED) < 0) m_list.SetItemState(0, LVIS_FOCUSED, LVIS_FOCUSED);
    ::SendMessageW(GetParentHwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_list.m_hWnd), TRUE);
    return TRUE;
  }
  const bool bInList = pMsg->hwnd == m_list.m_hWnd || ::IsChild(m_list, pMsg->hwnd);
  if (bInList && !bCtrl && ((key == VK_F10 && bShift) || (key == VK_APPS && !bShift))) {
    // The key's release is taken too: the default handling of either press or
    // release would open the menu a second time.
    if (!bKeyUp) ShowContextMenu(POINT{-1, -1}, true);
    return TRUE;
  }
  return FALSE;
}

// ---- context menu -----------------------------------------------------------------

LRESULT CListPage::OnContextMenu(WPARAM wParam, LPARAM lParam) {
  const HWND hFrom = reinterpret_cast<HWND>(wParam);
  if (hFrom != m_list.m_hWnd) return Default();
  const POINT pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  // (-1, -1) is the keyboard's.
  ShowContextMenu(pt, pt.x == -1 && pt.y == -1);
  return 0;
}

void CListPage::ShowContextMenu(POINT ptScreen, bool bFromKeyboard) {
  CMenu menu;
  if (!menu.LoadMenu(m_design.nContextMenu)) return;
  const HMENU hPopup = menu.GetSubMenu(0);
  if (!hPopup) return;
  if (bFromKeyboard) {
    // Under the focused row, or the list's corner.
    const int row = m_list.GetNextItem(-1, LVNI_FOCUSED);
    RECT rc = {};
    if (row < 0 || !m_list.GetItemRect(row, &rc, LVIR_LABEL)) ::SetRect(&rc, 0, 0, 0, 0);
    ptScreen = {rc.left, rc.bottom};
    ::ClientToScreen(m_list, &ptScreen);
  }
  // What this page does not handle is grayed, as on the menu bar; Copy needs a row.
  const int count = ::GetMenuItemCount(hPopup);
  for (int pos = 0; pos < count; ++pos) {
    const UINT nID = ::GetMenuItemID(hPopup, pos);
    if (nID == 0 || nID == static_cast<UINT>(-1)) continue;
    bool bEnabled = HasCommandHandler(nID);
    if (nID == ID_EDIT_COPY) bEnabled = bEnabled && m_list.GetNextItem(-1, LVNI_SELECTED) >= 0;
    ::EnableMenuItem(hPopup, static_cast<UINT>(pos), MF_BYPOSITION | (bEnabled ? MF_ENABLED : MF_GRAYED));
  }
  CheckSortItem(hPopup);
  const UINT nCommand = static_cast<UINT>(
      ::TrackPopupMenu(hPopup, TPM_RETURNCMD | TPM_RIGHTBUTTON, ptScreen.x, ptScreen.y, 0, m_hWnd, nullptr));
  if (nCommand != 0) SendMessage(WM_COMMAND, MAKEWPARAM(nCommand, 0), 0);
}

// ---- filter -----------------------------------------------------------------------

const std::wstring& CListPage::FilterTexts(LPARAM key) {
  const auto found = m_filterTexts.find(key);
  if (found != m_filterTexts.end()) return found->second;
  std::wstring strTexts;
  for (int col = 0; col < m_design.nColumns; ++col) {
    // A separator no one types, so that a match never spans two cells.
    if (col > 0) strTexts += L'\x1F';
    const CString strCell = CellText(key, col);
    strTexts.append(strCell.GetString(), static_cast<size_t>(strCell.GetLength()));
  }
  ToLower(strTexts);
  return m_filterTexts.emplace(key, std::move(strTexts)).first->second;
}

bool CListPage::PassesFilter(LPARAM key) {
  if (m_strNeedle.empty()) return true;
  return FilterTexts(key).find(m_strNeedle) != std::wstring::npos;
}

void CListPage::OnFilterChange() {
  CString strFilter;
  CWnd(GetDlgItem(IDC_LIST_FILTER)).GetWindowText(strFilter);
  if (strFilter == m_strFilter) return;
  const std::wstring strOld = m_strNeedle;
  m_strFilter = strFilter;
  m_strNeedle.assign(strFilter.GetString(), static_cast<size_t>(strFilter.GetLength()));
  ToLower(m_strNeedle);
  // Texts of today name no date; past midnight they do.
  const int day = LocalDay();
  if (day != m_nFilterTextsDay) {
    m_filterTexts.clear();
    m_nFilterTextsDay = day;
  }
  // A longer text that holds the old one lets through only rows shown now.
  ApplyFilter(!strOld.empty() && m_strNeedle.find(strOld) != std::wstring::npos);
  OnShownRowsChanged();
}

void CListPage::ApplyFilter(bool bNarrower) {
  const std::vector<LPARAM> shown = ShownRows();
  std::vector<char> keep(shown.size());
  size_t nGoing = 0;
  for (size_t i = 0; i < shown.size(); ++i) {
    keep[i] = PassesFilter(shown[i]) ? 1 : 0;
    if (!keep[i]) ++nGoing;
  }
  std::vector<LPARAM> coming;
  if (!bNarrower) {
    std::vector<LPARAM> all;
    GetAllRows(all);
    const std::unordered_set<LPARAM> shownSet(shown.begin(), shown.end());
    for (LPARAM key : all) {
      if (!shownSet.count(key) && PassesFilter(key)) coming.push_back(key);
    }
  }
  if (nGoing == 0 && coming.empty()) return;

  CRedrawOff redrawOff(m_list);
  const size_t nStaying = shown.size() - nGoing;
  // Rows one by one while they are few; the whole list again when that is cheaper.
  // Measured under Wine: a row deleted costs about three appended, a row inserted
  // between others about two, emptying the list about a hundred.
  if (3 * nGoing + 2 * coming.size() <= nStaying + coming.size() + 100) {
    for (size_t i = shown.size(); i-- > 0;) {
      if (!keep[i]) DeleteAt(static_cast<int>(i));
    }
    for (LPARAM key : coming) InsertAt(FindInsertPosition(key), key, 0);
    return;
  }

  // The rows that stay are in order; those that come are sorted and merged in,
  // each after the rows it sorts with.
  const PFNLVCOMPARE pfnCompare = m_design.pfnCompare;
  const LPARAM sort = reinterpret_cast<LPARAM>(&m_sort);
  const auto less = [&](LPARAM a, LPARAM b) { return pfnCompare(a, b, sort) < 0; };
  std::stable_sort(coming.begin(), coming.end(), less);
  std::vector<LPARAM> rows;
  rows.reserve(nStaying + coming.size());
  size_t next = 0;
  for (size_t i = 0; i < shown.size(); ++i) {
    if (!keep[i]) continue;
    while (next < coming.size() && less(coming[next], shown[i])) rows.push_back(coming[next++]);
    rows.push_back(shown[i]);
  }
  rows.insert(rows.end(), coming.begin() + static_cast<std::ptrdiff_t>(next), coming.end());

  // The selection and the focus go with their rows.
  std::unordered_set<LPARAM> selected;
  for (int row = m_list.GetNextItem(-1, LVNI_SELECTED); row >= 0; row = m_list.GetNextItem(row, LVNI_SELECTED)) {
    selected.insert(shown[static_cast<size_t>(row)]);
  }
  const int focusedRow = m_list.GetNextItem(-1, LVNI_FOCUSED);
  const LPARAM focused = focusedRow >= 0 ? shown[static_cast<size_t>(focusedRow)] : -1;
  const bool bHasFocused = focusedRow >= 0;

  DeleteAll();
  m_list.SendMessage(LVM_SETITEMCOUNT, rows.size(), 0);
  for (LPARAM key : rows) {
    UINT nState = selected.count(key) ? LVIS_SELECTED : 0;
    if (bHasFocused && key == focused) nState |= LVIS_FOCUSED;
    InsertAt(static_cast<int>(m_rowKeys.size()), key, nState);
  }
}
