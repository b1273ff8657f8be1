#include "framework/Menu.h"

#include "framework/Resource.h"

CMenu& CMenu::operator=(CMenu&& other) noexcept {
  if (this != &other) Attach(other.Detach());
  return *this;
}

BOOL CMenu::LoadMenu(UINT nIDResource) {
  DestroyMenu();
  const LPCWSTR pszName = MAKEINTRESOURCEW(nIDResource);
  m_hMenu = ::LoadMenuW(AfxFindResourceHandle(pszName, reinterpret_cast<LPCWSTR>(RT_MENU)), pszName);
  return m_hMenu ? TRUE : FALSE;
}

BOOL CMenu::DestroyMenu() {
  if (!m_hMenu) return FALSE;
  const BOOL ok = ::DestroyMenu(m_hMenu);
  m_hMenu = nullptr;
  return ok;
}

void CMenu::Attach(HMENU hMenu) {
  if (m_hMenu && m_hMenu != hMenu) ::DestroyMenu(m_hMenu);
  m_hMenu = hMenu;
}

HMENU CMenu::Detach() {
  HMENU h = m_hMenu;
  m_hMenu = nullptr;
  return h;
}

BOOL AfxReplaceWindowMenu(HWND hWnd, CMenu& menu) {
  HMENU hOld = ::GetMenu(hWnd);
  if (!::SetMenu(hWnd, menu.GetSafeHmenu())) return FALSE;
  HMENU hNew = menu.Detach();
  if (hOld && hOld != hNew) ::DestroyMenu(hOld);
  return TRUE;
}

BOOL AfxLoadWindowMenu(HWND hWnd, UINT nIDResource) {
  CMenu menu;
  const BOOL bLoaded = menu.LoadMenu(nIDResource);
  return AfxReplaceWindowMenu(hWnd, menu) && bLoaded;
}
