#pragma once
// Loads the simulated driver for a test program: installs tqaudio.sys from beside
// the test executable, sizes it with Device keys, starts it in scripted mode and
// then rewrites the keys to the count this process's GetDeviceCount should read.

#include <windows.h>

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "tqaudio/SimClient.h"

class CDriverEnvironment : public ::testing::Environment {
public:
  // nDriverDevices: devices the driver creates; nProgramDevices: the Device keys
  // left in the registry afterwards, which is what GetDeviceCount will count.
  CDriverEnvironment(int nDriverDevices, int nProgramDevices)
      : m_nDriverDevices(nDriverDevices), m_nProgramDevices(nProgramDevices) {}

  void SetUp() override;
  void TearDown() override;

  // Stops and starts the driver again with this environment's device counts.
  static void Restart();
  // Stops the driver (closing the control device first).
  static void Stop();

  static CSimControl& Control();
  static int DriverDevices();

private:
  static void Load();

  int m_nDriverDevices;
  int m_nProgramDevices;
};

// The driver's event log since the last clear, failing the test when unreadable.
std::vector<TQSIM_EVENT> ReadEvents();

// Device closes reach the driver after CloseHandle has returned; wait (briefly)
// until every successful open of the device has been closed again.
TQSIM_STATS WaitForBalancedStats(ULONG nDevice, ULONG nDirection);

// A record filled with a byte no driver answer here contains, to see what a call
// wrote and what it left alone.
template <typename T>
T Filled() {
  T value;
  memset(&value, 0xCC, sizeof(value));
  return value;
}

template <typename T>
bool SameBytes(const T& left, const T& right) {
  return memcmp(&left, &right, sizeof(T)) == 0;
}
