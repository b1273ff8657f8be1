// Measures what QueryWaveInCounters adds to a bare CreateFileW / DeviceIoControl /
// CloseHandle cycle. Both kinds run over the same 256 devices of the simulated
// driver, side by side device by device in alternating order, so drift in the
// machine's load touches both alike.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/DriverControl.h"
#include "tqaudio/SimClient.h"

namespace {

constexpr int kDevices = 256;

double Seconds(const LARGE_INTEGER& start, const LARGE_INTEGER& end, const LARGE_INTEGER& frequency) {
  return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The bare cycle with the path built beforehand.
bool RawCycle(const std::wstring& path) {
  HANDLE device = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (device == INVALID_HANDLE_VALUE)
    return false;
  WaveCounters record = {};
  DWORD returned = 0;
  BOOL ok = DeviceIoControl(device, IOCTL_GET_WAVE_COUNTERS, nullptr, 0, &record, sizeof(record), &returned,
                            nullptr);
  CloseHandle(device);
  return ok != FALSE;
}

bool FunctionCycle(int device) {
  WaveCounters record = {};
  return SUCCEEDED(QueryWaveInCounters(device, record));
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? atoi(argv[1]) : 40;
  if (rounds < 2 || rounds > 10000) {
    fprintf(stderr, "usage: driver_bench [rounds, 2..10000]\n");
    return 2;
  }
  HRESULT hr = SimService::Load(SimService::DriverFileBesideProgram().c_str(), kDevices, 1);
  if (FAILED(hr)) {
    fprintf(stderr, "driver_bench: loading the simulated driver failed: 0x%08lX\n", static_cast<unsigned long>(hr));
    return 1;
  }

  std::vector<std::wstring> paths;
  for (int device = 0; device < kDevices; ++device)
    paths.push_back(L"\\\\.\\TqWaveIn" + std::to_wstring(device));

  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  bool ok = true;
  for (int device = 0; ok && device < kDevices; ++device)  // warm-up
    ok = RawCycle(paths[device]) && FunctionCycle(device);

  // Each device gets one cycle of each kind per round, the kind that goes first
  // alternating from device to device and round to round.
  double rawTotal = 0.0, functionTotal = 0.0;
  std::vector<double> ratios;
  for (int round = 0; ok && round < rounds; ++round) {
    double raw = 0.0, function = 0.0;
    for (int device = 0; ok && device < kDevices; ++device) {
      LARGE_INTEGER t0, t1, t2;
      bool rawFirst = (round + device) % 2 == 0;
      QueryPerformanceCounter(&t0);
      ok = rawFirst ? RawCycle(paths[device]) : FunctionCycle(device);
      QueryPerformanceCounter(&t1);
      ok = ok && (rawFirst ? FunctionCycle(device) : RawCycle(paths[device]));
      QueryPerformanceCounter(&t2);
      (rawFirst ? raw : function) += Seconds(t0, t1, frequency);
      (rawFirst ? function : raw) += Seconds(t1, t2, frequency);
    }
    rawTotal += raw;
    functionTotal += function;
    ratios.push_back(function / raw);
  }
  HRESULT stopped = SimService::Stop();
  if (!ok) {
    fprintf(stderr, "driver_bench: a cycle failed\n");
    return 1;
  }

  std::sort(ratios.begin(), ratios.end());
  const double cycles = static_cast<double>(rounds) * kDevices;
  printf("devices %d, rounds %d, cycles per kind %.0f\n", kDevices, rounds, cycles);
  printf("raw CreateFileW/DeviceIoControl/CloseHandle: %.3f s total, %.1f us per cycle\n", rawTotal,
         rawTotal * 1e6 / cycles);
  printf("QueryWaveInCounters:                         %.3f s total, %.1f us per cycle\n", functionTotal,
         functionTotal * 1e6 / cycles);
  printf("ratio functions/raw: %.4f overall, %.4f median of rounds (target at most 1.05)\n",
         functionTotal / rawTotal, ratios[ratios.size() / 2]);
  if (FAILED(stopped))
    fprintf(stderr, "driver_bench: stopping the driver failed: 0x%08lX\n", static_cast<unsigned long>(stopped));
  return 0;
}
