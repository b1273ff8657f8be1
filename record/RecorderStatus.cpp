#include "record/RecorderStatus.h"

#include "stats/Formatting.h"
#include "support/UniqueHandle.h"
#include "support/Win32Result.h"

RecorderStatus QueryRecorderStatus(const wchar_t* pszService) {
  RecorderStatus status;
  CServiceHandle hManager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!hManager) {
    status.hr = HResultFromError(::GetLastError());
    return status;
  }
  CServiceHandle hService(::OpenServiceW(hManager.Get(), pszService, SERVICE_QUERY_STATUS));
  if (!hService) {
    const DWORD dwError = ::GetLastError();
    if (dwError == ERROR_SERVICE_DOES_NOT_EXIST) {
      status.state = RecorderState::kNotInstalled;
    } else {
      status.hr = HResultFromError(dwError);
    }
    return status;
  }
  SERVICE_STATUS_PROCESS process = {};
  DWORD cbNeeded = 0;
  if (!::QueryServiceStatusEx(hService.Get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&process),
                              sizeof(process), &cbNeeded)) {
    status.hr = HResultFromError(::GetLastError());
    return status;
  }
  switch (process.dwCurrentState) {
    case SERVICE_RUNNING:
      status.state = RecorderState::kRunning;
      break;
    case SERVICE_STOPPED:
      status.state = RecorderState::kStopped;
      break;
    default:  // start, stop, pause or continue pending, or paused
      status.state = RecorderState::kPending;
      break;
  }
  return status;
}

CString RecorderDayFile(const CString& strFolder, const CTime& time) {
  CString strPath(strFolder);
  if (!strPath.IsEmpty()) AppendCharIfMissing(strPath, L'\\');
  LocalDay day;
  return LocalDayOf(time, day) ? strPath + DayFileName(day) : strPath;
}
