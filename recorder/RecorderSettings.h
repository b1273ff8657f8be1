#pragma once
// The recorder's settings: the folder of its daily files and how many days of
// files it keeps, read from the registry key the logging dialog also uses.

#include <windows.h>

#include <vector>

#include "framework/String.h"

// Below HKEY_LOCAL_MACHINE.
constexpr wchar_t kRecorderSettingsKey[] = L"Software\\Tarquel\\TqVudAva\\1.0";
constexpr wchar_t kOutputPathValue[] = L"Output Path";        // REG_SZ or REG_EXPAND_SZ
constexpr wchar_t kKeepDaysValue[] = L"Recorder Keep Days";   // REG_DWORD; 0 keeps every file
constexpr DWORD kDefaultKeepDays = 31;

struct RecorderSettings {
  CString strFolder;
  DWORD dwKeepDays = kDefaultKeepDays;
};

// A value that could not be used: which, why, and what is used instead.
struct SettingProblem {
  CString strValue;
  CString strReason;
  CString strUsed;
};

// The folder used when "Output Path" is missing or not valid: the log folder the
// installation creates, %ProgramData%\Delvora\Logs.
CString DefaultOutputFolder();

// Reads both values of the open key hKey. A missing "Recorder Keep Days" is the
// default and no problem; a missing "Output Path", an empty one, and a value of
// the wrong type or size are problems, and the default takes their place.
RecorderSettings ReadRecorderSettings(HKEY hKey, std::vector<SettingProblem>& problems);
