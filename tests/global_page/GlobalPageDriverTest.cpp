// The global page against the simulated driver in scripted mode: the scripted
// record reaches the page's controls, the reset command reaches every device's
// record direction, and a stopped driver leaves the values without a message.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "framework/PropertySheet.h"
#include "resources/resource.h"
#include "stats/GlobalPage.h"
#include "stats/ListPage.h"
#include "tests/framework_windows/GuiHarness.h"
#include "tqaudio/SimClient.h"

using namespace gui_test;

namespace {

TEST(GlobalPageWithDriver, TheScriptedRecordShowsResetReachesEveryDeviceAndAStoppedDriverIsSilent) {
  ASSERT_NE(nullptr, UseResourceModule());
  ASSERT_EQ(S_OK, SimService::Load(SimService::DriverFileBesideProgram().c_str(), 2, 1));
  CSimControl control;
  ASSERT_EQ(S_OK, control.Open());
  ASSERT_EQ(S_OK, control.SetMode(TQSIM_MODE_SCRIPTED));
  ASSERT_EQ(S_OK, control.Clear(TQSIM_CLEAR_COUNTERS | TQSIM_CLEAR_SCRIPT));
  GlobalCounters record = {};
  SYSTEMTIME utc = {2023, 11, 4, 30, 8, 15, 0, 0};
  ASSERT_TRUE(::SystemTimeToFileTime(&utc, &record.Timestamp));
  record.Counter1 = 2;
  record.Counter4 = 3000000000u;
  record.GroupA[0] = 3;
  record.GroupA[2] = 1;
  ASSERT_EQ(S_OK, control.SetGlobalRecord(record));

  CGlobalPage page;
  CPropertySheet sheet(L"Global");
  sheet.AddPage(&page);
  MessageBoxAnswerer answerer;
  const ModalScript inLoop([&] {
    HWND hPage = page.m_hWnd;
    auto text = [&](int id) { return WindowText(::GetDlgItem(hPage, id)); };
    ::SendMessageW(hPage, WM_TIMER, IDT_REFRESH, 0);
    EXPECT_EQ(L"2", text(IDC_COUNTER1));
    EXPECT_EQ(L"3000000000", text(IDC_COUNTER4));
    EXPECT_EQ(L"3 (75.00%)", text(IDC_GROUP_A0));
    EXPECT_EQ(L"1 (25.00%)", text(IDC_GROUP_A2));
    EXPECT_EQ(L"0 (0.00%)", text(IDC_GROUP_B1));
    SYSTEMTIME local = {};
    ASSERT_TRUE(::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local));
    wchar_t expected[32];
    _snwprintf(expected, 32, L"%02u/%02u/%02u %02u:%02u:%02u", local.wMonth, local.wDay, local.wYear % 100,
               local.wHour, local.wMinute, local.wSecond);
    EXPECT_EQ(expected, text(IDC_TIMESTAMP));

    ClickButton(::GetDlgItem(hPage, IDC_RESET_COUNTERS));
    for (ULONG device = 0; device < 2; ++device) {
      TQSIM_STATS stats = {};
      ASSERT_EQ(S_OK, control.GetStats(device, TQSIM_DIRECTION_IN, stats));
      EXPECT_EQ(1u, stats.Resets) << "device " << device;
    }

    const std::wstring shown = text(IDC_COUNTER4);
    control.Close();
    ASSERT_EQ(S_OK, SimService::Stop());
    ::SendMessageW(hPage, WM_TIMER, IDT_REFRESH, 0);
    EXPECT_EQ(shown, text(IDC_COUNTER4));
    EXPECT_TRUE(answerer.boxes.empty());
    ::PostMessageW(sheet.m_hWnd, WM_CLOSE, 0, 0);
  });
  sheet.DoModal();
}

}  // namespace
