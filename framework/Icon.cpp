#include "framework/Icon.h"

CIcon& CIcon::operator=(CIcon&& other) noexcept {
  if (this != &other) Attach(other.Detach());
  return *this;
}

BOOL CIcon::Load(HMODULE hModule, UINT nIDIcon, int cx, int cy) {
  const HANDLE hImage = ::LoadImageW(hModule, MAKEINTRESOURCEW(nIDIcon), IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR);
  Attach(static_cast<HICON>(hImage));
  return m_hIcon ? TRUE : FALSE;
}

void CIcon::Destroy() {
  if (m_hIcon) ::DestroyIcon(m_hIcon);
  m_hIcon = nullptr;
}

void CIcon::Attach(HICON hIcon) {
  if (m_hIcon && m_hIcon != hIcon) ::DestroyIcon(m_hIcon);
  m_hIcon = hIcon;
}

HICON CIcon::Detach() {
  HICON h = m_hIcon;
  m_hIcon = nullptr;
  return h;
}
