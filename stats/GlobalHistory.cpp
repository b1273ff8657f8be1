#include "stats/GlobalHistory.h"

#include <algorithm>

#include "framework/Time.h"
#include "resources/resource.h"

namespace {

ULONGLONG FileTimeValue(const FILETIME& time) {
  return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Whether the counts of two neighbouring samples can be subtracted (see the header).
bool CountsCarryOn(const GlobalSample& before, const GlobalSample& after) {
  if (!before.bAnswered || !after.bAnswered || before.nResets != after.nResets || after.nTime <= before.nTime) {
    return false;
  }
  const GlobalCounters& a = before.record;
  const GlobalCounters& b = after.record;
  for (unsigned int GlobalCounters::*count :
       {&GlobalCounters::Counter2, &GlobalCounters::Counter3, &GlobalCounters::Counter4, &GlobalCounters::Counter5}) {
    if (b.*count < a.*count) return false;
  }
  for (int k = 0; k < 3; ++k) {
    if (b.GroupA[k] < a.GroupA[k] || b.GroupB[k] < a.GroupB[k]) return false;
  }
  return true;
}

CString UnsignedText(unsigned int nValue) {
  CString text;
  text.Format(L"%u", nValue);
  return text;
}

// One column of the copied text: its title and how a sample's cell is made.
struct HistoryColumn {
  UINT nTitleId;
  CString (*pfnText)(const CGlobalHistory& history, int nIndex);
};

CString TimeText(const CGlobalHistory& history, int nIndex) {
  return history.GetSample(nIndex).GetTime().Format(L"%Y-%m-%d %H:%M:%S");
}

template <unsigned int GlobalCounters::*Count>
CString CountText(const CGlobalHistory& history, int nIndex) {
  const GlobalSample& sample = history.GetSample(nIndex);
  return sample.bAnswered ? UnsignedText(sample.record.*Count) : CString();
}

template <unsigned int (GlobalCounters::*Group)[3], int N>
CString GroupText(const CGlobalHistory& history, int nIndex) {
  const GlobalSample& sample = history.GetSample(nIndex);
  return sample.bAnswered ? UnsignedText((sample.record.*Group)[N]) : CString();
}

template <HistoryValue Value>
CString RateText(const CGlobalHistory& history, int nIndex) {
  double dRate = 0;
  CString text;
  if (history.GetValue(nIndex, Value, dRate)) text.Format(L"%.2f", dRate);
  return text;
}

const HistoryColumn kColumns[] = {
    {IDS_HISTORY_TIME, &TimeText},
    {IDS_HISTORY_ACTIVE, &CountText<&GlobalCounters::Counter1>},
    {IDS_HISTORY_ENDED, &CountText<&GlobalCounters::Counter2>},
    {IDS_HISTORY_PACKETS, &CountText<&GlobalCounters::Counter3>},
    {IDS_HISTORY_LOST, &CountText<&GlobalCounters::Counter4>},
    {IDS_HISTORY_UPTIME, &CountText<&GlobalCounters::Counter5>},
    {IDS_HISTORY_STARTED_G711, &GroupText<&GlobalCounters::GroupA, 0>},
    {IDS_HISTORY_STARTED_G729, &GroupText<&GlobalCounters::GroupA, 1>},
    {IDS_HISTORY_STARTED_OTHER, &GroupText<&GlobalCounters::GroupA, 2>},
    {IDS_HISTORY_TALK_G711, &GroupText<&GlobalCounters::GroupB, 0>},
    {IDS_HISTORY_TALK_G729, &GroupText<&GlobalCounters::GroupB, 1>},
    {IDS_HISTORY_TALK_OTHER, &GroupText<&GlobalCounters::GroupB, 2>},
    {IDS_HISTORY_ENDED_PER_MINUTE, &RateText<HistoryValue::EndedPerMinute>},
    {IDS_HISTORY_PACKETS_PER_SECOND, &RateText<HistoryValue::PacketsPerSecond>},
    {IDS_HISTORY_LOST_PER_SECOND, &RateText<HistoryValue::LostPerSecond>},
};

}  // namespace

CTime GlobalSample::GetTime() const {
  const FILETIME time = {static_cast<DWORD>(nTime), static_cast<DWORD>(nTime >> 32)};
  return CTime(time);
}

void CGlobalHistory::Sample(CDeviceAccess& access) {
  GlobalSample sample;
  sample.nResets = access.GetResetCount();
  FILETIME stamp = {};
  sample.bAnswered = SUCCEEDED(access.QueryGlobalCounters(sample.record, stamp));
  if (!sample.bAnswered) {
    sample.record = GlobalCounters{};
    ::GetSystemTimeAsFileTime(&stamp);
  }
  sample.nTime = FileTimeValue(stamp);
  Add(sample);
}

void CGlobalHistory::Add(const GlobalSample& sample) {
  if (GetCount() < kCapacity) {
    m_ring.push_back(sample);
    return;
  }
  m_ring[static_cast<size_t>(m_nOldest)] = sample;
  m_nOldest = (m_nOldest + 1) % kCapacity;
}

const GlobalSample& CGlobalHistory::GetSample(int nIndex) const {
  return m_ring[static_cast<size_t>((m_nOldest + nIndex) % kCapacity)];
}

bool CGlobalHistory::GetValue(int nIndex, HistoryValue value, double& dValue) const {
  if (nIndex < 0 || nIndex >= GetCount()) return false;
  const GlobalSample& after = GetSample(nIndex);
  if (value == HistoryValue::ActiveStreams) {
    dValue = after.record.Counter1;
    return after.bAnswered;
  }
  if (nIndex == 0 || !CountsCarryOn(GetSample(nIndex - 1), after)) return false;
  const GlobalSample& before = GetSample(nIndex - 1);
  unsigned int GlobalCounters::*count = &GlobalCounters::Counter2;
  double dSecondsPerUnit = 60;
  if (value != HistoryValue::EndedPerMinute) {
    count = value == HistoryValue::PacketsPerSecond ? &GlobalCounters::Counter3 : &GlobalCounters::Counter4;
    dSecondsPerUnit = 1;
  }
  const double dSeconds = static_cast<double>(after.nTime - before.nTime) / 1e7;
  dValue = static_cast<double>(after.record.*count - before.record.*count) / dSeconds * dSecondsPerUnit;
  return true;
}

CString GlobalHistoryText(const CGlobalHistory& history, int nSamples) {
  CString text;
  for (const HistoryColumn& column : kColumns) {
    CString title;
    title.LoadString(column.nTitleId);
    if (&column != kColumns) text += L'\t';
    text += title;
  }
  text += L"\r\n";
  for (int i = std::max(0, history.GetCount() - nSamples); i < history.GetCount(); ++i) {
    for (const HistoryColumn& column : kColumns) {
      if (&column != kColumns) text += L'\t';
      text += column.pfnText(history, i);
    }
    text += L"\r\n";
  }
  return text;
}
