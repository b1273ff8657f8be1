#include "support/RemoteRegistry.h"

#include <winsvc.h>

#include <new>

#include "support/EventLog.h"
#include "support/OutOfMemory.h"
#include "support/UniqueHandle.h"
#include "support/Win32Result.h"

namespace {

const wchar_t kServiceName[] = L"RemoteRegistry";
const wchar_t kRemoteStartPath[] = L"Software\\Tarquel";

// The thread's last error as a result code; a call that failed without setting one
// still counts as failed.
HRESULT LastErrorCode() noexcept { return HResultFromError(GetLastError()); }

}  // namespace

LONG ConnectRemoteRegistry(const wchar_t* pszMachine, HKEY hPredefined, CRegistryKey** ppKey) {
  if (!ppKey) return ERROR_INVALID_PARAMETER;
  CKeyHandle hRemote;
  LONG nResult = RegConnectRegistryW(pszMachine, hPredefined, hRemote.Receive());
  if (nResult != ERROR_SUCCESS) {
    CheckRemoteRegistryService(pszMachine);
    return nResult;
  }
  // Until the key owns the remote root, hRemote closes it on every way out.
  CRegistryKey* pKey = new (std::nothrow) CRegistryKey(hRemote.Get(), kRemoteStartPath);
  if (!pKey) ThrowOutOfMemory();
  pKey->m_hRoot = hRemote.Detach();
  pKey->m_bOwnsRoot = TRUE;
  pKey->Open(TRUE);
  *ppKey = pKey;
  return ERROR_SUCCESS;
}

void CheckRemoteRegistryService(const wchar_t* pszMachine) {
  HRESULT hrCode = S_OK;
  CWideString strMessage;
  bool bRunning = false;
  {
    CServiceHandle hManager(OpenSCManagerW(pszMachine, SERVICES_ACTIVE_DATABASEW, SC_MANAGER_ALL_ACCESS));
    if (!hManager) {
      hrCode = LastErrorCode();
      FormatString(strMessage, L"OpenSCManager failed 0x%8.8x", hrCode);
    } else {
      CServiceHandle hService(OpenServiceW(hManager.Get(), kServiceName, SERVICE_QUERY_STATUS));
      SERVICE_STATUS status = {};
      if (!hService) {
        hrCode = LastErrorCode();
        FormatString(strMessage, L"OpenService of %s failed 0x%8.8x", kServiceName, hrCode);
      } else if (!QueryServiceStatus(hService.Get(), &status)) {
        hrCode = LastErrorCode();
        FormatString(strMessage, L"QueryServiceStatus of %s failed 0x%8.8x", kServiceName, hrCode);
      } else {
        bRunning = status.dwCurrentState == SERVICE_RUNNING;
      }
    }
  }
  if (SUCCEEDED(hrCode) && bRunning) return;

  CEventLog log(kEventSourceName);
  const wchar_t* apszStrings[2] = {pszMachine ? pszMachine : L"",
                                   strMessage.IsNull() ? L"" : strMessage.GetText()};
  log.Report(EVENTLOG_ERROR_TYPE, 0, FAILED(hrCode) ? kEventServiceUnreachable : kEventServiceNotRunning,
             nullptr, 2, 0, apszStrings, nullptr);
}
