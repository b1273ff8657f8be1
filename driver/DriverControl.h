#pragma once
// The program's side of the driver control protocol: one complete open, request,
// close cycle per call, no handle kept between calls. Every query returns a
// result code (HRESULT) and writes its outputs only on success.

#include <windows.h>

#include "driver/DriverProtocol.h"

// CreateFileW for reading, shared for reading, open existing. INVALID_HANDLE_VALUE
// when the device can't be opened (the last error says why).
HANDLE OpenDriverDevice(const wchar_t* pszName);

// The driver-wide record, asked of \\.\TqWaveIn0. On success timestamp receives
// the record's first 8 bytes as well.
HRESULT QueryGlobalCounters(GlobalCounters& record, FILETIME& timestamp);

// The record of device nDevice in the direction named by pszPrefix
// (TQ_WAVEIN_PREFIX or TQ_WAVEOUT_PREFIX): the path "\\.\<prefix><device>".
// A null prefix (or one too long for a device path) gives E_INVALIDARG.
HRESULT QueryDeviceCounters(int nDevice, const wchar_t* pszPrefix, WaveCounters& record);
HRESULT QueryWaveInCounters(int nDevice, WaveCounters& record);
HRESULT QueryWaveOutCounters(int nDevice, WaveCounters& record);

// Sends the reset request to \\.\TqWaveIn0 ... \\.\TqWaveIn<count-1> in order,
// count from GetDeviceCount. Devices that can't be opened or refuse are skipped.
void ResetAllCounters();
