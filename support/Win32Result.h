#pragma once
// A failed Win32 call's error number as a result code. Header-only, so that the
// components which do not link the support library fold errors the same way.

#include <windows.h>

// 0x80070000 | (e & 0xFFFF) for a positive error, a value that already is a
// failure code unchanged, and E_FAIL for 0: a call that failed without setting
// its last error must not read as success.
inline HRESULT HResultFromError(DWORD dwError) noexcept {
  return dwError == 0 ? E_FAIL : HRESULT_FROM_WIN32(dwError);
}
