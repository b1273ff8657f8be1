#include "stats/ItemData.h"

#include <cmath>
#include <cstring>
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

// Signed values keep their order once the sign bit is flipped.
unsigned long long SignedKey(long long value) { return static_cast<unsigned long long>(value) ^ (1ULL << 63); }

unsigned long long DoubleKey(double value) {
  if (std::isnan(value)) return kNoOrderKey;  // compares equal to every value
  if (value == 0.0) value = 0.0;              // -0.0 compares equal to 0.0
  unsigned long long bits;
  std::memcpy(&bits, &value, sizeof bits);
  // Negative values order by falling magnitude, below every positive value.
  return (bits >> 63) != 0 ? ~bits : bits | (1ULL << 63);
}

// Four bits a unit, the end of the text below every unit, so that a shorter text
// comes before the longer ones it begins: 15 units, a dotted quad, fit in 60 bits.
unsigned long long TextKey(const CString& strText) {
  const int kUnits = 15;
  const int length = strText.GetLength();
  if (length > kUnits) return kNoOrderKey;
  unsigned long long key = 0;
  for (int i = 0; i < kUnits; ++i) {
    unsigned code = 0;
    if (i < length) {
      const wchar_t ch = strText[i];
      if (ch == L'.') {
        code = 1;
      } else if (ch >= L'0' && ch <= L'9') {
        code = 2 + static_cast<unsigned>(ch - L'0');
      } else {
        return kNoOrderKey;
      }
    }
    key = key << 4 | code;
  }
  return key;
}

}  // namespace

unsigned long long GetOrderKey(const ItemData& item, OrderField field) {
  switch (field) {
    case OrderField::kDevice: return SignedKey(item.m_nDevice);
    case OrderField::kStart: return SignedKey(item.m_timeStart.GetTime());
    case OrderField::kEnd: return SignedKey(item.m_timeLast.GetTime());
    case OrderField::kAverage: return DoubleKey(item.m_dAverage);
    case OrderField::kAddress: return TextKey(item.m_strAddress);
    case OrderField::kAddressPort: return item.m_wAddressPort;
    case OrderField::kPort: return item.m_wPort;
    case OrderField::kCodec: return item.m_wCodec;
    case OrderField::kDuration: return SignedKey(item.m_spanDuration.GetTotalSeconds());
    case OrderField::kCounter: return item.m_dwCounter;
    case OrderField::kNone: break;
  }
  return kNoOrderKey;
}

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
