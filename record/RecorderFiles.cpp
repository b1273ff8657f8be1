#include "record/RecorderFiles.h"

#include <cwchar>

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

CString DayFilePattern() { return CString(kPrefix) + L"*" + kSuffix; }

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
