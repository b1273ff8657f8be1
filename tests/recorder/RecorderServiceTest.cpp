// DelvoraRecorder.exe as a service of the prefix's service control manager,
// against the simulated driver in demo mode with 64 devices. Its clock starts
// 45 s before local midnight, and the driver is stopped and started once: the two
// day files hold exactly one line for every call the driver ended while the
// recorder ran (and one for each call the driver dropped by stopping), each
// once, whole, in the file of its end's day, under one header. Started again the
// same day it appends, and while it runs no second writer can open its file.

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "driver/DriverControl.h"
#include "record/LogFile.h"
#include "record/RecordLogData.h"
#include "recorder/DayLogFiles.h"
#include "tests/record_page/LogTestData.h"
#include "tqaudio/SimClient.h"

using namespace log_test;

namespace {

const int kDevices = 64;
// Half of real time: a call's address is seen by several ticks before it ends.
const ULONG kDriverClock = 500;
const DWORD kSettle = 2500;  // two ticks and a half: the recorder has seen what the driver shows

ULONG EndedCalls() {
  GlobalCounters record = {};
  FILETIME timestamp = {};
  EXPECT_EQ(S_OK, QueryGlobalCounters(record, timestamp));
  return record.Counter2;
}

// Calls with a known address: the streams the recorder has running.
ULONG RunningCalls() {
  ULONG running = 0;
  for (int n = 0; n < kDevices; ++n) {
    WaveCounters in = {}, out = {};
    if (SUCCEEDED(QueryWaveInCounters(n, in)) && SUCCEEDED(QueryWaveOutCounters(n, out)) && in.Active && out.Address) {
      ++running;
    }
  }
  return running;
}

// Waits for the service's state; the milliseconds it took, or -1.
long WaitFor(SC_HANDLE hService, DWORD dwState, DWORD dwTimeoutMs = 20000) {
  const DWORD start = ::GetTickCount();
  SERVICE_STATUS status = {};
  while (::QueryServiceStatus(hService, &status) && ::GetTickCount() - start < dwTimeoutMs) {
    if (status.dwCurrentState == dwState) return static_cast<long>(::GetTickCount() - start);
    ::Sleep(50);
  }
  return -1;
}

void StartService(SC_HANDLE hService) {
  ASSERT_TRUE(::StartServiceW(hService, 0, nullptr)) << ::GetLastError();
  ASSERT_LE(0, WaitFor(hService, SERVICE_RUNNING));
  ::Sleep(kSettle);
}

void StopService(SC_HANDLE hService) {
  SERVICE_STATUS status = {};
  ASSERT_TRUE(::ControlService(hService, SERVICE_CONTROL_STOP, &status)) << ::GetLastError();
  const long ms = WaitFor(hService, SERVICE_STOPPED);
  EXPECT_TRUE(ms >= 0 && ms < 3000) << ms << " ms to stop";
}

// Every line of the day files, checked: whole, under one header, in its end's day.
std::vector<std::string> CheckedLines(const std::vector<std::wstring>& paths, const std::vector<std::string>& days) {
  std::vector<std::string> all;
  const std::string header = ByteText(CRecordLogData::m_global.GetHeader());
  for (size_t i = 0; i < paths.size(); ++i) {
    const std::string bytes = ReadFile(paths[i]);
    EXPECT_EQ("\r\n", bytes.substr(bytes.size() - 2)) << "torn last line";
    std::vector<std::string> lines = Lines(paths[i]);
    EXPECT_EQ(header, lines[0]);
    for (size_t n = 1; n < lines.size(); ++n) {
      const std::vector<std::string> f = Fields(lines[n]);
      EXPECT_EQ(10u, f.size()) << lines[n];
      EXPECT_EQ(days[i], f[2].substr(0, 10)) << lines[n];
      all.push_back(lines[n]);
    }
  }
  std::set<std::string> unique(all.begin(), all.end());
  EXPECT_EQ(all.size(), unique.size()) << "a line written twice";
  return all;
}

TEST(RecorderService, EveryEndedCallIsRecordedOnceAcrossADriverRestartMidnightAndItsOwnRestart) {
  ASSERT_NE(nullptr, gui_test::UseResourceModule());
  ASSERT_EQ(S_OK, SimService::Load(SimService::DriverFileBesideProgram().c_str(), kDevices, 7));
  CSimControl control;
  ASSERT_EQ(S_OK, control.Open());
  ASSERT_EQ(S_OK, control.SetClock(0, 0));  // still until the recorder runs

  wchar_t temp[MAX_PATH];
  const std::wstring folder = std::wstring(temp, ::GetTempPathW(MAX_PATH, temp)) + L"delvora_recorder_service";
  ::CreateDirectoryW(folder.c_str(), nullptr);
  CKeyHandle hKey;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Tarquel\\TqVudAva\\1.0", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, hKey.Receive(), nullptr));
  wchar_t previous[MAX_PATH] = {};
  DWORD cbPrevious = sizeof(previous) - sizeof(wchar_t);
  const bool bHadPrevious = ::RegQueryValueExW(hKey.Get(), L"Output Path", nullptr, nullptr,
                                               reinterpret_cast<BYTE*>(previous), &cbPrevious) == ERROR_SUCCESS;
  ::RegSetValueExW(hKey.Get(), L"Output Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));

  // The recorder's clock starts at 23:59:15 of today.
  const CTime now = CTime::GetCurrentTime();
  const CTime start(now.GetYear(), now.GetMonth(), now.GetDay(), 23, 59, 15);
  LocalDay firstDay, secondDay;
  ASSERT_TRUE(LocalDayOf(start, firstDay) && LocalDayOf(start + CTimeSpan(60), secondDay));
  const std::vector<std::wstring> paths = {folder + L"\\" + DayFileName(firstDay).GetString(),
                                           folder + L"\\" + DayFileName(secondDay).GetString()};
  const std::vector<std::string> days = {ByteText(DayFileName(firstDay)).substr(8, 10),
                                         ByteText(DayFileName(secondDay)).substr(8, 10)};
  for (const auto& path : paths) ::DeleteFileW(path.c_str());

  wchar_t exe[MAX_PATH] = {};
  std::wstring binPath(exe, ::GetModuleFileNameW(nullptr, exe, MAX_PATH));
  binPath = L"\"" + binPath.substr(0, binPath.find_last_of(L"\\/") + 1) + L"DelvoraRecorder.exe\" -clock-offset " +
            std::to_wstring((start - now).GetTotalSeconds());
  CServiceHandle hManager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  ASSERT_TRUE(hManager);
  CServiceHandle hOld(::OpenServiceW(hManager.Get(), L"DelvoraRecorder", SERVICE_ALL_ACCESS));
  if (hOld) ::DeleteService(hOld.Get());
  hOld.Close();
  CServiceHandle hService(::CreateServiceW(hManager.Get(), L"DelvoraRecorder", L"Delvora Recorder", SERVICE_ALL_ACCESS,
                                           SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                           binPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  ASSERT_TRUE(hService) << ::GetLastError();

  StartService(hService.Get());
  const ULONG ended0 = EndedCalls();
  ASSERT_EQ(S_OK, control.SetClock(0, kDriverClock));
  ::Sleep(25000);
  ASSERT_EQ(S_OK, control.SetClock(0, 0));
  ::Sleep(kSettle);
  const ULONG ended1 = EndedCalls();
  // The calls running now end with the driver: the recorder ends each where it was last seen.
  const ULONG dropped = RunningCalls();
  control.Close();
  ASSERT_EQ(S_OK, SimService::Stop());
  ::Sleep(4000);
  ASSERT_EQ(S_OK, SimService::Start());
  ASSERT_EQ(S_OK, control.Open());
  ASSERT_EQ(S_OK, control.SetClock(0, 0));
  ::Sleep(kSettle);
  const ULONG ended2 = EndedCalls();
  ASSERT_EQ(S_OK, control.SetClock(0, kDriverClock));
  ::Sleep(40000);  // across the recorder's midnight
  ASSERT_EQ(S_OK, control.SetClock(0, 0));
  ::Sleep(kSettle);
  const ULONG ended3 = EndedCalls();
  StopService(hService.Get());

  const size_t recorded = CheckedLines(paths, days).size();
  std::printf("calls ended %lu + %lu, dropped by the driver %lu; lines %zu (%zu, %zu)\n", ended1 - ended0,
              ended3 - ended2, dropped, recorded, Lines(paths[0]).size() - 1, Lines(paths[1]).size() - 1);
  EXPECT_EQ(ended1 - ended0 + dropped + ended3 - ended2, recorded);
  EXPECT_GT(Lines(paths[0]).size(), 1u);
  EXPECT_GT(Lines(paths[1]).size(), 1u);
  WIN32_FIND_DATAW found;
  int nFiles = 0;
  CFindHandle hFind(::FindFirstFileW((folder + L"\\*").c_str(), &found));
  for (bool bMore = hFind.IsValid(); bMore; bMore = ::FindNextFileW(hFind.Get(), &found)) {
    nFiles += (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : 1;
  }
  EXPECT_EQ(2, nFiles) << "two day files";

  // Again the same day: the day's file goes on, and no second writer gets in.
  StartService(hService.Get());
  const std::string before = ReadFile(paths[1]);
  CLogFile secondWriter;
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), secondWriter.Open(paths[1].c_str()));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), secondWriter.OpenAppend(paths[1].c_str()));
  EXPECT_EQ(before, ReadFile(paths[1]));
  const ULONG ended4 = EndedCalls();
  ASSERT_EQ(S_OK, control.SetClock(0, kDriverClock));
  ::Sleep(20000);
  ASSERT_EQ(S_OK, control.SetClock(0, 0));
  ::Sleep(kSettle);
  const ULONG ended5 = EndedCalls();
  StopService(hService.Get());
  EXPECT_EQ(recorded + ended5 - ended4, CheckedLines(paths, days).size());
  EXPECT_EQ(0u, ReadFile(paths[1]).find(before)) << "appended";

  ::DeleteService(hService.Get());
  if (bHadPrevious) {
    ::RegSetValueExW(hKey.Get(), L"Output Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(previous),
                     static_cast<DWORD>((std::wcslen(previous) + 1) * sizeof(wchar_t)));
  }
  control.Close();
  EXPECT_EQ(S_OK, SimService::Stop());
}

}  // namespace
