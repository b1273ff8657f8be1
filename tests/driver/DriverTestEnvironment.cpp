#include "DriverTestEnvironment.h"

namespace {

CSimControl g_control;
int g_nDriverDevices = 0;
int g_nProgramDevices = 0;

}  // namespace

void CDriverEnvironment::Load() {
  g_control.Close();
  HRESULT hr = SimService::Load(SimService::DriverFileBesideProgram().c_str(), g_nDriverDevices, 20240611);
  ASSERT_EQ(S_OK, hr) << "loading the simulated driver";
  ASSERT_EQ(S_OK, g_control.Open());
  TQSIM_INFO info = {};
  ASSERT_EQ(S_OK, g_control.GetInfo(info));
  ASSERT_EQ(static_cast<unsigned>(g_nDriverDevices), info.DeviceCount);
  ASSERT_EQ(S_OK, g_control.SetMode(TQSIM_MODE_SCRIPTED));
  ASSERT_EQ(S_OK, g_control.Clear(TQSIM_CLEAR_COUNTERS | TQSIM_CLEAR_SCRIPT));
  ASSERT_EQ(S_OK, SimService::SetDeviceKeys(g_nProgramDevices));
}

void CDriverEnvironment::SetUp() {
  g_nDriverDevices = m_nDriverDevices;
  g_nProgramDevices = m_nProgramDevices;
  Load();
}

void CDriverEnvironment::TearDown() {
  Stop();
}

void CDriverEnvironment::Restart() {
  Stop();
  Load();
}

void CDriverEnvironment::Stop() {
  g_control.Close();
  EXPECT_EQ(S_OK, SimService::Stop());
}

CSimControl& CDriverEnvironment::Control() {
  return g_control;
}

int CDriverEnvironment::DriverDevices() {
  return g_nDriverDevices;
}

std::vector<TQSIM_EVENT> ReadEvents() {
  std::vector<TQSIM_EVENT> events;
  ULONG nDropped = 0;
  EXPECT_EQ(S_OK, g_control.GetEvents(events, &nDropped));
  EXPECT_EQ(0u, nDropped);
  return events;
}

TQSIM_STATS WaitForBalancedStats(ULONG nDevice, ULONG nDirection) {
  TQSIM_STATS stats = {};
  for (int nAttempt = 0; nAttempt < 100; ++nAttempt) {
    EXPECT_EQ(S_OK, g_control.GetStats(nDevice, nDirection, stats));
    if (stats.Closes >= stats.Opens)
      break;
    Sleep(20);
  }
  return stats;
}
