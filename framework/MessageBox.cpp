#include "framework/MessageBox.h"

#include "framework/App.h"

int AfxMessageBox(const wchar_t* pszText, UINT nType, UINT) {
  return ::MessageBoxW(::GetActiveWindow(), pszText ? pszText : L"", AfxGetAppName(), nType);
}

int AfxMessageBox(UINT nIDPrompt, UINT nType, UINT nIDHelp) {
  CString text;
  if (!text.LoadString(nIDPrompt)) text.Format(L"Error loading string %u", nIDPrompt);
  return AfxMessageBox(text.GetString(), nType, nIDHelp);
}
