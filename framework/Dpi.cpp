#include "framework/Dpi.h"

namespace {

typedef UINT(WINAPI* GetDpiForWindowFn)(HWND);
typedef int(WINAPI* GetSystemMetricsForDpiFn)(int, UINT);

// Looked up on each call (rare: window creation and DPI changes) rather than kept.
template <typename Fn>
Fn User32Entry(const char* pszName) {
  HMODULE hUser = ::GetModuleHandleW(L"user32.dll");
  return hUser ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(hUser, pszName))) : nullptr;
}

UINT SystemDpi() {
  HDC hdc = ::GetDC(nullptr);
  const int dpi = hdc ? ::GetDeviceCaps(hdc, LOGPIXELSX) : 0;
  if (hdc) ::ReleaseDC(nullptr, hdc);
  return dpi > 0 ? static_cast<UINT>(dpi) : kDesignDpi;
}

}  // namespace

UINT GetWindowDpi(HWND hWnd) {
  const GetDpiForWindowFn pfnGetDpiForWindow = User32Entry<GetDpiForWindowFn>("GetDpiForWindow");
  const UINT dpi = (pfnGetDpiForWindow && hWnd) ? pfnGetDpiForWindow(hWnd) : 0;
  return dpi ? dpi : SystemDpi();
}

int GetSystemMetricForDpi(int nIndex, UINT nDpi) {
  const GetSystemMetricsForDpiFn pfnForDpi = User32Entry<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
  if (pfnForDpi) return pfnForDpi(nIndex, nDpi);
  return ::MulDiv(::GetSystemMetrics(nIndex), static_cast<int>(nDpi), static_cast<int>(SystemDpi()));
}
