#pragma once
// The recorder: once a second a sweep of every device (the device page's, from
// the stream model) and every stream that ended written as one line of the
// record log, into the file of the local day on which it ended. Faults are
// reported as events once per episode, and again when it is over; the recorder
// itself goes on. Lines that cannot be written wait in memory, in order, up to
// a bound, and are written as soon as writing works again; a line is taken off
// only once written whole, so none is written twice. One thread only.

#include <windows.h>

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <vector>

#include "driver/DeviceAccess.h"
#include "framework/String.h"
#include "framework/Time.h"
#include "recorder/DayLogFiles.h"
#include "recorder/RecorderEvents.h"
#include "recorder/RecorderSettings.h"
#include "stats/ItemData.h"
#include "stats/StreamModel.h"

class CRecorder {
public:
  // Lines that wait for writing beyond this many drop the oldest.
  static constexpr size_t kMaxWaitingLines = 100000;

  // The records come from `access` (borrowed); the event source opens now.
  explicit CRecorder(CDeviceAccess& access);
  CRecorder(const CRecorder&) = delete;
  CRecorder& operator=(const CRecorder&) = delete;

  // The settings from now on. Each problem is reported when it appears, and not
  // again while the value stays wrong in the same way. A new folder takes the
  // next line; lines that wait go there.
  void ApplySettings(const RecorderSettings& settings, const std::vector<SettingProblem>& problems);
  // Counts the devices, deletes old files, opens the day's file and reports the
  // start. `now` is the recorder's clock (see RecorderRun.h).
  void Start(const CTime& now);
  // One sweep at `now`, then the waiting lines written; a new local day closes
  // the old day's file and deletes old files first.
  void Tick(const CTime& now);
  // Writes what waits once more, closes the file and reports the stop.
  void Stop();

  // Told of every line written, with the file's path (console mode prints it).
  using LineSink = std::function<void(const CString& strPath, const CString& strLine)>;
  void SetLineSink(LineSink sink) { m_lineSink = std::move(sink); }
  CRecorderEvents& Events() { return m_events; }

  const RecorderSettings& GetSettings() const { return m_settings; }
  unsigned long long GetLinesWritten() const { return m_nWritten; }
  size_t GetLinesWaiting() const { return m_waiting.size(); }
  unsigned long long GetLinesDropped() const { return m_nDropped; }
  bool IsDriverFailing() const { return m_bDriverFailing; }
  bool IsWriteFailing() const { return m_bWriteFailing; }

private:
  void TrackDriver(const SweepSummary& summary);
  void TrackWriting(HRESULT hr);
  void WriteWaiting(const LocalDay& today);
  void DeleteOldFiles(const LocalDay& today);

  CRecorderEvents m_events;
  std::vector<ItemData> m_items;
  CEndedStreamQueue m_ended;
  CStreamSweep m_sweep;
  CDayLogFiles m_files;
  RecorderSettings m_settings;
  // The problem last reported per value.
  std::map<CString, CString> m_reportedProblems;
  std::deque<ItemData> m_waiting;
  LocalDay m_today;
  bool m_bStarted = false;
  bool m_bDriverFailing = false;
  bool m_bWriteFailing = false;
  // Lines waiting when writing failed, to tell how many waited once it works.
  unsigned long long m_nWrittenAtFailure = 0;
  unsigned long long m_nDroppedAtFailure = 0;
  unsigned long long m_nWritten = 0;
  unsigned long long m_nDropped = 0;
  LineSink m_lineSink;
};
