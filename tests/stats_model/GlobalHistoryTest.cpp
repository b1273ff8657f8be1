// The global history without windows: one scripted run through every reason for a
// gap, with the rates of the intervals between them; the ring's hour; the copy.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "stats/GlobalHistory.h"

namespace {

class CScriptedGlobal : public CDeviceAccess {
public:
  HRESULT QueryGlobalCounters(GlobalCounters& out, FILETIME& stamp) override {
    if (bFail) return HRESULT_FROM_WIN32(ERROR_GEN_FAILURE);
    out = record;
    stamp = record.Timestamp;
    return S_OK;
  }
  void ResetDevices() override {}
  GlobalCounters record = {};
  bool bFail = false;
};

const double kGap = NAN;

// Exactly, or "gap".
std::string Shown(double dValue) {
  char text[32];
  snprintf(text, sizeof(text), "%.17g", dValue);
  return std::isnan(dValue) ? "gap" : text;
}

struct Step {
  double dSeconds;  // driver time since the start
  bool bFail, bReset;
  unsigned int nEnded, nPackets, nLost, nUptime;
  double dEndedPerMinute, dPacketsPerSecond, dLostPerSecond;  // expected
};

TEST(GlobalHistory, RatesComeFromNeighboursOverTheirDriverTimesAndEveryDoubtfulIntervalIsAGap) {
  const Step steps[] = {
      {0, false, false, 10, 1000, 5, 100, kGap, kGap, kGap},             // nothing before it
      {2, false, false, 12, 1500, 6, 102, 60, 250, 0.5},
      {4.5, false, false, 12, 1500, 6, 104, 0, 0, 0},                    // a quiet interval is 0
      {6.5, false, true, 14, 1700, 7, 106, kGap, kGap, kGap},            // a reset came between
      {8.5, false, false, 15, 2100, 9, 108, 30, 200, 1},
      {10.5, true, false, 0, 0, 0, 0, kGap, kGap, kGap},                 // no answer
      {12.5, false, false, 16, 2300, 9, 112, kGap, kGap, kGap},          // after no answer
      {14.5, false, false, 17, 4294967000u, 9, 114, 30, 2147482350, 0},
      {16.5, false, false, 17, 704, 9, 116, kGap, kGap, kGap},           // wrapped past 2^32
      {18.5, false, false, 19, 1104, 10, 118, 60, 200, 0.5},
      {20.5, false, false, 19, 1204, 10, 2, kGap, kGap, kGap},           // a restart: the uptime fell
      {20.5, false, false, 20, 1304, 10, 2, kGap, kGap, kGap},           // the time stamp stood still
      {22.5, false, false, 20, 1404, 11, 4, 0, 50, 0.5},
  };
  CScriptedGlobal driver;
  CGlobalHistory history;
  const ULONGLONG nStart = 133500000000000000ULL;
  for (const Step& step : steps) {
    if (step.bReset) driver.ResetAllCounters();
    const ULONGLONG nTime = nStart + static_cast<ULONGLONG>(step.dSeconds * 1e7);
    driver.record.Timestamp = {static_cast<DWORD>(nTime), static_cast<DWORD>(nTime >> 32)};
    driver.record.Counter1 = static_cast<unsigned int>(step.dSeconds);
    driver.record.Counter2 = step.nEnded;
    driver.record.Counter3 = step.nPackets;
    driver.record.Counter4 = step.nLost;
    driver.record.Counter5 = step.nUptime;
    driver.bFail = step.bFail;
    history.Sample(driver);
  }
  ASSERT_EQ(13, history.GetCount());
  auto valueOf = [&](int i, HistoryValue value) {
    double dValue = 0;
    return history.GetValue(i, value, dValue) ? Shown(dValue) : "gap";
  };
  for (int i = 0; i < history.GetCount(); ++i) {
    const Step& step = steps[i];
    EXPECT_EQ(step.bFail ? "gap" : Shown(std::floor(step.dSeconds)), valueOf(i, HistoryValue::ActiveStreams)) << i;
    EXPECT_EQ(Shown(step.dEndedPerMinute), valueOf(i, HistoryValue::EndedPerMinute)) << "sample " << i;
    EXPECT_EQ(Shown(step.dPacketsPerSecond), valueOf(i, HistoryValue::PacketsPerSecond)) << "sample " << i;
    EXPECT_EQ(Shown(step.dLostPerSecond), valueOf(i, HistoryValue::LostPerSecond)) << "sample " << i;
  }

  // The copy of the last eight, oldest first: a failed reading has its time and
  // nothing else, a rate at a gap is empty.
  const std::wstring text = GlobalHistoryText(history, 8).GetString();
  std::vector<std::wstring> lines;
  for (size_t nAt = 0, nEnd; (nEnd = text.find(L"\r\n", nAt)) != std::wstring::npos; nAt = nEnd + 2) {
    lines.push_back(text.substr(nAt, nEnd - nAt));
  }
  auto timeOf = [&](int i) { return std::wstring(history.GetSample(i).GetTime().Format(L"%Y-%m-%d %H:%M:%S")); };
  ASSERT_EQ(9u, lines.size());
  EXPECT_EQ(std::wstring(14, L'\t'), lines[0]) << "the titles (none without the resource module)";
  EXPECT_EQ(timeOf(5) + std::wstring(14, L'\t'), lines[1]);
  EXPECT_EQ(timeOf(10) + L"\t20\t19\t1204\t10\t2\t0\t0\t0\t0\t0\t0\t\t\t", lines[6]);
  EXPECT_EQ(timeOf(12) + L"\t22\t20\t1404\t11\t4\t0\t0\t0\t0\t0\t0\t0.00\t50.00\t0.50", lines[8]);
  EXPECT_EQ(text.size(), text.rfind(L"\r\n") + 2);

  // An hour is kept: the oldest sample goes as the newest comes.
  for (int i = 0; i < CGlobalHistory::kCapacity; ++i) {
    driver.record.Counter1 = 1000 + static_cast<unsigned int>(i);
    history.Sample(driver);
  }
  ASSERT_EQ(CGlobalHistory::kCapacity, history.GetCount());
  EXPECT_EQ(1000u, history.GetSample(0).record.Counter1);
  EXPECT_EQ(2799u, history.GetSample(CGlobalHistory::kCapacity - 1).record.Counter1);
}

}  // namespace
