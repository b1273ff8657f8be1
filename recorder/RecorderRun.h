#pragma once
// How the recorder runs, as a service and in the console alike: settings read at
// start and whenever their key changes (or hSettingsChanged is set, as the
// service's parameter-change control does), a tick once a second, until hStop is
// set or the given seconds are over.
//
// The recorder's clock is the system clock plus a fixed offset in seconds
// (-clock-offset on the command line; 0 normally). Everything the recorder
// dates goes by it: the streams' times, and so their lines and the day of their
// file, and the day's roll. Tests move it across local midnight this way while
// the simulated driver's own clock goes on as it likes.

#include <windows.h>

#include <functional>

#include "framework/String.h"
#include "framework/Time.h"
#include "recorder/Recorder.h"

struct RecorderRunOptions {
  CString strFolder;           // the files' folder; empty: the "Output Path" setting
  long long nClockOffset = 0;  // seconds added to the system clock
  DWORD dwSeconds = 0;         // 0: until stopped
};

// The service-specific exit codes of a recorder that could not start.
constexpr DWORD kExitSettingsKey = 1;    // the settings key could neither be opened nor created
constexpr DWORD kExitNoEvent = 2;        // no event object for the settings' changes

// The recorder's clock.
CTime RecorderNow(long long nClockOffset);

// Runs `recorder` until hStop is set or the seconds are over; onRunning is called
// once it has started. 0 after a stop; a kExit* code, reported as an event,
// when it could not start.
DWORD RunRecorder(const RecorderRunOptions& options, HANDLE hStop, HANDLE hSettingsChanged, CRecorder& recorder,
                  const std::function<void()>& onRunning);
