#include "stats/ItemData.h"

#include <cwchar>

ItemData::ItemData() : m_nDevice(0), m_dwRecordId(0) { Reset(); }

void ItemData::Reset() {
  m_bActive = false;
  m_timeStart = m_timeLast = CTime::GetCurrentTime();
  m_spanDuration = CTimeSpan(0);
  m_dAverage = 0.0;
  m_strAddress.Empty();
  m_wAddressPort = 0;
  m_wPort = 0;
  m_dwCounter = 0;
  m_wCodec = 0;
  m_dwPacketCount = 0;
}

namespace {

// -1, 0 or 1 for lhs before, equal to, after rhs.
template <typename T>
int Order(const T& lhs, const T& rhs) {
  if (lhs < rhs) return -1;
  if (rhs < lhs) return 1;
  return 0;
}

int OrderItems(const ItemData& lhs, const ItemData& rhs) {
  int order;
  if ((order = Order(lhs.m_timeLast, rhs.m_timeLast)) != 0) return order;
  if ((order = Order(lhs.m_nDevice, rhs.m_nDevice)) != 0) return order;
  if ((order = Order(lhs.m_timeStart, rhs.m_timeStart)) != 0) return order;
  if ((order = Order(lhs.m_spanDuration, rhs.m_spanDuration)) != 0) return order;
  if ((order = Order(lhs.m_dAverage, rhs.m_dAverage)) != 0) return order;
  const int text = std::wcscmp(lhs.m_strAddress, rhs.m_strAddress);
  if (text != 0) return text < 0 ? -1 : 1;
  if ((order = Order(lhs.m_wAddressPort, rhs.m_wAddressPort)) != 0) return order;
  if ((order = Order(lhs.m_wPort, rhs.m_wPort)) != 0) return order;
  if ((order = Order(lhs.m_dwCounter, rhs.m_dwCounter)) != 0) return order;
  if ((order = Order(lhs.m_wCodec, rhs.m_wCodec)) != 0) return order;
  if ((order = Order(lhs.m_dwRecordId, rhs.m_dwRecordId)) != 0) return order;
  return Order(lhs.m_bActive, rhs.m_bActive);
}

}  // namespace

bool operator<(const ItemData& lhs, const ItemData& rhs) { return OrderItems(lhs, rhs) < 0; }

void CEndedStreamQueue::Append(const ItemData& item) {
  if (m_bBounded) {
    while (m_items.size() >= m_nWaitingBound) m_items.pop_front();
  }
  m_items.push_back(item);
}

bool CEndedStreamQueue::TakeFront(ItemData& item) {
  if (m_items.empty()) return false;
  item = m_items.front();
  m_items.pop_front();
  return true;
}
