#include "framework/ImageList.h"

#include "framework/Resource.h"

CImageList& CImageList::operator=(CImageList&& other) noexcept {
  if (this != &other) Attach(other.Detach());
  return *this;
}

BOOL CImageList::Create(int cx, int cy, UINT nFlags, int nInitial, int nGrow) {
  DeleteImageList();
  m_hImageList = ImageList_Create(cx, cy, nFlags, nInitial, nGrow);
  return m_hImageList ? TRUE : FALSE;
}

BOOL CImageList::DeleteImageList() {
  if (!m_hImageList) return FALSE;
  const BOOL ok = ImageList_Destroy(m_hImageList);
  m_hImageList = nullptr;
  return ok;
}

void CImageList::Attach(HIMAGELIST hImageList) {
  if (m_hImageList && m_hImageList != hImageList) ImageList_Destroy(m_hImageList);
  m_hImageList = hImageList;
}

HIMAGELIST CImageList::Detach() {
  HIMAGELIST h = m_hImageList;
  m_hImageList = nullptr;
  return h;
}

int CImageList::AddResourceIcon(UINT nIDIcon) {
  if (!m_hImageList) return -1;
  int cx = 0, cy = 0;
  ImageList_GetIconSize(m_hImageList, &cx, &cy);
  const LPCWSTR pszName = MAKEINTRESOURCEW(nIDIcon);
  HINSTANCE hInst = AfxFindResourceHandle(pszName, reinterpret_cast<LPCWSTR>(RT_GROUP_ICON));
  HICON hIcon = static_cast<HICON>(::LoadImageW(hInst, pszName, IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR));
  if (!hIcon) return -1;
  const int index = ImageList_AddIcon(m_hImageList, hIcon);
  ::DestroyIcon(hIcon);
  return index;
}
