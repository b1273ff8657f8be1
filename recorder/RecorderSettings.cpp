#include "recorder/RecorderSettings.h"

#include <vector>

namespace {

CString TypeText(DWORD dwType) {
  switch (dwType) {
    case REG_SZ: return L"REG_SZ";
    case REG_EXPAND_SZ: return L"REG_EXPAND_SZ";
    case REG_DWORD: return L"REG_DWORD";
    case REG_QWORD: return L"REG_QWORD";
    case REG_BINARY: return L"REG_BINARY";
    case REG_MULTI_SZ: return L"REG_MULTI_SZ";
  }
  CString strText;
  strText.Format(L"type %lu", static_cast<unsigned long>(dwType));
  return strText;
}

CString Expanded(const CString& strText) {
  const DWORD cch = ::ExpandEnvironmentStringsW(strText, nullptr, 0);
  if (cch == 0) return strText;
  std::vector<wchar_t> buffer(cch + 1);
  if (::ExpandEnvironmentStringsW(strText, buffer.data(), cch + 1) == 0) return strText;
  return CString(buffer.data());
}

// "Output Path": a text up to its first NUL (the registry does not insist on one).
// Empty with the reason in strReason when it cannot be used.
CString ReadFolder(HKEY hKey, CString& strReason) {
  DWORD dwType = REG_NONE;
  DWORD cbData = 0;
  LONG lResult = ::RegQueryValueExW(hKey, kOutputPathValue, nullptr, &dwType, nullptr, &cbData);
  std::vector<wchar_t> buffer(1, L'\0');
  // The value can grow between two reads: read again with the size it has now.
  for (int attempt = 0; attempt < 4 && (lResult == ERROR_SUCCESS || lResult == ERROR_MORE_DATA) &&
                            (dwType == REG_SZ || dwType == REG_EXPAND_SZ);
       ++attempt) {
    // One character more than the bytes hold, zero: the text always ends.
    buffer.assign(cbData / sizeof(wchar_t) + 1, L'\0');
    DWORD cbRead = cbData;
    lResult = ::RegQueryValueExW(hKey, kOutputPathValue, nullptr, &dwType, reinterpret_cast<BYTE*>(buffer.data()),
                                 &cbRead);
    if (lResult != ERROR_MORE_DATA) break;
    cbData = cbRead;
  }
  if (lResult == ERROR_FILE_NOT_FOUND) {
    strReason = L"it is missing";
    return CString();
  }
  if (lResult != ERROR_SUCCESS) {
    strReason.Format(L"it cannot be read (error %ld)", static_cast<long>(lResult));
    return CString();
  }
  if (dwType != REG_SZ && dwType != REG_EXPAND_SZ) {
    strReason = L"it is of type " + TypeText(dwType) + L", not REG_SZ";
    return CString();
  }
  CString strFolder(buffer.data());
  if (dwType == REG_EXPAND_SZ) strFolder = Expanded(strFolder);
  if (strFolder.IsEmpty()) strReason = L"it is empty";
  return strFolder;
}

// "Recorder Keep Days"; false with the reason when it is there but not a DWORD.
bool ReadKeepDays(HKEY hKey, DWORD& dwDays, CString& strReason) {
  DWORD dwType = REG_NONE;
  DWORD dwValue = 0;
  DWORD cbData = sizeof(dwValue);
  const LONG lResult =
      ::RegQueryValueExW(hKey, kKeepDaysValue, nullptr, &dwType, reinterpret_cast<BYTE*>(&dwValue), &cbData);
  if (lResult == ERROR_FILE_NOT_FOUND) return true;
  if (lResult != ERROR_SUCCESS && lResult != ERROR_MORE_DATA) {
    strReason.Format(L"it cannot be read (error %ld)", static_cast<long>(lResult));
    return false;
  }
  if (dwType != REG_DWORD) {
    strReason = L"it is of type " + TypeText(dwType) + L", not REG_DWORD";
    return false;
  }
  if (lResult != ERROR_SUCCESS || cbData != sizeof(dwValue)) {
    strReason.Format(L"it holds %lu bytes, not 4", static_cast<unsigned long>(cbData));
    return false;
  }
  dwDays = dwValue;
  return true;
}

}  // namespace

CString DefaultOutputFolder() {
  const CString strFolder = Expanded(L"%ProgramData%\\Delvora\\Logs");
  // Without the variable the text stays as it was.
  return strFolder.Find(L'%') < 0 ? strFolder : CString(L"C:\\ProgramData\\Delvora\\Logs");
}

RecorderSettings ReadRecorderSettings(HKEY hKey, std::vector<SettingProblem>& problems) {
  RecorderSettings settings;
  CString strReason;
  settings.strFolder = ReadFolder(hKey, strReason);
  if (!strReason.IsEmpty()) {
    settings.strFolder = DefaultOutputFolder();
    problems.push_back({kOutputPathValue, strReason, settings.strFolder});
  }
  strReason.Empty();
  if (!ReadKeepDays(hKey, settings.dwKeepDays, strReason)) {
    CString strUsed;
    strUsed.Format(L"%lu days", static_cast<unsigned long>(kDefaultKeepDays));
    problems.push_back({kKeepDaysValue, strReason, strUsed});
  }
  return settings;
}
