#pragma once
// CTime and CTimeSpan: seconds since 1970 (UTC) and signed second spans. Both
// keep 64 bits so that times after January 2038 neither wrap nor turn negative.

#include <windows.h>
// winbase.h maps GetCurrentTime to GetTickCount, which would rename CTime's member.
#undef GetCurrentTime

#include <ctime>

#include "framework/String.h"

class CTimeSpan {
public:
  CTimeSpan() = default;
  CTimeSpan(__time64_t seconds) : m_span(seconds) {}
  CTimeSpan(LONG days, int hours, int minutes, int seconds);

  __time64_t GetTimeSpan() const { return m_span; }
  __time64_t GetTotalSeconds() const { return m_span; }
  __time64_t GetTotalMinutes() const { return m_span / 60; }
  __time64_t GetTotalHours() const { return m_span / 3600; }
  __time64_t GetDays() const { return m_span / 86400; }
  // Components within the next larger unit; they carry the sign of the span.
  int GetHours() const { return static_cast<int>(GetTotalHours() - GetDays() * 24); }
  int GetMinutes() const { return static_cast<int>(GetTotalMinutes() - GetTotalHours() * 60); }
  int GetSeconds() const { return static_cast<int>(GetTotalSeconds() - GetTotalMinutes() * 60); }

  // %D total days, %H hours, %M minutes, %S seconds (two digits each but %D), %% a percent
  // sign; other characters are copied. An unknown conversion makes the result empty.
  CString Format(const wchar_t* pszFormat) const;

  CTimeSpan operator+(CTimeSpan other) const { return CTimeSpan(m_span + other.m_span); }
  CTimeSpan operator-(CTimeSpan other) const { return CTimeSpan(m_span - other.m_span); }
  CTimeSpan operator-() const { return CTimeSpan(-m_span); }
  CTimeSpan& operator+=(CTimeSpan other) { m_span += other.m_span; return *this; }
  CTimeSpan& operator-=(CTimeSpan other) { m_span -= other.m_span; return *this; }

  bool operator==(CTimeSpan other) const { return m_span == other.m_span; }
  bool operator!=(CTimeSpan other) const { return m_span != other.m_span; }
  bool operator<(CTimeSpan other) const { return m_span < other.m_span; }
  bool operator>(CTimeSpan other) const { return m_span > other.m_span; }
  bool operator<=(CTimeSpan other) const { return m_span <= other.m_span; }
  bool operator>=(CTimeSpan other) const { return m_span >= other.m_span; }

private:
  __time64_t m_span = 0;
};

class CTime {
public:
  CTime() = default;
  CTime(__time64_t time) : m_time(time) {}
  // Local calendar time; nDST: 0 standard time, >0 daylight saving, <0 let the runtime decide.
  // A date the runtime cannot convert gives the time -1.
  CTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec, int nDST = -1);
  CTime(const SYSTEMTIME& st, int nDST = -1);
  // A UTC FILETIME. With nDST < 0 it is converted exactly; with nDST >= 0 it goes through
  // the local calendar with that daylight-saving flag.
  CTime(const FILETIME& ft, int nDST = -1);

  // The system clock in whole seconds.
  static CTime GetCurrentTime();

  __time64_t GetTime() const { return m_time; }

  // Local (or UTC) calendar form; null when the runtime cannot convert the time
  // (negative times and times beyond the year 3000 among them).
  struct tm* GetLocalTm(struct tm* ptm) const;
  struct tm* GetGmtTm(struct tm* ptm) const;
  bool GetAsSystemTime(SYSTEMTIME& st) const;

  // Local calendar fields; -1 when the time has no local calendar form.
  int GetYear() const;
  int GetMonth() const;
  int GetDay() const;
  int GetHour() const;
  int GetMinute() const;
  int GetSecond() const;
  int GetDayOfWeek() const;  // 1 = Sunday

  // wcsftime of the local (or UTC) calendar form. Empty when the time has no calendar
  // form or the format holds a conversion the runtime does not know (which the MS
  // runtime would treat as a fatal invalid parameter).
  CString Format(const wchar_t* pszFormat) const;
  CString FormatGmt(const wchar_t* pszFormat) const;

  CTimeSpan operator-(CTime other) const { return CTimeSpan(m_time - other.m_time); }
  CTime operator-(CTimeSpan span) const { return CTime(m_time - span.GetTimeSpan()); }
  CTime operator+(CTimeSpan span) const { return CTime(m_time + span.GetTimeSpan()); }
  CTime& operator+=(CTimeSpan span) { m_time += span.GetTimeSpan(); return *this; }
  CTime& operator-=(CTimeSpan span) { m_time -= span.GetTimeSpan(); return *this; }

  bool operator==(CTime other) const { return m_time == other.m_time; }
  bool operator!=(CTime other) const { return m_time != other.m_time; }
  bool operator<(CTime other) const { return m_time < other.m_time; }
  bool operator>(CTime other) const { return m_time > other.m_time; }
  bool operator<=(CTime other) const { return m_time <= other.m_time; }
  bool operator>=(CTime other) const { return m_time >= other.m_time; }

private:
  __time64_t m_time = 0;
};
