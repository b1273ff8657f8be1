#pragma once
// List-view and header controls: borrowed windows, one-line forwards to the
// LVM_/HDM_ messages. A list view destroys its image lists with itself unless it
// has LVS_SHAREIMAGELISTS; the pages own theirs and set that style.

#include <windows.h>
#include <commctrl.h>

#include "framework/String.h"
#include "framework/Window.h"

class CHeaderCtrl : public CWnd {
  DECLARE_DYNAMIC(CHeaderCtrl)
public:
  CHeaderCtrl() = default;
  explicit CHeaderCtrl(HWND hWnd) : CWnd(hWnd) {}

  int GetItemCount() const { return static_cast<int>(SendMessage(HDM_GETITEMCOUNT)); }
  BOOL GetItem(int nPos, HDITEMW* pItem) const { return static_cast<BOOL>(SendMessage(HDM_GETITEMW, static_cast<WPARAM>(nPos), reinterpret_cast<LPARAM>(pItem))); }
  BOOL SetItem(int nPos, HDITEMW* pItem) const { return static_cast<BOOL>(SendMessage(HDM_SETITEMW, static_cast<WPARAM>(nPos), reinterpret_cast<LPARAM>(pItem))); }
  // The header does not destroy its image list; returns the previous one.
  HIMAGELIST SetImageList(HIMAGELIST hImageList) const { return reinterpret_cast<HIMAGELIST>(SendMessage(HDM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(hImageList))); }
  HIMAGELIST GetImageList() const { return reinterpret_cast<HIMAGELIST>(SendMessage(HDM_GETIMAGELIST)); }
  // Pixels the header leaves on each side of an item's image (and of its text).
  int GetBitmapMargin() const { return static_cast<int>(SendMessage(HDM_GETBITMAPMARGIN)); }
};

class CListCtrl : public CWnd {
  DECLARE_DYNAMIC(CListCtrl)
public:
  CListCtrl() = default;
  explicit CListCtrl(HWND hWnd) : CWnd(hWnd) {}

  int GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }
  // Returns the new item's index, -1 on failure.
  int InsertItem(const LVITEMW* pItem) const { return static_cast<int>(SendMessage(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(pItem))); }
  int InsertItem(UINT nMask, int nItem, const wchar_t* pszItem, UINT nState, UINT nStateMask, int nImage, LPARAM lParam) const;
  int InsertItem(int nItem, const wchar_t* pszItem) const { return InsertItem(LVIF_TEXT, nItem, pszItem, 0, 0, 0, 0); }
  BOOL DeleteItem(int nItem) const { return static_cast<BOOL>(SendMessage(LVM_DELETEITEM, static_cast<WPARAM>(nItem))); }
  BOOL DeleteAllItems() const { return static_cast<BOOL>(SendMessage(LVM_DELETEALLITEMS)); }
  BOOL GetItem(LVITEMW* pItem) const { return static_cast<BOOL>(SendMessage(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(pItem))); }
  BOOL SetItem(const LVITEMW* pItem) const { return static_cast<BOOL>(SendMessage(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(pItem))); }
  BOOL SetItemText(int nItem, int nSubItem, const wchar_t* pszText) const;
  CString GetItemText(int nItem, int nSubItem) const;
  DWORD_PTR GetItemData(int nItem) const;
  BOOL SetItemData(int nItem, DWORD_PTR dwData) const;
  // nItem -1 sets the state of every item.
  BOOL SetItemState(int nItem, UINT nState, UINT nMask) const;
  // The first item after nItem (-1: from the start) that has the LVNI_ flags, or -1.
  int GetNextItem(int nItem, int nFlags) const { return static_cast<int>(SendMessage(LVM_GETNEXTITEM, static_cast<WPARAM>(nItem), MAKELPARAM(nFlags, 0))); }
  int GetImage(int nItem) const;  // -1 when there is no such item
  // LVM_FINDITEM from position nStart + 1 (-1: from the first); -1 when not found.
  int FindItem(const LVFINDINFOW* pFindInfo, int nStart = -1) const { return static_cast<int>(SendMessage(LVM_FINDITEMW, static_cast<WPARAM>(nStart), reinterpret_cast<LPARAM>(pFindInfo))); }

  int InsertColumn(int nCol, const wchar_t* pszHeading, int nFormat = LVCFMT_LEFT, int nWidth = -1, int nSubItem = -1) const;
  BOOL DeleteColumn(int nCol) const { return static_cast<BOOL>(SendMessage(LVM_DELETECOLUMN, static_cast<WPARAM>(nCol))); }
  int GetColumnWidth(int nCol) const { return static_cast<int>(SendMessage(LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(nCol))); }
  // Width in pixels of a text in the list's font (LVM_GETSTRINGWIDTH).
  int GetStringWidth(const wchar_t* pszText) const { return static_cast<int>(SendMessage(LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(pszText))); }
  BOOL SetColumnWidth(int nCol, int cx) const { return static_cast<BOOL>(SendMessage(LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(nCol), MAKELPARAM(cx, 0))); }

  // nImageList: LVSIL_NORMAL, LVSIL_SMALL or LVSIL_STATE. Returns the previous list.
  HIMAGELIST SetImageList(HIMAGELIST hImageList, int nImageList) const { return reinterpret_cast<HIMAGELIST>(SendMessage(LVM_SETIMAGELIST, static_cast<WPARAM>(nImageList), reinterpret_cast<LPARAM>(hImageList))); }
  HIMAGELIST GetImageList(int nImageList) const { return reinterpret_cast<HIMAGELIST>(SendMessage(LVM_GETIMAGELIST, static_cast<WPARAM>(nImageList))); }
  HWND GetHeaderCtrl() const { return reinterpret_cast<HWND>(SendMessage(LVM_GETHEADER)); }

  // Sorts with pfnCompare(item data a, item data b, dwData); synchronous.
  BOOL SortItems(PFNLVCOMPARE pfnCompare, DWORD_PTR dwData) const { return static_cast<BOOL>(SendMessage(LVM_SORTITEMS, static_cast<WPARAM>(dwData), reinterpret_cast<LPARAM>(pfnCompare))); }

  DWORD GetExtendedStyle() const { return static_cast<DWORD>(SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE)); }
  DWORD SetExtendedStyle(DWORD dwExStyle) const { return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(dwExStyle))); }
  BOOL GetItemRect(int nItem, RECT* pRect, UINT nCode) const;
  // The first row on screen, and how many rows fit it whole (report view: one page of rows).
  int GetTopIndex() const { return static_cast<int>(SendMessage(LVM_GETTOPINDEX)); }
  int GetCountPerPage() const { return static_cast<int>(SendMessage(LVM_GETCOUNTPERPAGE)); }
};
