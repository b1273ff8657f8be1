#include "stats/ListPage.h"

#include <algorithm>

#include "framework/Dpi.h"
#include "resources/resource.h"

namespace {

// Header images.
const int kImageAscending = 0;
const int kImageDescending = 1;

// Room a header item needs beside its title: the item's padding and the sort
// arrow's image, so that a title is not cut when its column is the sorted one
// (pixels at 96 DPI).
const int kHeaderTitleRoom = 32;

// Room a cell needs beside its text (the list view's left and right margins).
const int kCellTextRoom = 14;

// The sort marks' size at 96 DPI.
const int kSortMarkSize = 16;

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
  const int titleRoom = ScaleToDpi(kHeaderTitleRoom, nDpi);
  const int cellRoom = ScaleToDpi(kCellTextRoom, nDpi);
  for (int col = 0; col < nColumns; ++col) {
    const ListColumn& column = pColumns[col];
    pTitles[col].LoadString(column.nTitleId);
    // Another language or font may need more than the table's width.
    int width = std::max(ScaleToDpi(column.nWidth, nDpi), list.GetStringWidth(pTitles[col]) + titleRoom);
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
