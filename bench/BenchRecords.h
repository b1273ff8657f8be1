#pragma once
// The counter records of a running stream that the device benchmarks script:
// every device busy, every value changing from round to round.

#include <winsock2.h>

#include <cstdio>

#include "bench/BenchSupport.h"
#include "driver/DriverControl.h"
#include "driver/DriverProtocol.h"
#include "tqaudio/SimClient.h"

namespace bench {

inline WaveCounters RunningIn(int device, int round) {
  WaveCounters in = {};
  in.Active = 1;
  in.Total = 100000LL * (device + 1) + 7919LL * round;
  in.PacketCount = 10 + static_cast<unsigned>(round);
  in.Port = htons(static_cast<u_short>(5000 + device));
  in.Counter = static_cast<unsigned>(round);
  in.Codec = 7;
  return in;
}

inline WaveCounters RunningOut(int device) {
  WaveCounters out = {};
  out.Address = htonl(0x0A000001u + static_cast<unsigned>(device));
  out.AddressPort = htons(static_cast<u_short>(9000 + device));
  return out;
}

// The raw work a sweep is measured against: both records of every device asked
// for once, each request opening and closing its device.
inline void QueryEveryDevice(int devices) {
  WaveCounters record;
  for (int d = 0; d < devices; ++d) {
    QueryWaveInCounters(d, record);
    QueryWaveOutCounters(d, record);
  }
}

// The simulated driver loaded anew with `devices` devices in scripted mode, each
// with its remote end set; false, said on the output, when it cannot be.
inline bool LoadScriptedDriver(int devices, CSimControl& control) {
  if (FAILED(SimService::Load(BinFile(TQSIM_DRIVER_FILE_NAME).c_str(), devices, 1))) {
    std::printf("cannot load the simulated driver\n");
    return false;
  }
  if (FAILED(control.Open()) || FAILED(control.SetMode(TQSIM_MODE_SCRIPTED))) {
    std::printf("cannot script the simulated driver\n");
    return false;
  }
  for (int d = 0; d < devices; ++d) control.SetWaveRecord(static_cast<ULONG>(d), TQSIM_DIRECTION_OUT, RunningOut(d));
  return true;
}

}  // namespace bench
