#include "stats/ItemColumns.h"

#include "stats/Formatting.h"

namespace item_columns {

namespace {

CString Decimal(long nValue) {
  CString strText;
  strText.Format(L"%ld", nValue);
  return strText;
}

CString UnsignedDecimal(unsigned long nValue) {
  CString strText;
  strText.Format(L"%lu", nValue);
  return strText;
}

}  // namespace

CString DeviceText(const ItemData& item) {
  CString strText;
  strText.Format(L"%03d", item.m_nDevice);
  return strText;
}

CString StartText(const ItemData& item) { return FormatTimeStamp(item.m_timeStart); }
CString EndText(const ItemData& item) { return FormatTimeStamp(item.m_timeLast); }
CString AverageText(const ItemData& item) { return FormatAverage(item.m_dAverage); }
CString AddressText(const ItemData& item) { return item.m_strAddress; }
CString AddressPortText(const ItemData& item) { return Decimal(static_cast<long>(item.m_wAddressPort)); }
CString PortText(const ItemData& item) { return Decimal(static_cast<long>(item.m_wPort)); }
CString CodecText(const ItemData& item) { return FormatCodecName(item.m_wCodec); }

CString DurationText(const ItemData& item) {
  return UnsignedDecimal(ClampToULong(item.m_spanDuration.GetTotalSeconds()));
}

CString CounterText(const ItemData& item) { return UnsignedDecimal(item.m_dwCounter); }

int ByDevice(const ItemData& a, const ItemData& b, bool bAscending) {
  return CompareLong(a.m_nDevice, b.m_nDevice, bAscending);
}
int ByStart(const ItemData& a, const ItemData& b, bool bAscending) {
  return CompareTime(a.m_timeStart, b.m_timeStart, bAscending);
}
int ByEnd(const ItemData& a, const ItemData& b, bool bAscending) {
  return CompareTime(a.m_timeLast, b.m_timeLast, bAscending);
}
int ByAverage(const ItemData& a, const ItemData& b, bool bAscending) {
  return CompareDouble(a.m_dAverage, b.m_dAverage, bAscending);
}
int ByAddress(const ItemData& a, const ItemData& b, bool bAscending) {
  return CompareText(a.m_strAddress, b.m_strAddress, bAscending);
}
int ByAddressPort(const ItemData& a, const ItemData& b, bool bAscending) {
  return CompareULong(a.m_wAddressPort, b.m_wAddressPort, bAscending);
}
int ByPort(const ItemData& a, const ItemData& b, bool bAscending) {
  return CompareULong(a.m_wPort, b.m_wPort, bAscending);
}
int ByCodec(const ItemData& a, const ItemData& b, bool bAscending) {
  return CompareULong(a.m_wCodec, b.m_wCodec, bAscending);
}
int ByDuration(const ItemData& a, const ItemData& b, bool bAscending) {
  return CompareTimeSpan(a.m_spanDuration, b.m_spanDuration, bAscending);
}
int ByCounter(const ItemData& a, const ItemData& b, bool bAscending) {
  return CompareULong(a.m_dwCounter, b.m_dwCounter, bAscending);
}

int DeviceOrder(const ItemData& a, const ItemData& b) { return ByDevice(a, b, true); }
int EndOrder(const ItemData& a, const ItemData& b) { return ByEnd(a, b, true); }

CString AddressSample() { return L"255.255.255.255"; }

CString TimeStampSample() {
  // Two days back is never today, so the stamp takes its date-and-time form.
  return FormatTimeStamp(CTime::GetCurrentTime() - CTimeSpan(2, 0, 0, 0));
}

}  // namespace item_columns
