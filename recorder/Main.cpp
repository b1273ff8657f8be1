// DelvoraRecorder.exe: the recorder as a Windows service (SERVICE_WIN32_OWN_PROCESS,
// started by the service control manager without arguments), or in the
// foreground with -console. Output follows the MS runtime's conventions: texts
// are formatted with _snwprintf (mingw-w64's own swprintf would read %s as a
// narrow string) and written as the console's code page has them.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <mutex>
#include <string>
#include <vector>

#include "driver/DeviceAccess.h"
#include "framework/Resource.h"
#include "record/RecorderFiles.h"
#include "recorder/Recorder.h"
#include "recorder/RecorderRun.h"
#include "support/UniqueHandle.h"

namespace {


const wchar_t kUsage[] =
    L"Usage: DelvoraRecorder.exe [-console [-seconds N] [-folder DIR]] [-clock-offset SECONDS]\n"
    L"       DelvoraRecorder.exe -help\n"
    L"\n"
    L"Without -console it runs as the service DelvoraRecorder, started by the service\n"
    L"control manager. Once a second it asks every device for its counters and writes\n"
    L"each stream that ended as one line to Delvora-YYYY-MM-DD.log in the folder of\n"
    L"\"Output Path\" (HKLM\\Software\\Tarquel\\TqVudAva\\1.0), one file per local day.\n"
    L"\n"
    L"  -console          run in the foreground until Ctrl+C and print each line written\n"
    L"  -seconds N        with -console: stop after N seconds\n"
    L"  -folder DIR       with -console: write into DIR instead of \"Output Path\"\n"
    L"  -clock-offset S   add S seconds (negative allowed) to the recorder's clock, which\n"
    L"                    dates the lines and picks the day's file (for tests)\n"
    L"  -help             this text\n";

// Converted as the console shows text: its output code page (the ANSI code page
// when the output is not a console).
void Write(FILE* pStream, const wchar_t* pszText) {
  const UINT nCodePage = ::GetConsoleOutputCP() ? ::GetConsoleOutputCP() : CP_ACP;
  const int cb = ::WideCharToMultiByte(nCodePage, 0, pszText, -1, nullptr, 0, nullptr, nullptr);
  if (cb <= 1) return;
  std::string text(static_cast<size_t>(cb), '\0');
  ::WideCharToMultiByte(nCodePage, 0, pszText, -1, &text[0], cb, nullptr, nullptr);
  std::fputs(text.c_str(), pStream);
  std::fflush(pStream);
}

void Print(FILE* pStream, const wchar_t* pszFormat, ...) {
  wchar_t buffer[2048];
  va_list args;
  va_start(args, pszFormat);
  const int n = _vsnwprintf(buffer, sizeof(buffer) / sizeof(buffer[0]) - 1, pszFormat, args);
  va_end(args);
  // Cut short: the runtime leaves the end without a NUL.
  buffer[n < 0 ? sizeof(buffer) / sizeof(buffer[0]) - 1 : static_cast<size_t>(n)] = L'\0';
  Write(pStream, buffer);
}

// The English texts of the log's header and values: enu\DelvoraRes.dll below the
// program's folder (or below its bin folder), loaded as data only. Without it the
// built-in texts stand.
void UseEnglishTexts() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  std::wstring folder(path, n);
  folder.erase(folder.find_last_of(L"\\/") + 1);
  for (const wchar_t* pszModule : {L"enu\\DelvoraRes.dll", L"bin\\enu\\DelvoraRes.dll"}) {
    // Kept for the process: the texts are loaded from it whenever first needed.
    const HMODULE hModule = ::LoadLibraryExW((folder + pszModule).c_str(), nullptr,
                                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (hModule) {
      AfxSetResourceHandle(hModule);
      return;
    }
  }
}

struct Arguments {
  bool bConsole = false;
  bool bHelp = false;
  RecorderRunOptions options;
};

// A whole number in [low, high]; false for anything else.
bool ParseNumber(const wchar_t* pszText, long long low, long long high, long long& nValue) {
  if (!pszText || !*pszText) return false;
  wchar_t* pEnd = nullptr;
  errno = 0;
  const long long n = std::wcstoll(pszText, &pEnd, 10);
  if (errno != 0 || *pEnd != L'\0' || n < low || n > high) return false;
  nValue = n;
  return true;
}

bool ParseArguments(int argc, wchar_t** argv, Arguments& args, std::wstring& strError) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    const wchar_t* pszNext = i + 1 < argc ? argv[i + 1] : nullptr;
    long long n = 0;
    if (arg == L"-help" || arg == L"/?" || arg == L"-?") {
      args.bHelp = true;
    } else if (arg == L"-console") {
      args.bConsole = true;
    } else if (arg == L"-seconds") {
      if (!ParseNumber(pszNext, 1, 0xFFFFFFFFLL / 1000, n)) {
        strError = L"-seconds needs a whole number of seconds from 1 to 4294967.";
        return false;
      }
      args.options.dwSeconds = static_cast<DWORD>(n);
      ++i;
    } else if (arg == L"-folder") {
      if (!pszNext || !*pszNext) {
        strError = L"-folder needs a folder.";
        return false;
      }
      args.options.strFolder = pszNext;
      ++i;
    } else if (arg == L"-clock-offset") {
      // A century either way is more than any test needs and keeps times in range.
      if (!ParseNumber(pszNext, -3155760000LL, 3155760000LL, n)) {
        strError = L"-clock-offset needs a whole number of seconds.";
        return false;
      }
      args.options.nClockOffset = n;
      ++i;
    } else {
      strError = L"Unknown argument: " + arg;
      return false;
    }
  }
  if (!args.bConsole && (args.options.dwSeconds != 0 || !args.options.strFolder.IsEmpty())) {
    strError = L"-seconds and -folder go with -console.";
    return false;
  }
  return true;
}

