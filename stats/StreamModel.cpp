// The stream model: merging a device's two counter records into its item.

#include <winsock2.h>

#include "stats/DevicePage.h"
#include "support/InitOrder.h"

// Built after the application object, the queue of ended streams first, then the
// device page's items (support/InitOrder.h); destroyed in reverse at exit.
CEndedStreamQueue g_qEndedStreams DELVORA_INIT_ORDER(init_order::kEndedStreams);
std::vector<ItemData> CDevicePage::m_aItemData DELVORA_INIT_ORDER(init_order::kItemData);

namespace {

// Total / PacketCount scaled to the shown unit; -1.0 marks "no packets".
double ScaledAverage(const WaveCounters& in) {
  if (in.PacketCount == 0) return -1.0;
  const long double average =
      static_cast<long double>(in.Total) / static_cast<long double>(in.PacketCount) * 0.0001L;
  return average < 0.0L ? 0.0 : static_cast<double>(average);
}

}  // namespace

void CDevicePage::UpdateItemData(const WaveCounters& in, const WaveCounters& out, ItemData& item) {
  if (in.Active == 0) {
    if (!item.m_bActive) return;
    item.m_bActive = false;
    item.m_timeLast = CTime::GetCurrentTime();
    item.m_spanDuration = item.m_timeLast - item.m_timeStart;
    g_qEndedStreams.Append(item);
    item.Reset();
    return;
  }

  // Until the playback direction knows the remote address the stream is not
  // started, and a running one keeps its last values.
  if (out.Address == 0) return;

  const CTime now = CTime::GetCurrentTime();
  if (!item.m_bActive) item.m_timeStart = now;
  item.m_bActive = true;
  item.m_timeLast = now;
  item.m_spanDuration = now - item.m_timeStart;

  in_addr address;
  address.s_addr = out.Address;
  const char* dotted = inet_ntoa(address);  // ASCII digits and dots only
  item.m_strAddress.Empty();
  for (const char* p = dotted ? dotted : ""; *p != '\0'; ++p) item.m_strAddress += static_cast<wchar_t>(*p);

  item.m_wAddressPort = ntohs(out.AddressPort);
  item.m_wPort = ntohs(in.Port);
  item.m_dAverage = ScaledAverage(in);
  item.m_dwCounter = in.Counter;
  item.m_wCodec = in.Codec;
}
