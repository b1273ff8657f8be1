#include "framework/ListCtrl.h"

#include <vector>

IMPLEMENT_DYNAMIC(CHeaderCtrl, CWnd)
IMPLEMENT_DYNAMIC(CListCtrl, CWnd)

int CListCtrl::InsertItem(UINT nMask, int nItem, const wchar_t* pszItem, UINT nState, UINT nStateMask, int nImage,
                          LPARAM lParam) const {
  LVITEMW item = {};
  item.mask = nMask;
  item.iItem = nItem;
  item.pszText = const_cast<wchar_t*>(pszItem);
  item.state = nState;
  item.stateMask = nStateMask;
  item.iImage = nImage;
  item.lParam = lParam;
  return InsertItem(&item);
}

BOOL CListCtrl::SetItemText(int nItem, int nSubItem, const wchar_t* pszText) const {
  LVITEMW item = {};
  item.iSubItem = nSubItem;
  item.pszText = const_cast<wchar_t*>(pszText);
  return static_cast<BOOL>(SendMessage(LVM_SETITEMTEXTW, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(&item)));
}

CString CListCtrl::GetItemText(int nItem, int nSubItem) const {
  // LVM_GETITEMTEXT gives no length: grow the buffer until the text fits.
  for (int cch = 256;; cch *= 2) {
    std::vector<wchar_t> buf(static_cast<size_t>(cch), L'\0');
    LVITEMW item = {};
    item.iSubItem = nSubItem;
    item.pszText = buf.data();
    item.cchTextMax = cch;
    const int n = static_cast<int>(SendMessage(LVM_GETITEMTEXTW, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(&item)));
    if (n < cch - 1 || cch >= (1 << 20)) return CString(item.pszText ? item.pszText : L"");
  }
}

DWORD_PTR CListCtrl::GetItemData(int nItem) const {
  LVITEMW item = {};
  item.mask = LVIF_PARAM;
  item.iItem = nItem;
  return GetItem(&item) ? static_cast<DWORD_PTR>(item.lParam) : 0;
}

BOOL CListCtrl::SetItemData(int nItem, DWORD_PTR dwData) const {
  LVITEMW item = {};
  item.mask = LVIF_PARAM;
  item.iItem = nItem;
  item.lParam = static_cast<LPARAM>(dwData);
  return SetItem(&item);
}

BOOL CListCtrl::SetItemState(int nItem, UINT nState, UINT nMask) const {
  LVITEMW item = {};
  item.state = nState;
  item.stateMask = nMask;
  return static_cast<BOOL>(
      SendMessage(LVM_SETITEMSTATE, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(&item)));
}

int CListCtrl::GetImage(int nItem) const {
  LVITEMW item = {};
  item.mask = LVIF_IMAGE;
  item.iItem = nItem;
  return GetItem(&item) ? item.iImage : -1;
}

int CListCtrl::InsertColumn(int nCol, const wchar_t* pszHeading, int nFormat, int nWidth, int nSubItem) const {
  LVCOLUMNW col = {};
  col.mask = LVCF_TEXT | LVCF_FMT;
  col.fmt = nFormat;
  col.pszText = const_cast<wchar_t*>(pszHeading);
  if (nWidth != -1) {
    col.mask |= LVCF_WIDTH;
    col.cx = nWidth;
  }
  if (nSubItem != -1) {
    col.mask |= LVCF_SUBITEM;
    col.iSubItem = nSubItem;
  }
  return static_cast<int>(SendMessage(LVM_INSERTCOLUMNW, static_cast<WPARAM>(nCol), reinterpret_cast<LPARAM>(&col)));
}

BOOL CListCtrl::GetItemRect(int nItem, RECT* pRect, UINT nCode) const {
  pRect->left = static_cast<LONG>(nCode);
  return static_cast<BOOL>(SendMessage(LVM_GETITEMRECT, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(pRect)));
}
