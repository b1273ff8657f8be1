#pragma once
// A ShellExecute result as a Win32 error. The call returns a value above 32 when
// it succeeds; a failure is 0, ERROR_BAD_FORMAT or one of its own SE_ERR_ codes,
// not all of which mean the Win32 error of the same number. Header-only: the
// callers link the shell, the support library does not.

#include <windows.h>
#include <shellapi.h>

// ERROR_SUCCESS above 32; else the Win32 error of the result's documented
// meaning, ERROR_GEN_FAILURE for a result the call does not document.
inline DWORD ShellExecuteError(HINSTANCE hResult) noexcept {
  const INT_PTR nResult = reinterpret_cast<INT_PTR>(hResult);
  if (nResult > 32) return ERROR_SUCCESS;
  switch (nResult) {
    case 0:
    case SE_ERR_OOM: return ERROR_NOT_ENOUGH_MEMORY;
    case SE_ERR_FNF: return ERROR_FILE_NOT_FOUND;
    case SE_ERR_PNF: return ERROR_PATH_NOT_FOUND;
    case SE_ERR_ACCESSDENIED: return ERROR_ACCESS_DENIED;
    case ERROR_BAD_FORMAT: return ERROR_BAD_FORMAT;  // not a valid program
    case SE_ERR_SHARE: return ERROR_SHARING_VIOLATION;
    case SE_ERR_ASSOCINCOMPLETE:
    case SE_ERR_NOASSOC: return ERROR_NO_ASSOCIATION;
    case SE_ERR_DDETIMEOUT:
    case SE_ERR_DDEFAIL:
    case SE_ERR_DDEBUSY: return ERROR_DDE_FAIL;
    case SE_ERR_DLLNOTFOUND: return ERROR_DLL_NOT_FOUND;
    default: return ERROR_GEN_FAILURE;
  }
}
