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
  // The record-direction packet count at the latest sighting: a count that goes
  // down on a running device is a new call. Not shown, not logged, not ordered.
  DWORD m_dwPacketCount;
};

// The fields the lists sort by.
enum class OrderField {
  kDevice, kStart, kEnd, kAverage, kAddress, kAddressPort, kPort, kCodec, kDuration, kCounter,
  kNone
};
constexpr int kOrderFields = static_cast<int>(OrderField::kNone);

// Says nothing of the order: the fields themselves must be compared.
constexpr unsigned long long kNoOrderKey = ~0ULL;

// A field as a number whose unsigned order is the field's ascending order in the
// lists (equal numbers exactly for fields that compare equal), so that a sort can
// compare keys kept beside the items instead of the items: integers and times by
// value, the average by value (-0.0 as 0.0), the address code unit by code unit.
// kNoOrderKey where no such number is made (a NaN average; an address longer than
// a dotted quad or with units other than digits and dots), and for the largest
// time or duration.
unsigned long long GetOrderKey(const ItemData& item, OrderField field);

// What a refresh knows of a device beyond its two records, for the merge.
struct MergeHints {
  // The device did not answer at some refresh since its item was last merged:
  // a stream found over now ended at its last sighting, not now.
  bool bAfterOutage = false;
  // The device's counters were reset since then: counts that went down do not
  // tell a new call.
  bool bCountersReset = false;
};

// Total order: end time first, then the remaining fields in declaration order
// (device, start, duration, average, address, ports, counter, codec, record id,
// running flag). Items equal in every one of them are not ordered.
bool operator<(const ItemData& lhs, const ItemData& rhs);

// First-in first-out queue of ended streams: the device page appends, the record
// log page takes from the front (the recorder service has a queue of its own,
// unbounded from the start). One thread only. Until the record log page first
// takes from it, it keeps only the newest items, as many as its bound (the
// largest history size): the history keeps no more than that, so the first trim
// would erase the older ones anyway, and no log file can be open before the page
// is shown. From then on it is unbounded, so that no ended stream misses the log.
class CEndedStreamQueue {
public:
  // The bound for a queue that is unbounded from the start.
  static constexpr size_t kUnbounded = 0;

  explicit CEndedStreamQueue(size_t nWaitingBound)
      : m_nWaitingBound(nWaitingBound), m_bBounded(nWaitingBound != kUnbounded) {}

  void Append(const ItemData& item);
  // Copies the front item out and removes it; false when the queue is empty.
  bool TakeFront(ItemData& item);
  bool IsEmpty() const { return m_items.empty(); }
  size_t GetCount() const { return m_items.size(); }
  void Clear() { m_items.clear(); }
  // The record log page takes over: from now on nothing is dropped.
  void StopBounding() { m_bBounded = false; }
  // Back to the state at start-up (tests).
  void StartBounding() { m_bBounded = m_nWaitingBound != kUnbounded; }
  bool IsBounded() const { return m_bBounded; }

private:
  std::deque<ItemData> m_items;
  size_t m_nWaitingBound;
  bool m_bBounded;
};

extern CEndedStreamQueue g_qEndedStreams;
