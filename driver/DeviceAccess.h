#pragma once
// How a page reaches the devices: the driver's requests, or a stand-in (tests
// and benchmarks give a page a fake driver this way).

#include <windows.h>

#include "driver/DriverProtocol.h"

class CDeviceAccess {
public:
  virtual ~CDeviceAccess() = default;
  // The number of devices (the registry's count, cached for the process).
  virtual int GetDeviceCount();
  // One complete open, request, close each; a negative result code on failure,
  // with the record untouched.
  virtual HRESULT QueryWaveInCounters(int nDevice, WaveCounters& record);
  virtual HRESULT QueryWaveOutCounters(int nDevice, WaveCounters& record);
  // The driver-wide record and its time stamp; a negative result code on failure,
  // with both untouched.
  virtual HRESULT QueryGlobalCounters(GlobalCounters& record, FILETIME& timestamp);
  // The reset request to every device; devices that can't be reached are skipped.
  // Counted, so that whoever follows the devices' counts knows they start again.
  void ResetAllCounters();
  // How many resets were sent through this access.
  unsigned int GetResetCount() const { return m_nResets; }

  // The driver itself.
  static CDeviceAccess& Driver();

protected:
  // Sends the reset requests.
  virtual void ResetDevices();

private:
  unsigned int m_nResets = 0;
};
