#include "framework/FileDialog.h"

#include <cwchar>

namespace {

// Room for a long path; the dialog reports a name that does not fit as a failure.
const size_t kFileNameChars = 32768;

}  // namespace

CFileDialog::CFileDialog(BOOL bOpenFileDialog, const wchar_t* pszDefExt, const wchar_t* pszFileName, DWORD dwFlags,
                         const wchar_t* pszFilter, CWnd* pParentWnd)
    : m_ofn(), m_bOpenFileDialog(bOpenFileDialog), m_fileName(kFileNameChars, L'\0'), m_pParentWnd(pParentWnd) {
  // The dialog wants the extension without its dot.
  if (pszDefExt) m_strDefExt = (pszDefExt[0] == L'.') ? pszDefExt + 1 : pszDefExt;
  if (pszFileName) wcsncpy(m_fileName.data(), pszFileName, kFileNameChars - 1);
  if (pszFilter) {
    for (const wchar_t* p = pszFilter; *p; ++p) m_filter.push_back(*p == L'|' ? L'\0' : *p);
    // Two NULs end the list whether or not the text ended with "||".
    m_filter.push_back(L'\0');
    m_filter.push_back(L'\0');
  }

  m_ofn.lStructSize = sizeof(m_ofn);
  m_ofn.Flags = dwFlags | OFN_EXPLORER | OFN_ENABLESIZING;
  m_ofn.lpstrFilter = m_filter.empty() ? nullptr : m_filter.data();
  m_ofn.lpstrDefExt = m_strDefExt.IsEmpty() ? nullptr : m_strDefExt.GetString();
}

INT_PTR CFileDialog::DoModal() {
  // Without an owner the window the user came from would stay enabled under the
  // dialog (a modal dialog could even end beneath it): like CDialog, the
  // thread's active window owns it then.
  m_ofn.hwndOwner = m_pParentWnd ? m_pParentWnd->m_hWnd : ::GetActiveWindow();
  m_ofn.lpstrFile = m_fileName.data();
  m_ofn.nMaxFile = static_cast<DWORD>(m_fileName.size());
  const BOOL bChosen = m_bOpenFileDialog ? ::GetOpenFileNameW(&m_ofn) : ::GetSaveFileNameW(&m_ofn);
  return bChosen ? IDOK : IDCANCEL;
}
