#pragma once
// The texts and comparisons of an item's fields as the list pages show them,
// the pieces from which each page builds its column table.

#include "framework/String.h"
#include "stats/ItemData.h"

namespace item_columns {

// Cell texts.
CString DeviceText(const ItemData& item);        // "%03d"
CString StartText(const ItemData& item);         // FormatTimeStamp of the start
CString EndText(const ItemData& item);           // FormatTimeStamp of the last time seen
CString AverageText(const ItemData& item);       // FormatAverage
CString AddressText(const ItemData& item);       // the dotted quad as held
CString AddressPortText(const ItemData& item);   // "%ld", 0 to 65535
CString PortText(const ItemData& item);          // "%ld", 0 to 65535
CString CodecText(const ItemData& item);         // FormatCodecName
CString DurationText(const ItemData& item);      // ClampToULong of the seconds, "%lu"
CString CounterText(const ItemData& item);       // "%lu"

// Comparisons by one field in the given direction.
int ByDevice(const ItemData& a, const ItemData& b, bool bAscending);
int ByStart(const ItemData& a, const ItemData& b, bool bAscending);
int ByEnd(const ItemData& a, const ItemData& b, bool bAscending);
int ByAverage(const ItemData& a, const ItemData& b, bool bAscending);
int ByAddress(const ItemData& a, const ItemData& b, bool bAscending);  // code unit by code unit
int ByAddressPort(const ItemData& a, const ItemData& b, bool bAscending);
int ByPort(const ItemData& a, const ItemData& b, bool bAscending);
int ByCodec(const ItemData& a, const ItemData& b, bool bAscending);
int ByDuration(const ItemData& a, const ItemData& b, bool bAscending);
int ByCounter(const ItemData& a, const ItemData& b, bool bAscending);

// Tie-breaks, always ascending.
int DeviceOrder(const ItemData& a, const ItemData& b);
int EndOrder(const ItemData& a, const ItemData& b);

// The order keys that give the order of a column sorted by pfnCompare, its ties
// broken by pfnTieBreak (null: ties stand): the fields of the two. field is
// OrderField::kNone when either function is not one of the above: the column's
// order then comes from the functions alone.
struct ColumnOrder {
  OrderField field;
  OrderField tieField;  // kNone: ties stand
};
constexpr ColumnOrder OrderOf(int (*pfnCompare)(const ItemData& a, const ItemData& b, bool bAscending),
                              int (*pfnTieBreak)(const ItemData& a, const ItemData& b)) {
  OrderField field = OrderField::kNone;
  if (pfnCompare == ByDevice) field = OrderField::kDevice;
  if (pfnCompare == ByStart) field = OrderField::kStart;
  if (pfnCompare == ByEnd) field = OrderField::kEnd;
  if (pfnCompare == ByAverage) field = OrderField::kAverage;
  if (pfnCompare == ByAddress) field = OrderField::kAddress;
  if (pfnCompare == ByAddressPort) field = OrderField::kAddressPort;
  if (pfnCompare == ByPort) field = OrderField::kPort;
  if (pfnCompare == ByCodec) field = OrderField::kCodec;
  if (pfnCompare == ByDuration) field = OrderField::kDuration;
  if (pfnCompare == ByCounter) field = OrderField::kCounter;
  if (pfnTieBreak == DeviceOrder) return {field, OrderField::kDevice};
  if (pfnTieBreak == EndOrder) return {field, OrderField::kEnd};
  if (pfnTieBreak == nullptr) return {field, OrderField::kNone};
  return {OrderField::kNone, OrderField::kNone};
}

// Widest texts: the longest dotted quad, and a time stamp of an earlier day
// (date and time), so that such columns show their texts whole.
CString AddressSample();
CString TimeStampSample();

}  // namespace item_columns
