#include "recorder/Recorder.h"

#include <utility>

#include "driver/DeviceDiscovery.h"
#include "record/RecordLogData.h"
#include "stats/Formatting.h"

namespace {

CString Number(unsigned long long nValue) {
  CString strText;
  strText.Format(L"%llu", nValue);
  return strText;
}

CString CodeText(HRESULT hr) {
  CString strText;
  strText.Format(L"%#8.8x", static_cast<unsigned int>(hr));
  return strText;
}

CString KeepText(DWORD dwKeepDays) {
  if (dwKeepDays == 0) return L"every day";
  CString strText;
  strText.Format(L"the last %lu days", static_cast<unsigned long>(dwKeepDays));
  return strText;
}

}  // namespace

// Nobody else takes from the queue: every ended stream waits for its line.
CRecorder::CRecorder(CDeviceAccess& access) : m_ended(CEndedStreamQueue::kUnbounded), m_sweep(m_items, m_ended) {
  m_sweep.SetDeviceAccess(&access);
}

void CRecorder::ApplySettings(const RecorderSettings& settings, const std::vector<SettingProblem>& problems) {
  m_settings = settings;
  m_files.SetFolder(settings.strFolder);
  std::map<CString, CString> current;
  for (const SettingProblem& problem : problems) {
    const CString strKnown = problem.strReason + L'\n' + problem.strUsed;
    const auto reported = m_reportedProblems.find(problem.strValue);
    if (reported == m_reportedProblems.end() || reported->second != strKnown) {
      m_events.Report(EVENTLOG_WARNING_TYPE, MSG_SETTING_NOT_VALID,
                      {problem.strValue, CString(L"HKLM\\") + kRecorderSettingsKey, problem.strReason,
                       problem.strUsed});
    }
    current[problem.strValue] = strKnown;
  }
  // A value that is right again starts a new episode when it goes wrong once more.
  m_reportedProblems = std::move(current);
}

void CRecorder::Start(const CTime& now) {
  m_files.SetHeader(CRecordLogData::m_global.GetHeader());
  const int nDevices = m_sweep.GetDeviceAccess().GetDeviceCount();
  m_sweep.SetDeviceCount(nDevices);
  LocalDayOf(now, m_today);
  m_bStarted = true;
  m_events.Report(EVENTLOG_INFORMATION_TYPE, MSG_RECORDER_STARTED,
                  {m_settings.strFolder, Number(static_cast<unsigned long long>(m_sweep.GetDeviceCount())),
                   KeepText(m_settings.dwKeepDays)});
  if (m_sweep.GetDeviceCount() == 0) m_events.Report(EVENTLOG_WARNING_TYPE, MSG_NO_DEVICES, {kDeviceKeysLocation});
  DeleteOldFiles(m_today);
  TrackWriting(m_files.OpenDay(m_today));
}

void CRecorder::Tick(const CTime& now) {
  TrackDriver(m_sweep.Sweep(now));
  ItemData item;
  while (m_ended.TakeFront(item)) {
    if (m_waiting.size() >= kMaxWaitingLines) {
      m_waiting.pop_front();
      ++m_nDropped;
    }
    m_waiting.push_back(item);
  }
  LocalDay today;
  if (LocalDayOf(now, today) && today != m_today) {
    m_files.Close();
    m_today = today;
    DeleteOldFiles(today);
  }
  WriteWaiting(m_today);
}

void CRecorder::Stop() {
  if (m_bStarted) WriteWaiting(m_today);
  m_files.Close();
  m_events.Report(EVENTLOG_INFORMATION_TYPE, MSG_RECORDER_STOPPED,
                  {Number(m_nWritten), Number(m_waiting.size() + m_nDropped)});
  m_bStarted = false;
}

void CRecorder::WriteWaiting(const LocalDay& today) {
  HRESULT hr = S_OK;
  while (!m_waiting.empty()) {
    const ItemData& item = m_waiting.front();
    // A stream belongs to the day on which it ended.
    LocalDay day = today;
    LocalDayOf(item.m_timeLast, day);
    const CString strLine = CRecordLogData::FormatRecord(item);
    hr = m_files.WriteLine(day, strLine);
    if (FAILED(hr)) break;
    ++m_nWritten;
    m_waiting.pop_front();
    if (m_lineSink) m_lineSink(m_files.GetPath(), strLine);
  }
  // The day's file stays open, so that a fault shows before any line waits.
  if (SUCCEEDED(hr)) hr = m_files.OpenDay(today);
  TrackWriting(hr);
}

void CRecorder::TrackWriting(HRESULT hr) {
  const CString strBound = Number(kMaxWaitingLines);
  if (FAILED(hr)) {
    if (m_bWriteFailing) return;
    m_bWriteFailing = true;
    m_nWrittenAtFailure = m_nWritten;
    m_nDroppedAtFailure = m_nDropped;
    m_events.Report(EVENTLOG_ERROR_TYPE, MSG_WRITE_FAILED,
                    {m_files.GetPath(), CodeText(hr), GetSystemErrorTextBesideCode(hr), strBound});
    return;
  }
  if (!m_bWriteFailing) return;
  m_bWriteFailing = false;
  m_events.Report(EVENTLOG_INFORMATION_TYPE, MSG_WRITE_RESUMED,
                  {m_files.GetPath(), Number(m_nWritten - m_nWrittenAtFailure), Number(m_nDropped - m_nDroppedAtFailure),
                   strBound});
}

void CRecorder::TrackDriver(const SweepSummary& summary) {
  const CString strDevices = Number(static_cast<unsigned long long>(m_sweep.GetDeviceCount()));
  if (summary.nFailed > 0) {
    if (m_bDriverFailing) return;
    m_bDriverFailing = true;
    // The sweep before answered on every device, so every failure now is new.
    const DeviceSweepResult& first = summary.firstNewFailure;
    m_events.Report(EVENTLOG_WARNING_TYPE, MSG_DRIVER_NOT_ANSWERING,
                    {Number(static_cast<unsigned long long>(first.nDevice < 0 ? 0 : first.nDevice)),
                     first.pszKind ? first.pszKind : L"", CodeText(first.hr), GetSystemErrorTextBesideCode(first.hr),
                     Number(static_cast<unsigned long long>(summary.nFailed)), strDevices});
    return;
  }
  if (!m_bDriverFailing) return;
  m_bDriverFailing = false;
  m_events.Report(EVENTLOG_INFORMATION_TYPE, MSG_DRIVER_ANSWERING, {strDevices});
}

void CRecorder::DeleteOldFiles(const LocalDay& today) { m_files.DeleteOldFiles(today, m_settings.dwKeepDays); }
