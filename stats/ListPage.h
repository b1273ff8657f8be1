#pragma once
// CListPage: a property page whose heart is one list of items, written once for
// the device page and the record log page. The base owns the list control, its
// column table, the sort order and the header's sort marks (at the window's DPI),
// the filter box above the list, the rows' context menu, the Edit and Sort by
// commands, the display texts given on demand, and the one-shot refresh timer.
// A page supplies what is its own: the item of a row, its rows, its refresh.
//
// A row's item data is its key (the page's name for the item: a device index,
// a record id). The base keeps the shown rows' keys in row order, so that
// placing and finding rows needs no list query per row; after the list's own
// sort moved the rows they are read back when next needed.

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "framework/ImageList.h"
#include "framework/ListCtrl.h"
#include "framework/PropertySheet.h"
#include "framework/String.h"
#include "stats/ItemData.h"
#include "stats/RefreshTimer.h"

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

class CListPage : public CPropertyPage {
  DECLARE_DYNAMIC(CListPage)
public:
  // What a page tells the base about its list; fixed for the page's life.
  struct ListDesign {
    UINT nListId;                // the list control of the page's template
    const ListColumn* pColumns;  // the columns, in order
    int nColumns;
    int nFirstSortColumn;        // the page opens sorted by it, ascending
    // The list's sort callback: item data a and b, the SortState's address.
    PFNLVCOMPARE pfnCompare;
    UINT nRefreshMs;             // period of the one-shot refresh timer
    UINT nContextMenu;           // menu resource whose first popup is the rows' context menu
    bool bRowImages;             // rows show an image from RowImage
  };

  ~CListPage() override;

  // Marks the header of `column` (the mark leaves the old column) and flips the
  // direction when it is the current column, else starts ascending. The rows
  // are not reordered.
  void SetSortColumn(int column);
  const SortState& GetSortState() const { return m_sort; }
  // The filter as typed; empty when every row shows.
  const CString& GetFilterText() const { return m_strFilter; }
  // Rows the list shows now.
  int GetShownCount() const { return m_list.GetItemCount(); }

  // Ctrl+F and Ctrl+E take the focus to the filter box, Esc there empties it and
  // Down goes on to the rows; Shift+F10 and the menu key open the rows' context menu.
  BOOL PreTranslateMessage(MSG* pMsg) override;
  // The Sort by items show the current column.
  void OnInitMenuPopup(HMENU hPopup) override;
  // The list's notifications of the page's own inserts and deletes are taken
  // before the message maps: a filter or a tick makes thousands of them.
  bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

protected:
  CListPage(UINT nIDTemplate, const ListDesign& design);

  // ---- what each page supplies ----
  // The item a row shows, or null when the key names none.
  virtual const ItemData* RowItem(LPARAM key) const = 0;
  // A cell's text: the column's text of the row's item (empty without one).
  virtual CString CellText(LPARAM key, int column) const;
  // A row's image (pages with bRowImages).
  virtual int RowImage(LPARAM key) const;
  // Every row the page has, shown or not, in any order.
  virtual void GetAllRows(std::vector<LPARAM>& keys) const = 0;
  // One refresh; false stops the timer for good.
  virtual bool Refresh() = 0;
  // After the filter changed which rows show.
  virtual void OnShownRowsChanged();
  // The page's row images at m_nDpi, given to the list. Called before the sort
  // marks go to the header: the list hands its small images to its header too.
  virtual void CreateRowImages();

  // ---- for the pages ----
  // From the page's OnInitDialog, after the base dialog's: sort marks, columns,
  // the filter's cue, the first sort column marked.
  void InitList();
  void StartRefreshTimer() { SetTimer(IDT_REFRESH, m_design.nRefreshMs); }
  // Shows the row of `key` after every row it sorts with or after, when it
  // passes the filter; its row, or -1 when it does not show.
  int ShowRow(LPARAM key);
  // The row of `key` goes, if it shows.
  void HideRow(LPARAM key);
  void HideAllRows();
  // The texts of `key` changed: its row comes or goes as the filter now says.
  void RowTextsChanged(LPARAM key);
  // Sorts the rows unless they are in order already (a sort repaints them all);
  // true when the list sorted them.
  bool SortRows();
  // The row of `key`, or -1.
  int FindRow(LPARAM key);
  // The shown rows' keys in row order.
  const std::vector<LPARAM>& ShownRows();
  // Whether the filter lets the row of `key` through.
  bool PassesFilter(LPARAM key);
  const ListDesign& Design() const { return m_design; }
  void DoDataExchange(CDataExchange* pDX) override;
  const CString& ColumnTitle(int column) const { return m_strTitles[static_cast<size_t>(column)]; }

  CListCtrl m_list;
  SortState m_sort;
  UINT m_nDpi = kDesignDpi;

  void OnTimer(UINT_PTR nIDEvent);
  void OnListNotify(UINT nID, NMHDR* pNotify, LRESULT* pResult);
  void OnColumnClick(UINT nID, NMHDR* pNotify, LRESULT* pResult);
  void OnGetDispInfo(UINT nID, NMHDR* pNotify, LRESULT* pResult);
  void OnListKeyDown(UINT nID, NMHDR* pNotify, LRESULT* pResult);
  void OnDeleteAllItems(UINT nID, NMHDR* pNotify, LRESULT* pResult);
  // A row inserted or deleted by someone else: the rows are read back when next needed.
  void OnRowsChangedOutside(UINT nID, NMHDR* pNotify, LRESULT* pResult);
  void OnEditCopy();
  void OnEditSelectAll();
  void OnEditFind();
  void OnSortBy(UINT nID);
  void OnFilterChange();
  LRESULT OnContextMenu(WPARAM wParam, LPARAM lParam);
  // Sent on by the sheet: column widths and sort marks follow the new DPI.
  LRESULT OnDpiChanged(WPARAM wParam, LPARAM lParam);

  DECLARE_MESSAGE_MAP()

private:
  // The row before which `key` sorts (after every row it sorts with or after).
  int FindInsertPosition(LPARAM key);
  int InsertAt(int row, LPARAM key, UINT nState);
  void DeleteAt(int row);
  void DeleteAll();
  // The shown rows made those the filter lets through, in the sort order.
  void ApplyFilter(bool bNarrower);
  // The lower-case texts of a row's cells, as the filter searches them.
  const std::wstring& FilterTexts(LPARAM key);
  void SetSortMarks();
  void CheckSortItem(HMENU hMenu) const;
  void ShowContextMenu(POINT ptScreen, bool bFromKeyboard);
  void FocusFilter();

  ListDesign m_design;
  std::unique_ptr<CImageList> m_pSortMarks;  // the header borrows them
  std::vector<CString> m_strTitles;
  std::vector<LPARAM> m_rowKeys;
  bool m_bRowKeysStale = false;  // the list's sort moved the rows since m_rowKeys was read
  int m_nOwnRowChanges = 0;      // inside the page's own insert or delete
  CString m_strFilter;
  std::wstring m_strNeedle;  // m_strFilter in lower case
  std::unordered_map<LPARAM, std::wstring> m_filterTexts;
  int m_nFilterTextsDay = -1;  // time stamps of today show without their date
  // A cell's text handed to the list (the list copies it before the next request).
  CString m_strDispText;
};
