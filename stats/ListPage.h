#pragma once
// What both list pages share: the refresh timer's id, the sort order and its
// header marks, the table that describes a page's columns once, redraw switched
// off for a bulk change of a list, and the Edit menu's copy of the rows.

#include <windows.h>
#include <commctrl.h>

#include <cstddef>

#include "framework/ImageList.h"
#include "framework/ListCtrl.h"
#include "framework/String.h"
#include "stats/ItemData.h"

// The timer id that every page uses on its own window.
constexpr UINT_PTR IDT_REFRESH = 2024;

// Sort order of a list page; its address is the list's sort callback value.
struct SortState {
  bool ascending;
  int column;
};

// One column of a list page's table: everything else on the page reads it.
struct ListColumn {
  UINT nTitleId;  // string resource of the header title
  int nWidth;     // pixels at 96 DPI; a minimum that grows to fit the title and nSample
  int nFormat;    // LVCFMT_LEFT or LVCFMT_CENTER
  // The cell's text for one item.
  CString (*pfnText)(const ItemData& item);
  // Three-way compare by this column in the given direction.
  int (*pfnCompare)(const ItemData& a, const ItemData& b, bool bAscending);
  // Breaks a tie of pfnCompare, always ascending; null when there is none.
  int (*pfnTieBreak)(const ItemData& a, const ItemData& b);
  // The widest text the column should show whole, or null.
  CString (*pfnSample)();
};

// Compares two items by the sort column of `columns`, then its tie-break. A column
// outside the table gives 0.
int CompareByColumn(const ListColumn* pColumns, int nColumns, const ItemData& a, const ItemData& b,
                    const SortState& sort);

// Loads each title into pTitles[col] and inserts the columns in table order, each
// at least as wide as its table width at nDpi, its title beside a sort mark, and
// its sample. The header's image list (the sort marks) must be set before: it is
// measured.
void InsertColumns(const CListCtrl& list, const ListColumn* pColumns, int nColumns, CString* pTitles,
                   UINT nDpi);

// After a DPI change: every column's width scaled from one DPI to the other, so
// that a width the user chose keeps its share.
void ScaleColumnWidths(const CListCtrl& list, int nColumns, UINT nFromDpi, UINT nToDpi);

// The header's sort marks at nDpi (16 pixels at 96 DPI): image 0 ascending, 1
// descending, 2 none.
CImageList CreateSortMarks(UINT nDpi);

// The header's sort marks (image 0 ascending, image 1 descending, on the right):
// the mark leaves the old column; choosing the same column again reverses the
// direction, a new column starts ascending; the mark goes on the new column.
// The rows are not reordered.
void SetSortColumn(const CListCtrl& list, SortState& sort, int column);

// The selected rows as text: a line of the column titles, then one line per
// selected row in the list's order, the cells as the list shows them (read back
// through the list, so that texts given on demand are asked for) separated by
// tabs; every line ends with CR LF. Empty when no row is selected.
CString SelectedRowsText(const CListCtrl& list);
// Puts SelectedRowsText on the clipboard as Unicode text. With no row selected
// nothing is copied and the clipboard is left as it is. FALSE when nothing was copied.
BOOL CopySelectedRows(const CListCtrl& list);
// Selects every row.
void SelectAllRows(const CListCtrl& list);
// A page's LVN_KEYDOWN from its list: Ctrl+C and Ctrl+A are sent to the page as
// the Edit menu's commands (ID_EDIT_COPY, ID_EDIT_SELECT_ALL); other keys are left
// to the list. comctl32 runs the sheet's modal loop without an accelerator table,
// and keys meant for the rows act where the rows have the focus.
void SendListKeyCommand(HWND hPage, const NMHDR* pNotify);

// Redraw of a list switched off for a bulk change and back on (with a repaint)
// when the change is done, or before a message box needs the list painted.
class CRedrawOff {
public:
  explicit CRedrawOff(const CListCtrl& list) : m_list(list) { Off(); }
  ~CRedrawOff() { On(); }
  CRedrawOff(const CRedrawOff&) = delete;
  CRedrawOff& operator=(const CRedrawOff&) = delete;
  void Off();
  void On();

private:
  const CListCtrl& m_list;
  bool m_bOn = true;
};
