#pragma once
// The counter records of a running stream that the device benchmarks script:
// every device busy, every value changing from round to round.

#include <winsock2.h>

#include "driver/DriverProtocol.h"

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

}  // namespace bench
