// The stream model: how counter records turn into stream items, when an ended
// stream reaches the queue, and the total order of items.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "stats/DevicePage.h"
#include "stats/ItemData.h"

namespace {

bool SameItem(const ItemData& a, const ItemData& b) {
  return a.m_nDevice == b.m_nDevice && a.m_bActive == b.m_bActive && a.m_timeStart == b.m_timeStart &&
         a.m_timeLast == b.m_timeLast && a.m_spanDuration == b.m_spanDuration && a.m_dAverage == b.m_dAverage &&
         a.m_strAddress == b.m_strAddress && a.m_wAddressPort == b.m_wAddressPort && a.m_wPort == b.m_wPort &&
         a.m_dwCounter == b.m_dwCounter && a.m_wCodec == b.m_wCodec && a.m_dwRecordId == b.m_dwRecordId;
}

// A record-direction record of a running stream and the matching playback record.
struct Records {
  WaveCounters in{};
  WaveCounters out{};
  Records() {
    in.Active = 1;
    in.Total = 200000;
    in.PacketCount = 4;
    in.Port = 0xC413;  // bytes 13 C4: port 5060 in network order
    in.Counter = 950;
    in.Codec = 7;
    out.Address = 0x0100007F;  // 127.0.0.1 in network order
    out.AddressPort = 0x0040;  // bytes 40 00: port 16384
  }
};

class StreamModel : public ::testing::Test {
protected:
  void SetUp() override { g_qEndedStreams.Clear(); }
  void TearDown() override { g_qEndedStreams.Clear(); }
};

TEST_F(StreamModel, NewItemIsIdleAtTheCurrentTime) {
  const CTime before = CTime::GetCurrentTime();
  ItemData item;
  const CTime after = CTime::GetCurrentTime();
  EXPECT_EQ(0, item.m_nDevice);
  EXPECT_FALSE(item.m_bActive);
  EXPECT_LE(before, item.m_timeStart);
  EXPECT_GE(after, item.m_timeStart);
  EXPECT_EQ(item.m_timeStart, item.m_timeLast);
  EXPECT_EQ(0, item.m_spanDuration.GetTotalSeconds());
  EXPECT_EQ(0.0, item.m_dAverage);
  EXPECT_TRUE(item.m_strAddress.IsEmpty());
  EXPECT_EQ(0u, item.m_dwRecordId);
}

TEST_F(StreamModel, StreamStartsWithValuesFromBothDirections) {
  Records r;
  ItemData item;
  item.m_nDevice = 3;
  const CTime before = CTime::GetCurrentTime();
  CDevicePage::UpdateItemData(r.in, r.out, item);
  const CTime after = CTime::GetCurrentTime();

  EXPECT_TRUE(item.m_bActive);
  EXPECT_EQ(3, item.m_nDevice);
  EXPECT_LE(before, item.m_timeStart);
  EXPECT_GE(after, item.m_timeStart);
  EXPECT_EQ(item.m_timeStart, item.m_timeLast);
  EXPECT_EQ(0, item.m_spanDuration.GetTotalSeconds());
  EXPECT_STREQ(L"127.0.0.1", item.m_strAddress);
  EXPECT_DOUBLE_EQ(5.0, item.m_dAverage);
  EXPECT_EQ(5060, item.m_wPort);
  EXPECT_EQ(16384, item.m_wAddressPort);
  EXPECT_EQ(950u, item.m_dwCounter);
  EXPECT_EQ(7, item.m_wCodec);
  EXPECT_TRUE(g_qEndedStreams.IsEmpty());
}

TEST_F(StreamModel, AverageMarksNoPacketsAndNeverGoesNegative) {
  Records r;
  ItemData item;
  r.in.PacketCount = 0;
  CDevicePage::UpdateItemData(r.in, r.out, item);
  EXPECT_EQ(-1.0, item.m_dAverage);

  r.in.PacketCount = 1;
  r.in.Total = -5;
  CDevicePage::UpdateItemData(r.in, r.out, item);
  EXPECT_EQ(0.0, item.m_dAverage);

  // Totals beyond 32 bits and counts beyond 31 bits are not cut.
  r.in.Total = 0x7FFFFFFFFFFFLL;
  r.in.PacketCount = 0xFFFFFFFFu;
  CDevicePage::UpdateItemData(r.in, r.out, item);
  EXPECT_NEAR(static_cast<double>(0x7FFFFFFFFFFFLL) / 4294967295.0 * 0.0001, item.m_dAverage, 1e-12);
}

TEST_F(StreamModel, RunningStreamKeepsStartAndUpdatesDuration) {
  Records r;
  ItemData item;
  CDevicePage::UpdateItemData(r.in, r.out, item);
  // Pretend the stream began 65 seconds ago.
  const CTime start = item.m_timeStart - CTimeSpan(65);
  item.m_timeStart = start;
  r.in.Counter = 1000;
  r.in.PacketCount = 9;
  CDevicePage::UpdateItemData(r.in, r.out, item);

  EXPECT_EQ(start, item.m_timeStart);
  EXPECT_GE(item.m_spanDuration.GetTotalSeconds(), 65);
  EXPECT_LE(item.m_spanDuration.GetTotalSeconds(), 66);
  EXPECT_EQ(item.m_timeLast - item.m_timeStart, item.m_spanDuration);
  EXPECT_EQ(1000u, item.m_dwCounter);
  EXPECT_TRUE(g_qEndedStreams.IsEmpty());
}

TEST_F(StreamModel, ZeroAddressLeavesIdleAndRunningItemsUntouched) {
  Records r;
  r.out.Address = 0;
  ItemData idle;
  idle.m_nDevice = 1;
  const ItemData idleBefore = idle;
  CDevicePage::UpdateItemData(r.in, r.out, idle);
  EXPECT_TRUE(SameItem(idleBefore, idle)) << "an idle item must not start without an address";

  Records first;
  ItemData running;
  CDevicePage::UpdateItemData(first.in, first.out, running);
  running.m_timeStart -= CTimeSpan(30);
  running.m_timeLast -= CTimeSpan(10);
  const ItemData frozen = running;
  // The same call's counts go on, but without an address nothing may change.
  r.in.Total = 999999;
  r.in.PacketCount = 7;
  r.in.Counter = 977;
  CDevicePage::UpdateItemData(r.in, r.out, running);
  EXPECT_TRUE(SameItem(frozen, running)) << "a running item freezes while the address reads 0";
  EXPECT_TRUE(g_qEndedStreams.IsEmpty());
}

TEST_F(StreamModel, EachEndedStreamReachesTheQueueExactlyOnce) {
  Records r;
  WaveCounters stopped = r.in;
  stopped.Active = 0;
  ItemData item;
  item.m_nDevice = 2;

  // First stream: starts, runs, ends, and the device stays idle for two refreshes.
  CDevicePage::UpdateItemData(r.in, r.out, item);
  item.m_timeStart -= CTimeSpan(120);
  const CTime firstStart = item.m_timeStart;
  CDevicePage::UpdateItemData(r.in, r.out, item);
  const CTime before = CTime::GetCurrentTime();
  CDevicePage::UpdateItemData(stopped, r.out, item);
  const CTime after = CTime::GetCurrentTime();
  CDevicePage::UpdateItemData(stopped, r.out, item);
  CDevicePage::UpdateItemData(stopped, r.out, item);
  ASSERT_EQ(1u, g_qEndedStreams.GetCount());

  // The device's own item is idle again with fresh times.
  EXPECT_FALSE(item.m_bActive);
  EXPECT_EQ(2, item.m_nDevice);
  EXPECT_EQ(item.m_timeStart, item.m_timeLast);
  EXPECT_EQ(0.0, item.m_dAverage);
  EXPECT_TRUE(item.m_strAddress.IsEmpty());
  EXPECT_EQ(0, item.m_wPort);

  // Second stream on the same device.
  r.in.Codec = 0x0133;
  CDevicePage::UpdateItemData(r.in, r.out, item);
  CDevicePage::UpdateItemData(stopped, r.out, item);
  ASSERT_EQ(2u, g_qEndedStreams.GetCount());

  ItemData ended;
  ASSERT_TRUE(g_qEndedStreams.TakeFront(ended));
  EXPECT_FALSE(ended.m_bActive);
  EXPECT_EQ(2, ended.m_nDevice);
  EXPECT_EQ(firstStart, ended.m_timeStart);
  EXPECT_LE(before, ended.m_timeLast);
  EXPECT_GE(after, ended.m_timeLast);
  EXPECT_EQ(ended.m_timeLast - ended.m_timeStart, ended.m_spanDuration);
  EXPECT_GE(ended.m_spanDuration.GetTotalSeconds(), 120);
  // The values of the last refresh that saw the stream running are kept.
  EXPECT_STREQ(L"127.0.0.1", ended.m_strAddress);
  EXPECT_DOUBLE_EQ(5.0, ended.m_dAverage);
  EXPECT_EQ(5060, ended.m_wPort);
  EXPECT_EQ(7, ended.m_wCodec);

  ASSERT_TRUE(g_qEndedStreams.TakeFront(ended));
  EXPECT_EQ(0x0133, ended.m_wCodec);
  EXPECT_FALSE(g_qEndedStreams.TakeFront(ended));
  EXPECT_EQ(0x0133, ended.m_wCodec) << "a failed take leaves the target alone";
}

// Another call between two refreshes, or an outage: an ended call ends where it
// was last seen (90 s ago, 100 s after its start), never at the refresh that
// finds it over.
TEST_F(StreamModel, ACallFoundOverLateEndsAtItsLastSighting) {
  const auto changes = {+[](Records& r) { r.out.Address = 0x0202020A; }, +[](Records& r) { r.out.AddressPort = 80; },
                        +[](Records& r) { r.in.Port = 1; },
                        +[](Records& r) { r.in.Codec = 6; },
                        +[](Records& r) { r.in.PacketCount = 3; },
                        +[](Records& r) { r.in.Counter = 949; },
                        +[](Records& r) { r.in.Active = 0; },
                        +[](Records& r) { r.in.Port = 1, r.out.Address = 0; }};
  int n = 0;
  for (auto change : changes) {
    Records r;
    ItemData item;
    CDevicePage::UpdateItemData(r.in, r.out, item);
    item.m_timeStart -= CTimeSpan(190);
    item.m_timeLast -= CTimeSpan(90);
    const ItemData first = item;
    change(r);
    MergeHints outage;
    outage.bAfterOutage = true;  // tells only when a call found idle ended
    CDevicePage::UpdateItemData(r.in, r.out, item, outage);
    ItemData ended;
    ASSERT_TRUE(g_qEndedStreams.TakeFront(ended)) << "change " << n;
    // Without the next call's address the device is idle until it is known.
    EXPECT_TRUE(ended.m_timeLast == first.m_timeLast && ended.m_spanDuration.GetTotalSeconds() == 100 &&
                ended.m_strAddress == first.m_strAddress && ended.m_wAddressPort == first.m_wAddressPort &&
                ended.m_wPort == first.m_wPort && ended.m_wCodec == first.m_wCodec && !ended.m_bActive)
        << "change " << n;
    // The next call, if any, starts now with its own values.
    EXPECT_EQ(r.in.Active != 0 && r.out.Address != 0, item.m_bActive && item.m_timeStart > first.m_timeLast)
        << "change " << n;
    EXPECT_TRUE(g_qEndedStreams.IsEmpty());
    ++n;
  }

  // More packets, a higher counter, or counts that went down after a reset, and
  // a call that outlived an outage: the same call goes on.
  Records r;
  ItemData item;
  CDevicePage::UpdateItemData(r.in, r.out, item);
  const CTime start = item.m_timeStart;
  r.in.PacketCount = 5;
  r.in.Counter = 951;
  MergeHints outage;
  outage.bAfterOutage = true;
  CDevicePage::UpdateItemData(r.in, r.out, item, outage);
  r.in.PacketCount = 0;
  r.in.Counter = 0;
  MergeHints reset;
  reset.bCountersReset = true;
  CDevicePage::UpdateItemData(r.in, r.out, item, reset);
  EXPECT_TRUE(g_qEndedStreams.IsEmpty());
  EXPECT_EQ(start, item.m_timeStart);
}

TEST_F(StreamModel, QueuedCopyIsIndependentOfTheDeviceItem) {
  Records r;
  WaveCounters stopped = r.in;
  stopped.Active = 0;
  ItemData item;
  CDevicePage::UpdateItemData(r.in, r.out, item);
  CDevicePage::UpdateItemData(stopped, r.out, item);
  r.out.Address = 0x0202020A;  // 10.2.2.2
  CDevicePage::UpdateItemData(r.in, r.out, item);
  ItemData ended;
  ASSERT_TRUE(g_qEndedStreams.TakeFront(ended));
  EXPECT_STREQ(L"127.0.0.1", ended.m_strAddress);
  EXPECT_STREQ(L"10.2.2.2", item.m_strAddress);
}

TEST_F(StreamModel, TimesAfter2038StayPositive) {
  // 2040-01-01 00:00:00 UTC: past the 32-bit limit of January 2038.
  const CTime late(2208988800LL);
  ItemData item;
  item.m_timeStart = late;
  item.m_timeLast = late + CTimeSpan(90);
  item.m_spanDuration = item.m_timeLast - item.m_timeStart;
  EXPECT_EQ(90, item.m_spanDuration.GetTotalSeconds());
  ItemData early;
  early.m_timeLast = CTime(2000000000LL);  // 2033
  EXPECT_TRUE(early < item);
  EXPECT_FALSE(item < early);
}

// --- the total order ---------------------------------------------------------

ItemData BaseItem() {
  ItemData item;
  item.m_nDevice = 1;
  item.m_timeStart = CTime(1000);
  item.m_timeLast = CTime(2000);
  item.m_spanDuration = CTimeSpan(1000);
  item.m_dAverage = 1.5;
  item.m_strAddress = L"10.0.0.1";
  item.m_wAddressPort = 100;
  item.m_wPort = 200;
  item.m_dwCounter = 300;
  item.m_wCodec = 7;
  item.m_dwRecordId = 5;
  item.m_bActive = false;
  return item;
}

TEST(ItemOrder, EachFieldDecidesInTurn) {
  const ItemData base = BaseItem();
  EXPECT_FALSE(base < base);
  ItemData copy = base;
  EXPECT_FALSE(copy < base);
  EXPECT_FALSE(base < copy);

  // Each change makes `larger` greater in exactly one field.
  std::vector<std::pair<const char*, ItemData>> larger;
  auto add = [&](const char* name, auto change) {
    ItemData item = base;
    change(item);
    larger.emplace_back(name, item);
  };
  add("m_timeLast", [](ItemData& i) { i.m_timeLast = CTime(2001); });
  add("m_nDevice", [](ItemData& i) { i.m_nDevice = 2; });
  add("m_timeStart", [](ItemData& i) { i.m_timeStart = CTime(1001); });
  add("m_spanDuration", [](ItemData& i) { i.m_spanDuration = CTimeSpan(1001); });
  add("m_dAverage", [](ItemData& i) { i.m_dAverage = 1.75; });
  add("m_strAddress", [](ItemData& i) { i.m_strAddress = L"10.0.0.2"; });
  add("m_wAddressPort", [](ItemData& i) { i.m_wAddressPort = 40000; });
  add("m_wPort", [](ItemData& i) { i.m_wPort = 40000; });
  add("m_dwCounter", [](ItemData& i) { i.m_dwCounter = 0x80000000u; });
  add("m_wCodec", [](ItemData& i) { i.m_wCodec = 0x0133; });
  add("m_dwRecordId", [](ItemData& i) { i.m_dwRecordId = 0x80000000u; });
  add("m_bActive", [](ItemData& i) { i.m_bActive = true; });
  for (const auto& entry : larger) {
    EXPECT_TRUE(base < entry.second) << entry.first;
    EXPECT_FALSE(entry.second < base) << entry.first;
  }
  // An earlier field outweighs every later one: an item larger only in field j is
  // less than one larger only in an earlier field i.
  for (size_t i = 0; i < larger.size(); ++i) {
    for (size_t j = i + 1; j < larger.size(); ++j) {
      EXPECT_TRUE(larger[j].second < larger[i].second) << larger[j].first << " outweighs " << larger[i].first;
      EXPECT_FALSE(larger[i].second < larger[j].second) << larger[j].first << " outweighs " << larger[i].first;
    }
  }
}

TEST(ItemOrder, SignedTimesAndDevicesUnsignedCounters) {
  ItemData a = BaseItem();
  ItemData b = BaseItem();
  a.m_nDevice = -1;
  b.m_nDevice = 0;
  EXPECT_TRUE(a < b);
  a = BaseItem();
  b = BaseItem();
  a.m_spanDuration = CTimeSpan(-5);
  EXPECT_TRUE(a < b);
  a = BaseItem();
  b = BaseItem();
  a.m_strAddress = L"10.0.0.10";
  b.m_strAddress = L"10.0.0.9";
  EXPECT_TRUE(a < b) << "addresses compare as text";
}

TEST(ItemOrder, RandomItemsFormAStrictWeakOrder) {
  std::mt19937 random(20240607);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  const wchar_t* addresses[] = {L"", L"10.0.0.1", L"10.0.0.10", L"10.0.0.9", L"192.168.1.1"};
  std::vector<ItemData> items;
  // Few values per field, so that many items tie on the leading fields.
  for (int n = 0; n < 400; ++n) {
    ItemData item;
    item.m_timeLast = CTime(1000 + pick(3));
    item.m_nDevice = pick(3) - 1;
    item.m_timeStart = CTime(900 + pick(2));
    item.m_spanDuration = CTimeSpan(pick(3) - 1);
    item.m_dAverage = pick(3) == 0 ? -1.0 : pick(2) * 0.5;
    item.m_strAddress = addresses[pick(5)];
    item.m_wAddressPort = static_cast<WORD>(pick(2) * 65535);
    item.m_wPort = static_cast<WORD>(pick(2));
    item.m_dwCounter = pick(2) ? 0xFFFFFFFFu : 1u;
    item.m_wCodec = static_cast<WORD>(pick(2) ? 7 : 0x0133);
    item.m_dwRecordId = static_cast<DWORD>(pick(2));
    item.m_bActive = pick(2) != 0;
    items.push_back(item);
  }

  // Irreflexive, asymmetric, transitive, and incomparability means equal.
  const size_t n = 90;
  for (size_t i = 0; i < n; ++i) {
    ASSERT_FALSE(items[i] < items[i]);
    for (size_t j = 0; j < n; ++j) {
      const bool ij = items[i] < items[j];
      const bool ji = items[j] < items[i];
      ASSERT_FALSE(ij && ji) << i << "," << j;
      if (!ij && !ji) {
        ASSERT_TRUE(SameItem(items[i], items[j])) << i << "," << j;
      }
      if (!ij) continue;
      for (size_t k = 0; k < n; ++k) {
        if (items[j] < items[k]) {
          ASSERT_TRUE(items[i] < items[k]) << i << "," << j << "," << k;
        }
      }
    }
  }

  // Sorting and a set agree on the order and on which items are the same.
  std::vector<ItemData> sorted = items;
  std::sort(sorted.begin(), sorted.end());
  for (size_t i = 1; i < sorted.size(); ++i) ASSERT_FALSE(sorted[i] < sorted[i - 1]) << i;
  sorted.erase(std::unique(sorted.begin(), sorted.end(), SameItem), sorted.end());
  const std::set<ItemData> set(items.begin(), items.end());
  ASSERT_EQ(sorted.size(), set.size());
  size_t index = 0;
  for (const ItemData& item : set) {
    ASSERT_TRUE(SameItem(sorted[index], item)) << index;
    ++index;
  }
}

TEST(DeviceItems, ArrayResizesWithFreshItems) {
  CDevicePage::m_aItemData.assign(2, ItemData());
  CDevicePage::m_aItemData[1].m_bActive = true;
  CDevicePage::m_aItemData.resize(4);
  for (size_t n = 0; n < CDevicePage::m_aItemData.size(); ++n) {
    CDevicePage::m_aItemData[n].m_nDevice = static_cast<int>(n);
  }
  EXPECT_TRUE(CDevicePage::m_aItemData[1].m_bActive);
  EXPECT_FALSE(CDevicePage::m_aItemData[3].m_bActive);
  EXPECT_EQ(3, CDevicePage::m_aItemData[3].m_nDevice);
  CDevicePage::m_aItemData.clear();
}

}  // namespace
