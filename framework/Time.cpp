#include "framework/Time.h"

#include <cwchar>
#include <vector>

namespace {

// FILETIME of 1970-01-01 00:00:00 UTC, in 100 ns units since 1601.
constexpr long long kUnixEpochAsFileTime = 116444736000000000LL;
constexpr long long kFileTimeUnitsPerSecond = 10000000LL;

// The conversions the MS runtime's wcsftime knows ('#' may precede any of them).
// Anything else makes it call the invalid-parameter handler, which ends the process.
bool IsKnownTimeConversion(wchar_t ch) {
  return ch != L'\0' && std::wcschr(L"aAbBcdHIjmMpSUwWxXyYzZ%", ch) != nullptr;
}

bool IsValidTimeFormat(const wchar_t* pszFormat) {
  for (const wchar_t* p = pszFormat; *p != L'\0'; ++p) {
    if (*p != L'%') continue;
    ++p;
    if (*p == L'#') ++p;
    if (!IsKnownTimeConversion(*p)) return false;
  }
  return true;
}

CString FormatTm(const struct tm& calendar, const wchar_t* pszFormat) {
  if (pszFormat == nullptr || *pszFormat == L'\0' || !IsValidTimeFormat(pszFormat)) return CString();
  // wcsftime returns 0 both for an empty result and for a buffer that is too small.
  for (size_t size = 128; size <= 64 * 1024; size *= 4) {
    std::vector<wchar_t> buffer(size);
    const size_t written = wcsftime(buffer.data(), buffer.size(), pszFormat, &calendar);
    if (written > 0) return CString(buffer.data(), static_cast<int>(written));
  }
  return CString();
}

// One field of the local calendar time plus its offset, or -1 when the time
// cannot be converted.
int LocalField(const CTime& time, int tm::*pField, int nOffset) {
  struct tm calendar;
  return time.GetLocalTm(&calendar) ? calendar.*pField + nOffset : -1;
}

}  // namespace

CTimeSpan::CTimeSpan(LONG days, int hours, int minutes, int seconds)
    : m_span(static_cast<__time64_t>(days) * 86400 + static_cast<__time64_t>(hours) * 3600 +
             static_cast<__time64_t>(minutes) * 60 + seconds) {}

CString CTimeSpan::Format(const wchar_t* pszFormat) const {
  CString result;
  if (pszFormat == nullptr) return result;
  for (const wchar_t* p = pszFormat; *p != L'\0'; ++p) {
    if (*p != L'%') {
      result += *p;
      continue;
    }
    CString part;
    switch (*++p) {
      case L'D': part.Format(L"%I64d", static_cast<long long>(GetDays())); break;
      case L'H': part.Format(L"%02d", GetHours()); break;
      case L'M': part.Format(L"%02d", GetMinutes()); break;
      case L'S': part.Format(L"%02d", GetSeconds()); break;
      case L'%': part = L"%"; break;
      default: return CString();
    }
    result += part;
  }
  return result;
}

CTime::CTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec, int nDST) {
  struct tm calendar = {};
  calendar.tm_year = nYear - 1900;
  calendar.tm_mon = nMonth - 1;
  calendar.tm_mday = nDay;
  calendar.tm_hour = nHour;
  calendar.tm_min = nMin;
  calendar.tm_sec = nSec;
  calendar.tm_isdst = nDST;
  m_time = _mktime64(&calendar);
}

CTime::CTime(const SYSTEMTIME& st, int nDST)
    : CTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, nDST) {}

CTime::CTime(const FILETIME& ft, int nDST) {
  if (nDST < 0) {
    // The exact instant; going through the local calendar would make the repeated
    // hour at the end of daylight saving ambiguous.
    ULARGE_INTEGER units;
    units.LowPart = ft.dwLowDateTime;
    units.HighPart = ft.dwHighDateTime;
    const long long value = static_cast<long long>(units.QuadPart);
    long long seconds = (value - kUnixEpochAsFileTime) / kFileTimeUnitsPerSecond;
    if (value < kUnixEpochAsFileTime && (value - kUnixEpochAsFileTime) % kFileTimeUnitsPerSecond != 0) --seconds;
    m_time = seconds;
    return;
  }
  FILETIME local;
  SYSTEMTIME st;
  if (!FileTimeToLocalFileTime(&ft, &local) || !FileTimeToSystemTime(&local, &st)) {
    m_time = -1;
    return;
  }
  *this = CTime(st, nDST);
}

CTime CTime::GetCurrentTime() { return CTime(_time64(nullptr)); }

struct tm* CTime::GetLocalTm(struct tm* ptm) const {
  if (ptm == nullptr || m_time < 0) return nullptr;
  return _localtime64_s(ptm, &m_time) == 0 ? ptm : nullptr;
}

struct tm* CTime::GetGmtTm(struct tm* ptm) const {
  if (ptm == nullptr || m_time < 0) return nullptr;
  return _gmtime64_s(ptm, &m_time) == 0 ? ptm : nullptr;
}

bool CTime::GetAsSystemTime(SYSTEMTIME& st) const {
  struct tm calendar;
  if (GetLocalTm(&calendar) == nullptr) return false;
  st.wYear = static_cast<WORD>(calendar.tm_year + 1900);
  st.wMonth = static_cast<WORD>(calendar.tm_mon + 1);
  st.wDayOfWeek = static_cast<WORD>(calendar.tm_wday);
  st.wDay = static_cast<WORD>(calendar.tm_mday);
  st.wHour = static_cast<WORD>(calendar.tm_hour);
  st.wMinute = static_cast<WORD>(calendar.tm_min);
  st.wSecond = static_cast<WORD>(calendar.tm_sec);
  st.wMilliseconds = 0;
  return true;
}

int CTime::GetYear() const { return LocalField(*this, &tm::tm_year, 1900); }
int CTime::GetMonth() const { return LocalField(*this, &tm::tm_mon, 1); }
int CTime::GetDay() const { return LocalField(*this, &tm::tm_mday, 0); }
int CTime::GetHour() const { return LocalField(*this, &tm::tm_hour, 0); }
int CTime::GetMinute() const { return LocalField(*this, &tm::tm_min, 0); }
int CTime::GetSecond() const { return LocalField(*this, &tm::tm_sec, 0); }
int CTime::GetDayOfWeek() const { return LocalField(*this, &tm::tm_wday, 1); }

CString CTime::Format(const wchar_t* pszFormat) const {
  struct tm calendar;
  if (GetLocalTm(&calendar) == nullptr) return CString();
  return FormatTm(calendar, pszFormat);
}

CString CTime::FormatGmt(const wchar_t* pszFormat) const {
  struct tm calendar;
  if (GetGmtTm(&calendar) == nullptr) return CString();
  return FormatTm(calendar, pszFormat);
}
