#pragma once
// What the recorder service and the program both know of it: the service's name
// and the names of its daily files, Delvora-YYYY-MM-DD.log.

#include <windows.h>

#include "framework/String.h"
#include "framework/Time.h"

// The service that records ended streams while no window is open.
constexpr wchar_t kRecorderServiceName[] = L"DelvoraRecorder";

// A day of the local calendar.
struct LocalDay {
  int nYear = 0;
  int nMonth = 0;  // 1 to 12
  int nDay = 0;    // 1 to 31

  // Days since 1970-01-01 (negative before), so that days subtract.
  long long Number() const;
  bool operator==(const LocalDay& other) const { return Number() == other.Number(); }
  bool operator!=(const LocalDay& other) const { return !(*this == other); }
};

// The local day of `time`; false when the time has no local calendar form.
bool LocalDayOf(const CTime& time, LocalDay& day);
// "Delvora-YYYY-MM-DD.log".
CString DayFileName(const LocalDay& day);
// "Delvora-*.log": what a search for the day files asks for (other names match too).
CString DayFilePattern();
// Whether pszName is exactly a day file's name (case included) of a real date.
bool ParseDayFileName(const wchar_t* pszName, LocalDay& day);
