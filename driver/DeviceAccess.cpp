#include "driver/DeviceAccess.h"

#include "driver/DeviceDiscovery.h"
#include "driver/DriverControl.h"

int CDeviceAccess::GetDeviceCount() { return ::GetDeviceCount(); }

HRESULT CDeviceAccess::QueryWaveInCounters(int nDevice, WaveCounters& record) {
  return ::QueryWaveInCounters(nDevice, record);
}

HRESULT CDeviceAccess::QueryWaveOutCounters(int nDevice, WaveCounters& record) {
  return ::QueryWaveOutCounters(nDevice, record);
}

HRESULT CDeviceAccess::QueryGlobalCounters(GlobalCounters& record, FILETIME& timestamp) {
  return ::QueryGlobalCounters(record, timestamp);
}

void CDeviceAccess::ResetAllCounters() {
  ++m_nResets;
  ResetDevices();
}

void CDeviceAccess::ResetDevices() { ::ResetAllCounters(); }

CDeviceAccess& CDeviceAccess::Driver() {
  static CDeviceAccess s_driver;
  return s_driver;
}
