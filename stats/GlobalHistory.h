#pragma once
// The driver-wide record sampled every two seconds while the main sheet is open,
// the last hour of it, and the rates drawn from it. Window-free: the sheet drives
// the sampling and the global page draws it.
//
// A rate is the growth of a count between two neighbouring samples over the growth
// of their driver time stamps. Where that cannot be trusted the line has a gap,
// never a negative or made-up value: at a sample the driver did not answer and the
// one after it, where the time stamp did not move forward, where a reset was sent
// through the access in between, and where any count that only grows (every count
// but the active streams) went down. A count goes down at a reset (Reset Counters,
// here or from another program), at a driver restart, and when it wraps past
// 4294967295. A wrap and a reset can be told apart only by size, and reading a
// reset as a wrap would draw a spike as high as the count had been; a wrap comes
// once in 2^32 counts (about a day at 50,000 packets a second) and costs one
// two-second point. So every fall is a gap; the next interval counts from the new
// value.

#include <windows.h>

#include <vector>

#include "driver/DeviceAccess.h"
#include "driver/DriverProtocol.h"
#include "framework/String.h"
#include "framework/Time.h"

// One reading of the driver-wide record.
struct GlobalSample {
  bool bAnswered = false;    // false: the request failed, the record is zero
  ULONGLONG nTime = 0;       // the record's time stamp, or the program's clock when asked (FILETIME units, UTC)
  unsigned int nResets = 0;  // resets sent through the access before the reading
  GlobalCounters record = {};

  // nTime in whole seconds.
  CTime GetTime() const;
};

// What a sample tells: a count as read, or a rate over the interval that ends there.
enum class HistoryValue { ActiveStreams, EndedPerMinute, PacketsPerSecond, LostPerSecond };

class CGlobalHistory {
public:
  static constexpr int kCapacity = 1800;   // an hour of samples
  static constexpr UINT kPeriodMs = 2000;  // between two samples

  CGlobalHistory() { m_ring.reserve(kCapacity); }

  // Asks the access for the record once and keeps what it said; the oldest
  // sample goes when the ring is full.
  void Sample(CDeviceAccess& access);
  void Add(const GlobalSample& sample);

  int GetCount() const { return static_cast<int>(m_ring.size()); }
  // 0 is the oldest sample kept, GetCount() - 1 the newest.
  const GlobalSample& GetSample(int nIndex) const;
  // false where the line has a gap.
  bool GetValue(int nIndex, HistoryValue value, double& dValue) const;

private:
  std::vector<GlobalSample> m_ring;
  int m_nOldest = 0;  // the oldest sample's place in the ring once it is full
};

// The newest nSamples samples (all when fewer are kept) as the Edit menu copies
// them: a line of column titles, then a line per sample, oldest first: its time,
// the counts, the rates; cells separated by tabs, every line ended by CR LF. A
// sample the driver did not answer has only its time; a rate at a gap is empty.
CString GlobalHistoryText(const CGlobalHistory& history, int nSamples);
