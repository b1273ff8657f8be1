#include "recorder/DayLogFiles.h"

#include "support/UniqueHandle.h"

void CDayLogFiles::SetFolder(const CString& strFolder) {
  if (strFolder == m_strFolder) return;
  Close();
  m_strFolder = strFolder;
}

CString CDayLogFiles::PathOf(const LocalDay& day) const {
  CString strPath = m_strFolder;
  if (!strPath.IsEmpty() && strPath[strPath.GetLength() - 1] != L'\\' && strPath[strPath.GetLength() - 1] != L'/') {
    strPath += L'\\';
  }
  return strPath + DayFileName(day);
}

void CDayLogFiles::Close() {
  m_file.Close();
  m_nOpenDay = LLONG_MIN;
}

HRESULT CDayLogFiles::OpenDay(const LocalDay& day) {
  if (m_file.IsOpen() && m_nOpenDay == day.Number()) return S_OK;
  Close();
  m_strPath = PathOf(day);
  HRESULT hr = m_file.OpenAppend(m_strPath);
  if (SUCCEEDED(hr) && m_file.IsWriteFailing()) hr = m_file.GetWriteError();  // the torn line not ended
  if (SUCCEEDED(hr) && m_file.IsEmpty() && m_file.WriteLine(m_strHeader) < 0) hr = m_file.GetWriteError();
  if (FAILED(hr)) {
    m_file.Close();
    return hr;
  }
  m_nOpenDay = day.Number();
  return S_OK;
}

HRESULT CDayLogFiles::WriteLine(const LocalDay& day, const CString& strLine) {
  HRESULT hr = OpenDay(day);
  if (FAILED(hr)) return hr;
  if (m_file.WriteLine(strLine) >= 0) return S_OK;
  hr = m_file.GetWriteError();
  Close();
  return FAILED(hr) ? hr : E_FAIL;
}

int CDayLogFiles::DeleteOldFiles(const LocalDay& today, DWORD dwKeepDays) const {
  if (dwKeepDays == 0) return 0;
  CString strPattern = PathOf(today);
  strPattern = strPattern.Left(strPattern.GetLength() - DayFileName(today).GetLength()) + DayFilePattern();
  WIN32_FIND_DATAW found;
  CFindHandle hFind(::FindFirstFileW(strPattern, &found));
  if (!hFind) return 0;
  int nDeleted = 0;
  do {
    LocalDay day;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !ParseDayFileName(found.cFileName, day)) continue;
    // 64 bits: the largest keep count reaches back further than any file.
    if (today.Number() - day.Number() < static_cast<long long>(dwKeepDays)) continue;
    if (::DeleteFileW(PathOf(day))) ++nDeleted;
  } while (::FindNextFileW(hFind.Get(), &found));
  return nDeleted;
}
