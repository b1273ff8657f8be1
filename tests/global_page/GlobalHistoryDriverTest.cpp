// The main sheet's history against the simulated driver in scripted mode, from
// the driver's records at known simulated times through the sheet's sampling to
// the global page's graphs and its Edit > Copy: exact rates, and gaps at a reset,
// a wrap past 4294967295, a failed request and a driver stop and start.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/MainSheet.h"
#include "resources/resource.h"
#include "tests/framework_windows/GuiHarness.h"
#include "tqaudio/SimClient.h"

using namespace gui_test;

namespace {

std::vector<std::wstring> Split(const std::wstring& text, const std::wstring& separator) {
  std::vector<std::wstring> parts;
  size_t at = 0;
  for (size_t end; (end = text.find(separator, at)) != std::wstring::npos; at = end + separator.size()) {
    parts.push_back(text.substr(at, end - at));
  }
  parts.push_back(text.substr(at));
  return parts;
}

TEST(GlobalHistoryWithDriver, ExactRatesAndGapsAtAResetAWrapAFailedRequestAndARestart) {
  ASSERT_NE(nullptr, UseResourceModule());
  ASSERT_EQ(S_OK, SimService::Load(SimService::DriverFileBesideProgram().c_str(), 1, 1));
  CSimControl control;
  auto script = [&] {
    ASSERT_EQ(S_OK, control.Open());
    ASSERT_EQ(S_OK, control.SetMode(TQSIM_MODE_SCRIPTED));
  };
  script();
  CMainSheet sheet(L"Delvora");
  MessageBoxAnswerer answerer;
  std::wstring copied;
  const ModalScript inLoop([&] {
    const HWND hSheet = sheet.m_hWnd;
    // Samples taken here only, each after the driver's clock moved two seconds on.
    ASSERT_TRUE(::KillTimer(hSheet, CMainSheet::IDT_HISTORY_SAMPLE));
    ::SendMessageW(hSheet, PSM_SETCURSEL, 0, 0);
    unsigned int nUptime = 100;
    auto sample = [&](unsigned int nActive, unsigned int nEnded, unsigned int nPackets, unsigned int nLost) {
      LONGLONG now = 0;
      ASSERT_EQ(S_OK, control.SetClock(20000000, 0, &now));
      GlobalCounters record = {{static_cast<DWORD>(now), static_cast<DWORD>(now >> 32)}, nActive};
      record.Counter2 = nEnded;
      record.Counter3 = nPackets;
      record.Counter4 = nLost;
      record.Counter5 = nUptime += 2;
      ASSERT_EQ(S_OK, control.SetGlobalRecord(record));
      ::SendMessageW(hSheet, WM_TIMER, CMainSheet::IDT_HISTORY_SAMPLE, 0);
    };
    const unsigned int nHigh = 4294966000u;
    sample(3, 10, nHigh, 5);
    sample(4, 12, nHigh + 500, 6);
    ClickButton(::GetDlgItem(sheet.m_pageGlobal.m_hWnd, IDC_RESET_COUNTERS));
    sample(4, 13, nHigh + 700, 6);
    sample(5, 14, nHigh + 1100, 8);
    sample(5, 15, 204, 8);
    sample(6, 16, 604, 9);
    ASSERT_EQ(S_OK, control.SetFailure(0, TQSIM_DIRECTION_IN, TQSIM_FAIL_REQUEST, static_cast<LONG>(0xC0000001)));
    ::SendMessageW(hSheet, WM_TIMER, CMainSheet::IDT_HISTORY_SAMPLE, 0);
    ASSERT_EQ(S_OK, control.SetFailure(0, TQSIM_DIRECTION_IN, TQSIM_FAIL_REQUEST, 0));
    sample(6, 17, 1004, 9);
    control.Close();
    ASSERT_EQ(S_OK, SimService::Stop());
    ASSERT_EQ(S_OK, SimService::Start());
    script();
    nUptime = 0;
    sample(1, 1, 100, 0);
    sample(2, 3, 500, 1);

    EXPECT_EQ(L"Active streams: 2; Streams ended per minute: 60.0", sheet.m_pageGlobal.m_graphCounts.GetValueText());
    EXPECT_EQ(L"Packets per second: 200.0; Lost packets per second: 0.5",
              sheet.m_pageGlobal.m_graphTraffic.GetValueText());
    SendMenuCommand(hSheet, ID_EDIT_COPY);
    copied = ClipboardText();
    SendMenuCommand(hSheet, ID_EXIT);
  });
  sheet.DoModal();
  control.Close();
  EXPECT_TRUE(answerer.boxes.empty());

  // Each row: the active streams, then streams ended per minute, packets and lost
  // packets per second.
  std::vector<std::wstring> lines = Split(copied, L"\r\n");
  ASSERT_EQ(12u, lines.size()) << "titles, ten samples and the end of the last line";
  EXPECT_EQ(L"", lines.back());
  EXPECT_EQ(0u, lines[0].find(L"Time\tActive streams\t")) << "the titles from the resource module";
  std::vector<std::wstring> shown;
  for (size_t i = 1; i + 1 < lines.size(); ++i) {
    const std::vector<std::wstring> cells = Split(lines[i], L"\t");
    EXPECT_EQ(15u, cells.size());
    EXPECT_FALSE(cells[0].empty()) << "every sample has its time";
    shown.push_back(cells[1] + L" | " + cells[12] + L" " + cells[13] + L" " + cells[14]);
  }
  const std::vector<std::wstring> expected = {
      L"3 |   ",                    // the first sample
      L"4 | 60.00 250.00 0.50",
      L"4 |   ",                    // a reset between
      L"5 | 30.00 200.00 1.00",
      L"5 |   ",                    // the packets wrapped
      L"6 | 30.00 200.00 0.50",
      L" |   ",                     // the request failed
      L"6 |   ",                    // after the failure
      L"1 |   ",                    // the driver restarted
      L"2 | 60.00 200.00 0.50",
  };
  EXPECT_EQ(expected, shown);
}

}  // namespace
