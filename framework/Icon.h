#pragma once
// CIcon: owns one HICON and destroys it. Move-only; a window given the icon
// (WM_SETICON) only borrows it, so the owner must outlive the window's use.

#include <windows.h>

class CIcon {
public:
  CIcon() = default;
  CIcon(const CIcon&) = delete;
  CIcon& operator=(const CIcon&) = delete;
  CIcon(CIcon&& other) noexcept : m_hIcon(other.Detach()) {}
  CIcon& operator=(CIcon&& other) noexcept;
  ~CIcon() { Destroy(); }

  // Loads icon nIDIcon of hModule at cx x cy pixels (its closest image, scaled
  // when none has that size); FALSE when the module has no such icon.
  BOOL Load(HMODULE hModule, UINT nIDIcon, int cx, int cy);
  void Destroy();
  void Attach(HICON hIcon);
  HICON Detach();

  HICON Get() const { return m_hIcon; }

private:
  HICON m_hIcon = nullptr;
};
