// The stream model: merging a device's two counter records into its item, and
// the sweep over all devices.

#include <winsock2.h>

#include "stats/StreamModel.h"

#include <utility>

#include "stats/HistoryLimits.h"
#include "support/InitOrder.h"

// Built after the application object and before the device page's items
// (support/InitOrder.h); destroyed in reverse at exit. Until the record log page
// takes over it waits with no more than the largest history would keep.
CEndedStreamQueue g_qEndedStreams DELVORA_INIT_ORDER(init_order::kEndedStreams)(kMaxHistorySize);

namespace {

// Total / PacketCount scaled to the shown unit; -1.0 marks "no packets".
double ScaledAverage(const WaveCounters& in) {
  if (in.PacketCount == 0) return -1.0;
  const long double average =
      static_cast<long double>(in.Total) / static_cast<long double>(in.PacketCount) * 0.0001L;
  return average < 0.0L ? 0.0 : static_cast<double>(average);
}

// The item's stream ends with `end` as its last time; a copy goes to the queue and
// the item is idle again.
void EndStream(ItemData& item, const CTime& end, CEndedStreamQueue& ended) {
  item.m_bActive = false;
  item.m_timeLast = end;
  item.m_spanDuration = end - item.m_timeStart;
  ended.Append(item);
  item.Reset();
}

CString DottedAddress(ULONG address) {
  in_addr value;
  value.s_addr = address;
  const char* dotted = inet_ntoa(value);  // ASCII digits and dots only
  CString text;
  for (const char* p = dotted ? dotted : ""; *p != '\0'; ++p) text += static_cast<wchar_t>(*p);
  return text;
}

// Whether the records show another call than the running item's. Between two
// refreshes one call can end and the next begin: the device stays active, but
// the new call has its own endpoints and counts from zero. The remote end is
// compared only once the playback direction knows it.
bool IsAnotherCall(const WaveCounters& in, const WaveCounters& out, const CString& strAddress,
                   const ItemData& item, bool bCountersReset) {
  if (out.Address != 0 && (strAddress != item.m_strAddress || ntohs(out.AddressPort) != item.m_wAddressPort)) {
    return true;
  }
  if (ntohs(in.Port) != item.m_wPort || in.Codec != item.m_wCodec) return true;
  if (bCountersReset) return false;
  return in.PacketCount < item.m_dwPacketCount || in.Counter < item.m_dwCounter;
}

}  // namespace

void MergeStreamRecords(const WaveCounters& in, const WaveCounters& out, ItemData& item, const MergeHints& hints,
                        const CTime& now, CEndedStreamQueue& ended) {
  if (in.Active == 0) {
    if (!item.m_bActive) return;
    // After an outage nobody saw when it ended: the last sighting is the best
    // bound, and the outage is not talk time.
    EndStream(item, hints.bAfterOutage ? item.m_timeLast : now, ended);
    return;
  }

  CString strAddress = out.Address != 0 ? DottedAddress(out.Address) : CString();
  if (item.m_bActive && IsAnotherCall(in, out, strAddress, item, hints.bCountersReset)) {
    EndStream(item, item.m_timeLast, ended);
  }
  // Until the playback direction knows the remote address a stream is not
  // started, and a running one keeps its last values.
  if (out.Address == 0) return;

  if (!item.m_bActive) item.m_timeStart = now;
  item.m_bActive = true;
  item.m_timeLast = now;
  item.m_spanDuration = now - item.m_timeStart;
  item.m_strAddress = std::move(strAddress);
  item.m_wAddressPort = ntohs(out.AddressPort);
  item.m_wPort = ntohs(in.Port);
  item.m_dAverage = ScaledAverage(in);
  item.m_dwCounter = in.Counter;
  item.m_wCodec = in.Codec;
  item.m_dwPacketCount = in.PacketCount;
}

void CStreamSweep::SetDeviceCount(int nDevices) {
  const size_t count = nDevices > 0 ? static_cast<size_t>(nDevices) : 0;
  m_failures.assign(count, S_OK);
  m_items.resize(count);
  for (size_t n = 0; n < count; ++n) m_items[n].m_nDevice = static_cast<int>(n);
}

HRESULT CStreamSweep::GetFailure(int nDevice) const {
  if (nDevice < 0 || static_cast<size_t>(nDevice) >= m_failures.size()) return S_OK;
  return m_failures[static_cast<size_t>(nDevice)];
}

SweepSummary CStreamSweep::Sweep(const CTime& now, CSweepObserver* pObserver) {
  SweepSummary summary;
  const unsigned int nResets = m_pAccess->GetResetCount();
  MergeHints hints;
  hints.bCountersReset = nResets != m_nResetsSeen;
  m_nResetsSeen = nResets;
  // The item as it was before the merge, for the observer only: a copy per device
  // costs a sweep of many devices more than nothing.
  ItemData before;
  const int count = GetDeviceCount();
  for (int i = 0; i < count; ++i) {
    const size_t n = static_cast<size_t>(i);
    DeviceSweepResult result;
    result.nDevice = i;
    WaveCounters in = {};
    WaveCounters out = {};
    result.pszKind = L"WaveInCounters";
    result.hr = m_pAccess->QueryWaveInCounters(i, in);
    if (SUCCEEDED(result.hr)) {
      result.pszKind = L"WaveOutCounters";
      result.hr = m_pAccess->QueryWaveOutCounters(i, out);
    }
    result.hrPrevious = m_failures[n];
    m_failures[n] = result.Failed() ? result.hr : S_OK;
    ItemData& item = m_items[n];
    if (result.Failed()) {
      ++summary.nFailed;
      if (result.IsNewFailure() && summary.firstNewFailure.nDevice < 0) summary.firstNewFailure = result;
      if (pObserver && !pObserver->OnDeviceSwept(result, item, item)) {
        summary.bStopped = true;
        return summary;
      }
      continue;
    }
    result.pszKind = nullptr;
    if (pObserver) before = item;
    hints.bAfterOutage = FAILED(result.hrPrevious);
    MergeStreamRecords(in, out, item, hints, now, m_ended);
    if (pObserver && !pObserver->OnDeviceSwept(result, before, item)) {
      summary.bStopped = true;
      return summary;
    }
  }
  return summary;
}
