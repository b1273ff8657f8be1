#include "recorder/RecorderRun.h"

#include <algorithm>
#include <vector>

#include "stats/Formatting.h"
#include "support/UniqueHandle.h"

namespace {

const DWORD kTickMs = 1000;

// Reads the settings; a folder given on the command line takes the place of
// "Output Path", which then is neither read nor reported.
void ApplySettings(HKEY hKey, const RecorderRunOptions& options, CRecorder& recorder) {
  std::vector<SettingProblem> problems;
  RecorderSettings settings = ReadRecorderSettings(hKey, problems);
  if (!options.strFolder.IsEmpty()) {
    settings.strFolder = options.strFolder;
    problems.erase(std::remove_if(problems.begin(), problems.end(),
                                  [](const SettingProblem& p) { return p.strValue == kOutputPathValue; }),
                   problems.end());
  }
  recorder.ApplySettings(settings, problems);
}

// Asks for the next change of the key's values; the notification sets hEvent once.
void WatchKey(HKEY hKey, HANDLE hEvent) {
  ::RegNotifyChangeKeyValue(hKey, FALSE, REG_NOTIFY_CHANGE_LAST_SET, hEvent, TRUE);
}

DWORD StartFailed(CRecorder& recorder, DWORD dwExitCode, const wchar_t* pszWhat, HRESULT hr) {
  CString strCode;
  strCode.Format(L"%#8.8x", static_cast<unsigned int>(hr));
  recorder.Events().Report(EVENTLOG_ERROR_TYPE, MSG_RECORDER_START_FAILED,
                           {pszWhat, strCode, GetSystemErrorTextBesideCode(hr)});
  return dwExitCode;
}

}  // namespace

CTime RecorderNow(long long nClockOffset) { return CTime(CTime::GetCurrentTime().GetTime() + nClockOffset); }

DWORD RunRecorder(const RecorderRunOptions& options, HANDLE hStop, HANDLE hSettingsChanged, CRecorder& recorder,
                  const std::function<void()>& onRunning) {
  // Created when missing, so that its changes can be watched before anyone writes it.
  CKeyHandle hKey;
  const LONG lResult = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRecorderSettingsKey, 0, nullptr, 0,
                                         KEY_QUERY_VALUE | KEY_NOTIFY, nullptr, hKey.Receive(), nullptr);
  if (lResult != ERROR_SUCCESS) {
    return StartFailed(recorder, kExitSettingsKey, L"the settings key cannot be opened.",
                       HRESULT_FROM_WIN32(static_cast<DWORD>(lResult)));
  }
  if (!hSettingsChanged) {
    return StartFailed(recorder, kExitNoEvent, L"no event object for the settings' changes.", E_HANDLE);
  }
  // Watched before the first read: a change in between is not missed.
  WatchKey(hKey.Get(), hSettingsChanged);
  ApplySettings(hKey.Get(), options, recorder);
  recorder.Start(RecorderNow(options.nClockOffset));
  if (onRunning) onRunning();

  const ULONGLONG start = ::GetTickCount64();
  const ULONGLONG end = options.dwSeconds ? start + options.dwSeconds * 1000ULL : 0;
  ULONGLONG nextTick = start + kTickMs;
  const HANDLE handles[2] = {hStop, hSettingsChanged};
  for (;;) {
    const ULONGLONG now = ::GetTickCount64();
    const ULONGLONG until = end ? std::min(end, nextTick) : nextTick;
    if (end && now >= end) break;
    const DWORD dwWait = static_cast<DWORD>(until > now ? until - now : 0);
    const DWORD dwResult = ::WaitForMultipleObjects(2, handles, FALSE, dwWait);
    if (dwResult == WAIT_OBJECT_0 + 1) {
      WatchKey(hKey.Get(), hSettingsChanged);
      ApplySettings(hKey.Get(), options, recorder);
      continue;
    }
    if (dwResult != WAIT_TIMEOUT) break;  // stopped (or the wait itself failed)
    if (::GetTickCount64() < nextTick) continue;
    recorder.Tick(RecorderNow(options.nClockOffset));
    // A tick longer than the period starts the next at once, without a backlog.
    nextTick = std::max(nextTick + kTickMs, ::GetTickCount64());
  }
  recorder.Stop();
  return 0;
}
