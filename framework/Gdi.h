#pragma once
// Owners of GDI objects and memory device contexts, a selection that is undone
// on every path, and a window's paint cycle. The owners are CUniqueHandle's:
// move-only, Get, Attach, Detach.

#include <windows.h>

#include "support/UniqueHandle.h"

template <typename T>
struct CGdiObjectTraits {
  using Handle = T;
  static Handle Invalid() noexcept { return nullptr; }
  static bool IsValid(Handle handle) noexcept { return handle != nullptr; }
  static void Close(Handle handle) noexcept { ::DeleteObject(handle); }
};

// CreateCompatibleDC's context: deleted, never released.
struct CMemoryDCTraits {
  using Handle = HDC;
  static Handle Invalid() noexcept { return nullptr; }
  static bool IsValid(Handle handle) noexcept { return handle != nullptr; }
  static void Close(Handle handle) noexcept { ::DeleteDC(handle); }
};

using CPen = CUniqueHandle<CGdiObjectTraits<HPEN>>;
using CBrush = CUniqueHandle<CGdiObjectTraits<HBRUSH>>;
using CBitmap = CUniqueHandle<CGdiObjectTraits<HBITMAP>>;
using CMemoryDC = CUniqueHandle<CMemoryDCTraits>;

// An object selected into a device context for the life of the scope; the one
// it replaced goes back. A null object selects nothing.
class CSelection {
public:
  CSelection(HDC hdc, HGDIOBJ hObject) : m_hdc(hdc), m_hOld(hObject ? ::SelectObject(hdc, hObject) : nullptr) {}
  ~CSelection() {
    if (m_hOld) ::SelectObject(m_hdc, m_hOld);
  }
  CSelection(const CSelection&) = delete;
  CSelection& operator=(const CSelection&) = delete;

private:
  HDC m_hdc;
  HGDIOBJ m_hOld;
};

// BeginPaint and EndPaint around a WM_PAINT handler.
class CPaintScope {
public:
  explicit CPaintScope(HWND hWnd) : m_hWnd(hWnd), m_hdc(::BeginPaint(hWnd, &m_ps)) {}
  ~CPaintScope() { ::EndPaint(m_hWnd, &m_ps); }
  CPaintScope(const CPaintScope&) = delete;
  CPaintScope& operator=(const CPaintScope&) = delete;
  HDC Get() const { return m_hdc; }

private:
  HWND m_hWnd;
  PAINTSTRUCT m_ps = {};
  HDC m_hdc;
};
