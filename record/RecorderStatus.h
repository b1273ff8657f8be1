#pragma once
// The recorder service as the program sees it: its state as the service control
// manager reports it to a reader, and the file it writes today.

#include <windows.h>

#include "framework/String.h"
#include "framework/Time.h"
#include "record/RecorderFiles.h"

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
