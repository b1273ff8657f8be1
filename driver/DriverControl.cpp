#include "driver/DriverControl.h"

#include <cstring>
#include <cwchar>

#include "driver/DeviceDiscovery.h"
#include "support/UniqueHandle.h"
#include "support/Win32Result.h"

namespace {

// Room for "\\.\" + a prefix of the program's length + a 32-bit index.
constexpr size_t kPathLength = 64;

// "\\.\<prefix><index>"; false when the prefix is too long for the buffer.
bool MakeDevicePath(wchar_t (&szPath)[kPathLength], const wchar_t* pszPrefix, int nDevice) {
  int nWritten = _snwprintf(szPath, kPathLength, L"\\\\.\\%s%d", pszPrefix, nDevice);
  szPath[kPathLength - 1] = L'\0';
  return nWritten >= 0 && static_cast<size_t>(nWritten) < kPathLength;
}

// One open, request, close cycle with a zero-filled answer of the record's size;
// the bytes the driver doesn't write stay zero.
HRESULT QueryRecord(const wchar_t* pszPath, DWORD dwCode, void* pAnswer, DWORD cbAnswer) {
  CFileHandle device(OpenDriverDevice(pszPath));
  if (!device)
    return HResultFromError(GetLastError());
  memset(pAnswer, 0, cbAnswer);
  DWORD cbReturned = 0;
  if (!DeviceIoControl(device.Get(), dwCode, nullptr, 0, pAnswer, cbAnswer, &cbReturned, nullptr))
    return HResultFromError(GetLastError());  // read before the close can overwrite it
  return S_OK;
}

}  // namespace

HANDLE OpenDriverDevice(const wchar_t* pszName) {
  return CreateFileW(pszName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}

HRESULT QueryGlobalCounters(GlobalCounters& record, FILETIME& timestamp) {
  GlobalCounters answer;
  HRESULT hr = QueryRecord(L"\\\\.\\" TQ_WAVEIN_PREFIX L"0", IOCTL_GET_GLOBAL_COUNTERS, &answer, sizeof(answer));
  if (FAILED(hr))
    return hr;
  record = answer;
  memcpy(&timestamp, &answer, sizeof(timestamp));
  return S_OK;
}

HRESULT QueryDeviceCounters(int nDevice, const wchar_t* pszPrefix, WaveCounters& record) {
  wchar_t szPath[kPathLength];
  if (pszPrefix == nullptr || !MakeDevicePath(szPath, pszPrefix, nDevice))
    return E_INVALIDARG;
  WaveCounters answer;
  HRESULT hr = QueryRecord(szPath, IOCTL_GET_WAVE_COUNTERS, &answer, sizeof(answer));
  if (SUCCEEDED(hr))
    record = answer;
  return hr;
}

HRESULT QueryWaveInCounters(int nDevice, WaveCounters& record) {
  return QueryDeviceCounters(nDevice, TQ_WAVEIN_PREFIX, record);
}

HRESULT QueryWaveOutCounters(int nDevice, WaveCounters& record) {
  return QueryDeviceCounters(nDevice, TQ_WAVEOUT_PREFIX, record);
}

void ResetAllCounters() {
  for (int nDevice = 0; nDevice < GetDeviceCount(); ++nDevice) {
    wchar_t szPath[kPathLength];
    if (!MakeDevicePath(szPath, TQ_WAVEIN_PREFIX, nDevice))
      continue;
    CFileHandle device(OpenDriverDevice(szPath));
    if (!device)
      continue;
    DWORD cbReturned = 0;
    DeviceIoControl(device.Get(), IOCTL_RESET_COUNTERS, nullptr, 0, nullptr, 0, &cbReturned, nullptr);
  }
}
