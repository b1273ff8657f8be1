#pragma once
// CFileDialog: the common open or save file dialog (GetOpenFileNameW or
// GetSaveFileNameW), run modally.

#include <windows.h>
#include <commdlg.h>

#include <vector>

#include "framework/String.h"
#include "framework/Window.h"

class CFileDialog {
public:
  // pszDefExt: appended to a name typed without one (a leading dot is allowed).
  // pszFileName: the initial name. pszFilter: pairs of description and pattern,
  // each ended by "|", the list ended by a second "|" ("Text (*.txt)|*.txt||").
  CFileDialog(BOOL bOpenFileDialog, const wchar_t* pszDefExt = nullptr, const wchar_t* pszFileName = nullptr,
              DWORD dwFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, const wchar_t* pszFilter = nullptr,
              CWnd* pParentWnd = nullptr);
  CFileDialog(const CFileDialog&) = delete;
  CFileDialog& operator=(const CFileDialog&) = delete;

  // Owned by the parent, or without one by the thread's active window.
  // IDOK when the user chose a file, IDCANCEL otherwise (also when the dialog failed).
  INT_PTR DoModal();
  // The full path of the file chosen.
  CString GetPathName() const { return CString(m_fileName.data()); }

  OPENFILENAMEW m_ofn;

private:
  BOOL m_bOpenFileDialog;
  CString m_strDefExt;
  std::vector<wchar_t> m_filter;    // the filter with NULs for "|"
  std::vector<wchar_t> m_fileName;  // the name buffer the dialog writes
  CWnd* m_pParentWnd;
};
