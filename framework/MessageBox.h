#pragma once
// Message boxes of the program. The owner is the thread's active window (none
// before the first window), the caption the application's name.

#include <windows.h>

#include "framework/String.h"

// Returns the button pressed (IDOK, IDYES, ...), or 0 when the box could not be
// shown. nIDHelp is kept for the callers' sake; the framework has no help system.
int AfxMessageBox(const wchar_t* pszText, UINT nType = MB_OK, UINT nIDHelp = 0);
inline int AfxMessageBox(const CString& strText, UINT nType = MB_OK, UINT nIDHelp = 0) {
  return AfxMessageBox(strText.GetString(), nType, nIDHelp);
}
// The text is string nIDPrompt of the current resource handle; when it cannot be
// loaded, the box says which id is missing.
int AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK, UINT nIDHelp = static_cast<UINT>(-1));
