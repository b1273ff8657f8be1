// The driver control functions when there is nothing to talk to: no devices in
// the registry, and a driver that isn't running.

#include <gtest/gtest.h>

#include "DriverTestEnvironment.h"
#include "driver/DeviceDiscovery.h"
#include "driver/DriverControl.h"

namespace {

// The driver has devices, but the registry this process counts says none.
::testing::Environment* const g_pEnvironment = ::testing::AddGlobalTestEnvironment(new CDriverEnvironment(2, 0));

}  // namespace

TEST(NoDevices, ResetAllCountersOpensNothing) {
  CSimControl& control = CDriverEnvironment::Control();
  ASSERT_TRUE(control.IsOpen());
  ASSERT_EQ(S_OK, control.Clear(TQSIM_CLEAR_COUNTERS));
  ResetAllCounters();
  EXPECT_EQ(0, GetDeviceCount());
  EXPECT_TRUE(ReadEvents().empty());
  // The driver's own devices are there: nothing stopped the loop but the count.
  WaveCounters record = {};
  EXPECT_EQ(S_OK, QueryWaveInCounters(1, record));
}

TEST(StoppedDriver, EveryQueryFailsWithTheOpenErrorAndLeavesTheRecords) {
  CDriverEnvironment::Stop();

  WaveCounters record = Filled<WaveCounters>();
  EXPECT_EQ(static_cast<HRESULT>(0x80070002), QueryWaveInCounters(0, record));
  EXPECT_EQ(static_cast<HRESULT>(0x80070002), QueryWaveOutCounters(1, record));
  EXPECT_EQ(static_cast<HRESULT>(0x80070002), QueryDeviceCounters(0, TQ_WAVEIN_PREFIX, record));
  EXPECT_TRUE(SameBytes(Filled<WaveCounters>(), record));

  GlobalCounters global = Filled<GlobalCounters>();
  FILETIME timestamp = Filled<FILETIME>();
  EXPECT_EQ(static_cast<HRESULT>(0x80070002), QueryGlobalCounters(global, timestamp));
  EXPECT_TRUE(SameBytes(Filled<GlobalCounters>(), global));
  EXPECT_TRUE(SameBytes(Filled<FILETIME>(), timestamp));

  ResetAllCounters();  // nothing to reach and nothing to report

  CDriverEnvironment::Restart();
  EXPECT_EQ(S_OK, QueryWaveInCounters(0, record));
}
