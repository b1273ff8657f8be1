#pragma once
// Pixel counts at the DPI of a window's monitor. The design's pixel sizes
// (column widths, icon sizes) are for 96 DPI; dialog units already follow the
// font. Windows 10's per-monitor calls are looked up at run time, so the
// program still starts on a system without them (the system DPI then).

#include <windows.h>

constexpr UINT kDesignDpi = 96;

// The DPI of the window's monitor (GetDpiForWindow), else the system's.
UINT GetWindowDpi(HWND hWnd);

// A 96-DPI pixel count at nDpi, rounded to the nearest pixel.
inline int ScaleToDpi(int nPixels96, UINT nDpi) {
  return ::MulDiv(nPixels96, static_cast<int>(nDpi), static_cast<int>(kDesignDpi));
}

// A system metric (SM_CXICON, SM_CXSMICON, ...) at nDpi (GetSystemMetricsForDpi,
// else the system value scaled from the system DPI).
int GetSystemMetricForDpi(int nIndex, UINT nDpi);
