// Recorder speed and memory under Wine, measured side by side in one run:
//   1. one tick of the recorder over 256 running devices whose values change every
//      tick, against the 512 raw open/request/close cycles it needs (target:
//      tick / raw <= 1.05);
//   2. with -soak [minutes] (10 by default): DelvoraRecorder.exe -console against
//      64 devices in demo mode, its private bytes sampled each minute, and their
//      slope after the first minute (target: flat).
// Run from bin: wine recorder_bench.exe [-soak [minutes]] (needs tqaudio.sys beside it).

#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "bench/BenchRecords.h"
#include "bench/BenchSupport.h"
#include "driver/DriverControl.h"
#include "framework/Resource.h"
#include "recorder/Recorder.h"
#include "support/UniqueHandle.h"
#include "tqaudio/SimClient.h"

using namespace bench;

namespace {

const int kDevices = 256;
// The driver's own times swing from round to round: the ratio is taken per round.
const int kRounds = 21;

std::wstring TempFolder(const wchar_t* name) {
  wchar_t temp[MAX_PATH];
  const std::wstring folder = std::wstring(temp, ::GetTempPathW(MAX_PATH, temp)) + name;
  ::CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

int TickAgainstRaw() {
  CSimControl control;
  if (!LoadScriptedDriver(kDevices, control)) return 1;
  CRecorder recorder(CDeviceAccess::Driver());
  recorder.ApplySettings({TempFolder(L"delvora_recorder_bench").c_str(), kDefaultKeepDays}, {});
  recorder.Start(CTime::GetCurrentTime());
  std::vector<double> ticks, raws, ratios;
  for (int round = 0; round <= kRounds; ++round) {
    for (int d = 0; d < kDevices; ++d) control.SetWaveRecord(static_cast<ULONG>(d), TQSIM_DIRECTION_IN, RunningIn(d, round));
    const double t0 = Now();
    recorder.Tick(CTime::GetCurrentTime());
    const double t1 = Now();
    QueryEveryDevice(kDevices);
    const double t2 = Now();
    if (round == 0) continue;  // the first tick starts every stream
    ticks.push_back(t1 - t0);
    raws.push_back(t2 - t1);
    ratios.push_back((t1 - t0) / (t2 - t1));
  }
  recorder.Stop();
  control.Close();
  SimService::Stop();
  std::printf("recorder tick of %d running devices (values change each time): median %.2f ms over %d rounds\n",
              kDevices, Median(ticks) * 1000, kRounds);
  std::printf("%d raw open/request/close cycles:                 median %.2f ms\n", 2 * kDevices,
              Median(raws) * 1000);
  std::printf("ratio tick / raw: %.3f of the medians, %.3f the median of the rounds' ratios (target <= 1.05)\n",
              Median(ticks) / Median(raws), Median(ratios));
  return 0;
}

// Committed private pages of the process (Wine leaves PrivateUsage at 0).
double PrivateBytes(HANDLE hProcess) {
  PROCESS_MEMORY_COUNTERS_EX memory = {};
  memory.cb = sizeof(memory);
  if (::GetProcessMemoryInfo(hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory)) &&
      memory.PrivateUsage != 0) {
    return static_cast<double>(memory.PrivateUsage);
  }
  double total = 0;
  MEMORY_BASIC_INFORMATION region;
  for (const BYTE* p = nullptr; ::VirtualQueryEx(hProcess, p, &region, sizeof(region)) != 0;
       p = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += static_cast<double>(region.RegionSize);
  }
  return total;
}

int Soak(int minutes) {
  if (FAILED(SimService::Load(BinFile(TQSIM_DRIVER_FILE_NAME).c_str(), 64, 7))) {
    std::printf("cannot load the simulated driver\n");
    return 1;
  }
  const std::wstring folder = TempFolder(L"delvora_recorder_soak");
  std::wstring command = L"\"" + BinFile(L"DelvoraRecorder.exe") + L"\" -console -seconds " +
                         std::to_wstring(minutes * 60 + 30) + L" -folder \"" + folder + L"\"";
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  CFileHandle hOutput(::CreateFileW((folder + L"\\console.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = hOutput.Get();
  startup.hStdError = hOutput.Get();
  PROCESS_INFORMATION process = {};
  if (!hOutput || !::CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                    &process)) {
    std::printf("cannot start DelvoraRecorder.exe\n");
    return 1;
  }
  CKernelHandle hProcess(process.hProcess);
  CKernelHandle hThread(process.hThread);
  std::vector<double> samples;
  for (int minute = 0; minute <= minutes; ++minute) {
    if (minute > 0) ::Sleep(60000);
    samples.push_back(PrivateBytes(hProcess.Get()));
    std::printf("minute %d: private bytes %.0f\n", minute, samples.back());
  }
  ::WaitForSingleObject(hProcess.Get(), 120000);
  DWORD dwExit = 0;
  ::GetExitCodeProcess(hProcess.Get(), &dwExit);
  SimService::Stop();
  // Least-squares growth per minute from the end of the first minute on.
  double meanX = 0, meanY = 0, num = 0, den = 0;
  const size_t n = samples.size() - 1;
  for (size_t i = 1; i <= n; ++i) {
    meanX += static_cast<double>(i) / static_cast<double>(n);
    meanY += samples[i] / static_cast<double>(n);
  }
  for (size_t i = 1; i <= n; ++i) {
    num += (static_cast<double>(i) - meanX) * (samples[i] - meanY);
    den += (static_cast<double>(i) - meanX) * (static_cast<double>(i) - meanX);
  }
  std::printf("private bytes after the first minute: slope %+.0f bytes per minute (target flat); recorder exit %lu;"
              " its output is in %ls\\console.txt\n",
              den > 0 ? num / den : 0.0, static_cast<unsigned long>(dwExit), folder.c_str());
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::printf("recorder benchmark\n");
  // The log's texts, as the recorder has them.
  const HMODULE hTexts = ::LoadLibraryExW(BinFile(L"enu\\DelvoraRes.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (hTexts) AfxSetResourceHandle(hTexts);
  if (argc >= 2 && std::wcscmp(argv[1], L"-soak") == 0) return Soak(argc >= 3 ? std::max(2, _wtoi(argv[2])) : 10);
  return TickAgainstRaw();
}
