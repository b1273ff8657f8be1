#pragma once
// User-mode side of the simulated driver: installing and running its service,
// the Device%03d keys that size it, and the control device that scripts it.
// Used by the tqsim tool, the driver tests and the driver benchmark. Every
// operation returns a result code (HRESULT) built from the failing call's error.

#include <windows.h>

#include <string>
#include <vector>

#include "support/UniqueHandle.h"
#include "tqaudio/SimControl.h"

// The control device \\.\TqSimControl of a running driver.
class CSimControl {
public:
  HRESULT Open();                 // fails with the folded error when the driver isn't running
  void Close() noexcept { m_device.Close(); }
  bool IsOpen() const noexcept { return m_device.IsValid(); }

  HRESULT GetInfo(TQSIM_INFO& info);
  HRESULT SetMode(ULONG mode);
  HRESULT SetWaveRecord(ULONG device, ULONG direction, const WaveCounters& record);
  HRESULT SetGlobalRecord(const GlobalCounters& record);
  HRESULT SetShortAnswer(ULONG device, ULONG direction, ULONG bytes);   // TQSIM_FULL_ANSWER ends it
  HRESULT SetFailure(ULONG device, ULONG direction, ULONG operation, LONG status);  // status 0 ends it
  HRESULT GetStats(ULONG device, ULONG direction, TQSIM_STATS& stats);
  // Every event kept since the last clear, in order; dropped receives how many
  // more happened than the log could keep.
  HRESULT GetEvents(std::vector<TQSIM_EVENT>& events, ULONG* dropped = nullptr);
  HRESULT Clear(ULONG flags);     // TQSIM_CLEAR_*
  HRESULT SetClock(LONGLONG advance, ULONG scale, LONGLONG* simulatedTime = nullptr);

private:
  HRESULT Request(DWORD code, const void* input, DWORD inputSize, void* output, DWORD outputSize,
                  DWORD* returned = nullptr);

  CFileHandle m_device;
};

// The driver's service in the service control manager of this machine (or Wine
// prefix) and its registry parameters.
namespace SimService {
  // Copies the driver file into the system's drivers folder and registers it as
  // a demand-start kernel driver (updating an existing registration).
  HRESULT Install(const wchar_t* driverFile);
  // Starts the driver and waits until it runs; running already is success.
  HRESULT Start();
  // Stops the driver and waits until it has unloaded; stopped already is success.
  HRESULT Stop();
  // Stops and unregisters the driver, removes its file and its parameters.
  HRESULT Remove();
  // Current state (SERVICE_RUNNING, SERVICE_STOPPED, ...) or 0 when not installed.
  DWORD QueryState();
  // Writes Device000 ... Device<count-1> below the parameters key and removes the
  // keys that follow, so the unbroken run is exactly count long.
  HRESULT SetDeviceKeys(int count);
  HRESULT SetSeed(DWORD seed);
  // The drivers folder path of the driver file.
  HRESULT InstalledDriverPath(wchar_t* path, DWORD capacity);
  // tqaudio.sys beside the running program, where the build puts it.
  std::wstring DriverFileBesideProgram();
  // Install, set count and seed, then (re)start so the driver counts its devices anew.
  HRESULT Load(const wchar_t* driverFile, int deviceCount, DWORD seed);
}
