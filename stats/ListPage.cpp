#include "stats/ListPage.h"

#include <algorithm>

#include "framework/Clipboard.h"
#include "framework/Dpi.h"
#include "framework/Gdi.h"
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

}  // namespace

int CompareByColumn(const ListColumn* pColumns, int nColumns, const ItemData& a, const ItemData& b,
                    const SortState& sort) {
  if (sort.column < 0 || sort.column >= nColumns) return 0;
  const ListColumn& column = pColumns[sort.column];
  const int result = column.pfnCompare(a, b, sort.ascending);
  if (result != 0 || !column.pfnTieBreak) return result;
  return column.pfnTieBreak(a, b);
}

void InsertColumns(const CListCtrl& list, const ListColumn* pColumns, int nColumns, CString* pTitles,
                   UINT nDpi) {
  const CHeaderCtrl header(list.GetHeaderCtrl());
  const CHeaderTextMeter meter(header);
  const int titleRoom = HeaderTitleRoom(header);
  const int cellRoom = ScaleToDpi(kCellTextRoom, nDpi);
  for (int col = 0; col < nColumns; ++col) {
    const ListColumn& column = pColumns[col];
    pTitles[col].LoadString(column.nTitleId);
    // Another language or font may need more than the table's width.
    int titleWidth = meter.Width(pTitles[col]);
    if (titleWidth <= 0) titleWidth = list.GetStringWidth(pTitles[col]);
    int width = std::max(ScaleToDpi(column.nWidth, nDpi), titleWidth + titleRoom);
    if (column.pfnSample) width = std::max(width, list.GetStringWidth(column.pfnSample()) + cellRoom);
    list.InsertColumn(col, pTitles[col], column.nFormat, width, col);
  }
}

void ScaleColumnWidths(const CListCtrl& list, int nColumns, UINT nFromDpi, UINT nToDpi) {
  if (nFromDpi == 0 || nFromDpi == nToDpi) return;
  for (int col = 0; col < nColumns; ++col) {
    const int width = list.GetColumnWidth(col);
    list.SetColumnWidth(col, ::MulDiv(width, static_cast<int>(nToDpi), static_cast<int>(nFromDpi)));
  }
}

CImageList CreateSortMarks(UINT nDpi) {
  CImageList images;
  const int size = ScaleToDpi(kSortMarkSize, nDpi);
  if (images.Create(size, size, ILC_COLOR32 | ILC_MASK, 3, 1)) {
    images.AddResourceIcon(IDR_SORT_ASCENDING);
    images.AddResourceIcon(IDR_SORT_DESCENDING);
    images.AddResourceIcon(IDR_SORT_NONE);
  }
  return images;
}

void SetSortColumn(const CListCtrl& list, SortState& sort, int column) {
  CHeaderCtrl header(list.GetHeaderCtrl());
  HDITEMW item = {};
  item.mask = HDI_FORMAT;
  item.fmt = HDF_STRING;
  header.SetItem(sort.column, &item);

  sort.ascending = (column == sort.column) ? !sort.ascending : true;
  sort.column = column;

  item.mask = HDI_FORMAT | HDI_IMAGE;
  item.fmt = HDF_STRING | HDF_IMAGE | HDF_BITMAP_ON_RIGHT;
  item.iImage = sort.ascending ? kImageAscending : kImageDescending;
  header.SetItem(column, &item);
}

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

BOOL CopySelectedRows(const CListCtrl& list) {
  const CString strText = SelectedRowsText(list);
  if (strText.IsEmpty()) return FALSE;
  const CClipboard clipboard(list);
  return clipboard.SetText(strText, static_cast<size_t>(strText.GetLength()));
}

void SelectAllRows(const CListCtrl& list) { list.SetItemState(-1, LVIS_SELECTED, LVIS_SELECTED); }

void SendListKeyCommand(HWND hPage, const NMHDR* pNotify) {
  // The key state is the one of the key message being handled. Ctrl with Alt is
  // AltGr on many keyboards: a character, not a command.
  if (!pNotify || ::GetKeyState(VK_CONTROL) >= 0 || ::GetKeyState(VK_MENU) < 0) return;
  UINT nCommand = 0;
  switch (reinterpret_cast<const NMLVKEYDOWN*>(pNotify)->wVKey) {
    case 'C':
      nCommand = ID_EDIT_COPY;
      break;
    case 'A':
      nCommand = ID_EDIT_SELECT_ALL;
      break;
    default:
      return;
  }
  ::SendMessageW(hPage, WM_COMMAND, MAKEWPARAM(nCommand, 0), 0);
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
