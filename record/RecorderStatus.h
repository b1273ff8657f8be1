#pragma once
// What the program knows of the recorder service: its name, the day file it
// writes, and its state as the service control manager reports it to a reader.

#include <windows.h>

#include "framework/String.h"
#include "framework/Time.h"

// The service that records ended streams while no window is open.
constexpr wchar_t kRecorderServiceName[] = L"DelvoraRecorder";

enum class RecorderState { kNotInstalled, kStopped, kPending, kRunning, kUnknown };

struct RecorderStatus {
  RecorderState state = RecorderState::kUnknown;
  HRESULT hr = S_OK;  // why the state is unknown
};

// Asks the service control manager with read-only rights (connect, query
// status); every failure comes back as kUnknown with its code, never as a throw.
RecorderStatus QueryRecorderStatus(const wchar_t* pszService = kRecorderServiceName);

// The recorder's file of the local day of `time` in `folder`:
// folder\Delvora-YYYY-MM-DD.log.
CString RecorderDayFile(const CString& strFolder, const CTime& time);
