#include "recorder/DayLogFiles.h"

#include <cwchar>

#include "support/UniqueHandle.h"

namespace {

const wchar_t kPrefix[] = L"Delvora-";
const wchar_t kSuffix[] = L".log";

bool IsLeapYear(int nYear) { return (nYear % 4 == 0 && nYear % 100 != 0) || nYear % 400 == 0; }

int DaysInMonth(int nYear, int nMonth) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return nMonth == 2 && IsLeapYear(nYear) ? 29 : kDays[nMonth - 1];
}

// n decimal digits at p; false when any is not a digit.
bool ReadDigits(const wchar_t* p, int n, int& nValue) {
  nValue = 0;
  for (int i = 0; i < n; ++i) {
    if (p[i] < L'0' || p[i] > L'9') return false;
    nValue = nValue * 10 + (p[i] - L'0');
  }
  return true;
}

}  // namespace

long long LocalDay::Number() const {
  // Days from the civil date: years counted from March, so the leap day comes last.
  const long long y = static_cast<long long>(nYear) - (nMonth <= 2 ? 1 : 0);
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yearOfEra = y - era * 400;
  const long long dayOfYear = (153 * (nMonth > 2 ? nMonth - 3 : nMonth + 9) + 2) / 5 + nDay - 1;
  const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

bool LocalDayOf(const CTime& time, LocalDay& day) {
  struct tm local;
  if (time.GetLocalTm(&local) == nullptr) return false;
  day.nYear = local.tm_year + 1900;
  day.nMonth = local.tm_mon + 1;
  day.nDay = local.tm_mday;
  return true;
}

CString DayFileName(const LocalDay& day) {
  CString strName;
  strName.Format(L"%ls%04d-%02d-%02d%ls", kPrefix, day.nYear, day.nMonth, day.nDay, kSuffix);
  return strName;
}

bool ParseDayFileName(const wchar_t* pszName, LocalDay& day) {
  // Delvora-YYYY-MM-DD.log: the prefix, 10 characters of date, the suffix.
  const size_t nPrefix = std::wcslen(kPrefix);
  if (!pszName || std::wcslen(pszName) != nPrefix + 10 + std::wcslen(kSuffix)) return false;
  if (std::wcsncmp(pszName, kPrefix, nPrefix) != 0 || std::wcscmp(pszName + nPrefix + 10, kSuffix) != 0) return false;
  const wchar_t* p = pszName + nPrefix;
  LocalDay parsed;
  if (!ReadDigits(p, 4, parsed.nYear) || p[4] != L'-' || !ReadDigits(p + 5, 2, parsed.nMonth) || p[7] != L'-' ||
      !ReadDigits(p + 8, 2, parsed.nDay)) {
    return false;
  }
  if (parsed.nMonth < 1 || parsed.nMonth > 12 || parsed.nDay < 1 ||
      parsed.nDay > DaysInMonth(parsed.nYear, parsed.nMonth)) {
    return false;
  }
  day = parsed;
  return true;
}

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
  strPattern = strPattern.Left(strPattern.GetLength() - DayFileName(today).GetLength()) + kPrefix + L"*" + kSuffix;
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