Arguments g_args;

// ---- console mode -----------------------------------------------------------------

HANDLE g_hConsoleStop = nullptr;

BOOL WINAPI OnConsoleControl(DWORD dwType) {
  if (dwType != CTRL_C_EVENT && dwType != CTRL_BREAK_EVENT && dwType != CTRL_CLOSE_EVENT) return FALSE;
  ::SetEvent(g_hConsoleStop);
  return TRUE;
}

int RunConsole() {
  CKernelHandle hStop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  CKernelHandle hChanged(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!hStop) {
    Print(stderr, L"No event object for Ctrl+C.\n");
    return static_cast<int>(kExitNoEvent);
  }
  g_hConsoleStop = hStop.Get();
  ::SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
  CRecorder recorder(CDeviceAccess::Driver());
  recorder.Events().SetEcho([](WORD, DWORD, const CString& strText) { Print(stderr, L"%s\n", strText.GetString()); });
  CString strLastPath;
  recorder.SetLineSink([&strLastPath](const CString& strPath, const CString& strLine) {
    if (strPath != strLastPath) {
      strLastPath = strPath;
      Print(stdout, L"-> %s\n", strPath.GetString());
    }
    Print(stdout, L"%s\n", strLine.GetString());
  });
  const DWORD dwExit = RunRecorder(g_args.options, hStop.Get(), hChanged.Get(), recorder, [] {
    Print(stderr, L"Recording; Ctrl+C stops.\n");
  });
  ::SetConsoleCtrlHandler(&OnConsoleControl, FALSE);
  Print(stdout, L"%llu lines written, %llu lost.\n", recorder.GetLinesWritten(),
        static_cast<unsigned long long>(recorder.GetLinesWaiting()) + recorder.GetLinesDropped());
  return static_cast<int>(dwExit);
}

// ---- service ----------------------------------------------------------------------

// The handler runs on the dispatcher's thread, the recorder on the service's: the
// status is reported under a lock.
std::mutex g_statusLock;
SERVICE_STATUS_HANDLE g_hStatus = nullptr;
SERVICE_STATUS g_status = {};
HANDLE g_hServiceStop = nullptr;
HANDLE g_hServiceSettings = nullptr;

// Stop and shutdown finish the current tick and close within this time.
const DWORD kStopWaitHintMs = 3000;

void ReportStatus(DWORD dwState, DWORD dwWin32Exit = NO_ERROR, DWORD dwServiceExit = 0) {
  std::lock_guard<std::mutex> lock(g_statusLock);
  g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  g_status.dwCurrentState = dwState;
  g_status.dwControlsAccepted =
      dwState == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PARAMCHANGE : 0;
  g_status.dwWin32ExitCode = dwWin32Exit;
  g_status.dwServiceSpecificExitCode = dwServiceExit;
  const bool bPending = dwState == SERVICE_START_PENDING || dwState == SERVICE_STOP_PENDING;
  g_status.dwCheckPoint = bPending ? g_status.dwCheckPoint + 1 : 0;
  g_status.dwWaitHint = bPending ? kStopWaitHintMs : 0;
  ::SetServiceStatus(g_hStatus, &g_status);
}

DWORD WINAPI OnServiceControl(DWORD dwControl, DWORD, void*, void*) {
  switch (dwControl) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      ReportStatus(SERVICE_STOP_PENDING);
      ::SetEvent(g_hServiceStop);
      return NO_ERROR;
    case SERVICE_CONTROL_PARAMCHANGE:
      ::SetEvent(g_hServiceSettings);
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
  }
  return ERROR_CALL_NOT_IMPLEMENTED;
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
  g_hStatus = ::RegisterServiceCtrlHandlerExW(kRecorderServiceName, &OnServiceControl, nullptr);
  if (!g_hStatus) return;
  ReportStatus(SERVICE_START_PENDING);
  CKernelHandle hStop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  CKernelHandle hChanged(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  g_hServiceStop = hStop.Get();
  g_hServiceSettings = hChanged.Get();
  DWORD dwExit = kExitNoEvent;
  if (hStop) {
    CRecorder recorder(CDeviceAccess::Driver());
    dwExit = RunRecorder(g_args.options, hStop.Get(), hChanged.Get(), recorder, [] { ReportStatus(SERVICE_RUNNING); });
  }
  ReportStatus(SERVICE_STOPPED, dwExit ? ERROR_SERVICE_SPECIFIC_ERROR : NO_ERROR, dwExit);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring strError;
  if (!ParseArguments(argc, argv, g_args, strError)) {
    Print(stderr, L"%s\n\n%s", strError.c_str(), kUsage);
    return 2;
  }
  if (g_args.bHelp) {
    Print(stdout, L"%s", kUsage);
    return 0;
  }
  UseEnglishTexts();
  if (g_args.bConsole) return RunConsole();

  SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(kRecorderServiceName), &ServiceMain}, {nullptr, nullptr}};
  if (::StartServiceCtrlDispatcherW(table)) return 0;
  if (::GetLastError() == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
    Print(stderr, L"DelvoraRecorder.exe runs as a service, or in the foreground with -console.\n\n%s", kUsage);
    return 1;
  }
  Print(stderr, L"The service could not start: error %lu.\n", ::GetLastError());
  return 1;
}
