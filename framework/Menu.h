#pragma once
// CMenu: owns one HMENU and destroys it. Move-only; a menu handed to a window
// (SetMenu) must be detached first, the window then destroys it with itself.

#include <windows.h>

class CMenu {
public:
  CMenu() = default;
  CMenu(const CMenu&) = delete;
  CMenu& operator=(const CMenu&) = delete;
  CMenu(CMenu&& other) noexcept : m_hMenu(other.Detach()) {}
  CMenu& operator=(CMenu&& other) noexcept;
  ~CMenu() { DestroyMenu(); }

  // Loads menu nIDResource from the current resource handle; FALSE when it has none.
  BOOL LoadMenu(UINT nIDResource);
  BOOL DestroyMenu();
  void Attach(HMENU hMenu);
  HMENU Detach();

  HMENU GetSafeHmenu() const { return m_hMenu; }
  operator HMENU() const { return m_hMenu; }
  int GetMenuItemCount() const { return ::GetMenuItemCount(m_hMenu); }
  UINT GetMenuItemID(int nPos) const { return ::GetMenuItemID(m_hMenu, nPos); }
  HMENU GetSubMenu(int nPos) const { return ::GetSubMenu(m_hMenu, nPos); }

private:
  HMENU m_hMenu = nullptr;
};

// Gives the menu to the window as its menu bar (the window then owns it) and
// destroys the menu bar it replaces, which nobody else holds. FALSE when
// SetMenu fails; the menu then stays with the caller.
BOOL AfxReplaceWindowMenu(HWND hWnd, CMenu& menu);
// Loads menu nIDResource and makes it the window's menu bar as above. A menu
// that cannot be loaded leaves the window without one. FALSE when either fails.
BOOL AfxLoadWindowMenu(HWND hWnd, UINT nIDResource);
