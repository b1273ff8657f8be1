#pragma once
// The stream item of one device and the queue of ended streams. An item is a
// plain value: copies (onto the queue, into the history) are independent.

#include <windows.h>

#include <cstddef>
#include <deque>

#include "framework/String.h"
#include "framework/Time.h"

struct ItemData {
  ItemData();
  ItemData(const ItemData&) = default;
  ItemData& operator=(const ItemData&) = default;

  // Back to idle: both times the current time, values cleared. The device and
  // the record id are kept.
  void Reset();

  int m_nDevice;
  bool m_bActive;
  CTime m_timeStart;
  CTime m_timeLast;
  CTimeSpan m_spanDuration;
  double m_dAverage;        // -1.0 marks a record without packets
  CString m_strAddress;
  WORD m_wAddressPort;      // host byte order
  WORD m_wPort;             // host byte order
  DWORD m_dwCounter;
  WORD m_wCodec;            // wave-format tag
  DWORD m_dwRecordId;       // given by the history store; 0 on the device page
};

// Total order: end time first, then the remaining fields in declaration order
// (device, start, duration, average, address, ports, counter, codec, record id,
// running flag). Items equal in every field are not ordered.
bool operator<(const ItemData& lhs, const ItemData& rhs);

// First-in first-out queue of ended streams: the device page appends, the record
// log page takes from the front. GUI thread only; unbounded.
class CEndedStreamQueue {
public:
  void Append(const ItemData& item) { m_items.push_back(item); }
  // Copies the front item out and removes it; false when the queue is empty.
  bool TakeFront(ItemData& item);
  bool IsEmpty() const { return m_items.empty(); }
  size_t GetCount() const { return m_items.size(); }
  void Clear() { m_items.clear(); }

private:
  std::deque<ItemData> m_items;
};

extern CEndedStreamQueue g_qEndedStreams;
