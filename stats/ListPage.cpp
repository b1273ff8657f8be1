#include "stats/ListPage.h"

#include <algorithm>

namespace {

// Header images.
const int kImageAscending = 0;
const int kImageDescending = 1;

// Room a header item needs beside its title: the item's padding and the sort
// arrow's image, so that a title is not cut when its column is the sorted one.
const int kHeaderTitleRoom = 32;

// Room a cell needs beside its text (the list view's left and right margins).
const int kCellTextRoom = 14;

}  // namespace

int CompareByColumn(const ListColumn* pColumns, int nColumns, const ItemData& a, const ItemData& b,
                    const SortState& sort) {
  if (sort.column < 0 || sort.column >= nColumns) return 0;
  const ListColumn& column = pColumns[sort.column];
  const int result = column.pfnCompare(a, b, sort.ascending);
  if (result != 0 || !column.pfnTieBreak) return result;
  return column.pfnTieBreak(a, b);
}

void InsertColumns(const CListCtrl& list, const ListColumn* pColumns, int nColumns, CString* pTitles) {
  for (int col = 0; col < nColumns; ++col) {
    const ListColumn& column = pColumns[col];
    pTitles[col].LoadString(column.nTitleId);
    // Another language or font may need more than the table's width.
    int width = std::max(column.nWidth, list.GetStringWidth(pTitles[col]) + kHeaderTitleRoom);
    if (column.pfnSample) width = std::max(width, list.GetStringWidth(column.pfnSample()) + kCellTextRoom);
    list.InsertColumn(col, pTitles[col], column.nFormat, width, col);
  }
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
