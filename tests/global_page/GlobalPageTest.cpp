// The global page on real windows against a fake driver: the first values and
// their shares, counts past 2^31, the driver time, a reading that fails, the
// timer's life across tab changes and the reset command. Readings are driven by
// sending the page's timer message, except where the timing is the point.

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/PropertySheet.h"
#include "framework/String.h"
#include "framework/Time.h"
#include "resources/resource.h"
#include "stats/GlobalPage.h"
#include "stats/ListPage.h"
#include "tests/framework_windows/GuiHarness.h"

using namespace gui_test;

namespace {

class FakeDriver : public CDeviceAccess {
public:
  HRESULT QueryGlobalCounters(GlobalCounters& out, FILETIME& stamp) override {
    calls.push_back("query");
    if (FAILED(result)) return result;
    out = record;
    stamp = timestamp;
    return S_OK;
  }
  void ResetDevices() override {
    calls.push_back("reset");
    const FILETIME kept = record.Timestamp;
    record = GlobalCounters{};
    record.Timestamp = kept;
  }

  GlobalCounters record = {};
  FILETIME timestamp = {};
  HRESULT result = S_OK;
  std::vector<std::string> calls;
};

// The texts of the page's value controls, in the page's layout order.
const int kValueIds[] = {IDC_TIMESTAMP, IDC_COUNTER1, IDC_COUNTER2, IDC_COUNTER3, IDC_COUNTER4, IDC_COUNTER5,
                         IDC_GROUP_A0,  IDC_GROUP_B0, IDC_GROUP_A1, IDC_GROUP_B1, IDC_GROUP_A2, IDC_GROUP_B2};

// A sheet with the global page first and a plain page behind it, run modally
// around a test script.
class GlobalPageTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_NE(nullptr, UseResourceModule()) << "bin\\enu\\DelvoraRes.dll is missing"; }

  void Run(const std::function<void(CGlobalPage&, CPropertySheet&)>& script) {
    CGlobalPage page;
    page.SetDeviceAccess(&m_driver);
    CPropertyPage other(IDD_DEVICE_PAGE);
    CPropertySheet sheet(L"Global");
    sheet.AddPage(&page);
    sheet.AddPage(&other);
    const ModalScript inLoop([&] {
      m_hPage = page.m_hWnd;
      script(page, sheet);
      ::PostMessageW(sheet.m_hWnd, WM_CLOSE, 0, 0);
    });
    sheet.DoModal();
  }

  void Tick() const { ::SendMessageW(m_hPage, WM_TIMER, IDT_REFRESH, 0); }
  std::wstring Text(int id) const { return WindowText(::GetDlgItem(m_hPage, id)); }
  std::vector<std::wstring> Texts() const {
    std::vector<std::wstring> texts;
    for (int id : kValueIds) texts.push_back(Text(id));
    return texts;
  }
  size_t Queries() const {
    size_t n = 0;
    for (const std::string& call : m_driver.calls) n += call == "query";
    return n;
  }

  FakeDriver m_driver;
  HWND m_hPage = nullptr;
};

TEST_F(GlobalPageTest, EmptyUntilTheFirstTickThenEveryCounterInItsControlWithItsShare) {
  MessageBoxAnswerer answerer;
  Run([&](CGlobalPage&, CPropertySheet&) {
    // Activation asks nothing: empty texts and zeros until the timer fires.
    EXPECT_TRUE(m_driver.calls.empty());
    const std::vector<std::wstring> empty = {L"", L"0", L"0", L"0", L"0", L"0", L"", L"", L"", L"", L"", L""};
    EXPECT_EQ(empty, Texts());

    // Distinct values everywhere, so that a control showing another's value shows.
    m_driver.record.Counter1 = 7;
    m_driver.record.Counter2 = 3000000000u;
    m_driver.record.Counter3 = 11;
    m_driver.record.Counter4 = 12;
    m_driver.record.Counter5 = 4294967295u;
    m_driver.record.GroupA[0] = 1;
    m_driver.record.GroupA[1] = 1;
    m_driver.record.GroupA[2] = 2;
    SYSTEMTIME utc = {2024, 3, 2, 5, 14, 7, 9, 0};
    ASSERT_TRUE(::SystemTimeToFileTime(&utc, &m_driver.timestamp));
    Tick();
    EXPECT_EQ(L"7", Text(IDC_COUNTER1));
    EXPECT_EQ(L"3000000000", Text(IDC_COUNTER2));
    EXPECT_EQ(L"11", Text(IDC_COUNTER3));
    EXPECT_EQ(L"12", Text(IDC_COUNTER4));
    EXPECT_EQ(L"4294967295", Text(IDC_COUNTER5));
    EXPECT_EQ(L"1 (25.00%)", Text(IDC_GROUP_A0));
    EXPECT_EQ(L"1 (25.00%)", Text(IDC_GROUP_A1));
    EXPECT_EQ(L"2 (50.00%)", Text(IDC_GROUP_A2));
    for (int id : {IDC_GROUP_B0, IDC_GROUP_B1, IDC_GROUP_B2}) EXPECT_EQ(L"0 (0.00%)", Text(id)) << id;

    // The driver time is the local date and time in the runtime's MM/DD/YY form,
    // taken from the time stamp that comes beside the record.
    SYSTEMTIME local = {};
    ASSERT_TRUE(::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local));
    wchar_t expected[32];
    _snwprintf(expected, 32, L"%02u/%02u/%02u %02u:%02u:%02u", local.wMonth, local.wDay, local.wYear % 100,
               local.wHour, local.wMinute, local.wSecond);
    EXPECT_EQ(expected, Text(IDC_TIMESTAMP));

    // Counts past 2^31 take their shares as unsigned numbers; rows and columns keep apart.
    m_driver.record.GroupA[0] = 3000000000u;
    m_driver.record.GroupA[1] = 1000000000u;
    m_driver.record.GroupA[2] = 0;
    m_driver.record.GroupB[0] = 2;
    m_driver.record.GroupB[1] = 1;
    m_driver.record.GroupB[2] = 5;
    Tick();
    EXPECT_EQ(L"3000000000 (75.00%)", Text(IDC_GROUP_A0));
    EXPECT_EQ(L"1000000000 (25.00%)", Text(IDC_GROUP_A1));
    EXPECT_EQ(L"0 (0.00%)", Text(IDC_GROUP_A2));
    EXPECT_EQ(L"2 (25.00%)", Text(IDC_GROUP_B0));
    EXPECT_EQ(L"1 (12.50%)", Text(IDC_GROUP_B1));
    EXPECT_EQ(L"5 (62.50%)", Text(IDC_GROUP_B2));
    EXPECT_TRUE(answerer.boxes.empty());
  });
}

TEST_F(GlobalPageTest, AFailedReadingKeepsTheValuesGrayedUnderANoteSinceWhenWithoutABox) {
  MessageBoxAnswerer answerer;
  Run([&](CGlobalPage&, CPropertySheet&) {
    const std::wstring note = Text(IDC_GLOBAL_NOTE);
    m_driver.record.Counter1 = 5;
    m_driver.record.GroupB[1] = 9;
    Tick();
    const std::vector<std::wstring> shown = Texts();
    ASSERT_EQ(L"9 (100.00%)", Text(IDC_GROUP_B1));

    m_driver.result = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    m_driver.record.Counter1 = 6;
    const CTime before = CTime::GetCurrentTime();
    Tick();
    Tick();
    EXPECT_EQ(3u, Queries());
    EXPECT_EQ(shown, Texts());
    EXPECT_TRUE(answerer.boxes.empty());
    // Not shown as current: every value grayed, and the note says since when
    // (the first failure, not the latest).
    for (int id : kValueIds) EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(m_hPage, id))) << id;
    CString stale;
    ASSERT_TRUE(stale.LoadString(IDS_DRIVER_NOT_ANSWERING));
    std::wstring expected = stale.GetString();
    const std::wstring since = Text(IDC_GLOBAL_NOTE).substr(expected.find(L"%1"), 17);
    EXPECT_TRUE(since == before.Format(L"%c").GetString() || since == (before + CTimeSpan(1)).Format(L"%c").GetString())
        << Text(IDC_GLOBAL_NOTE);
    EXPECT_EQ(expected.replace(expected.find(L"%1"), 2, since), Text(IDC_GLOBAL_NOTE));
    // The timer runs on after the failure.
    EXPECT_TRUE(::KillTimer(m_hPage, IDT_REFRESH));

    // Answers again: current values, the page's own note.
    m_driver.result = S_OK;
    Tick();
    EXPECT_EQ(L"6", Text(IDC_COUNTER1));
    for (int id : kValueIds) EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(m_hPage, id))) << id;
    EXPECT_EQ(note, Text(IDC_GLOBAL_NOTE));
  });
}

TEST_F(GlobalPageTest, TheDriverIsAskedOnlyWhileThePageIsShownAndItsValuesSurviveAnotherTab) {
  MessageBoxAnswerer answerer;
  Run([&](CGlobalPage&, CPropertySheet& sheet) {
    m_driver.record.Counter3 = 3000000000u;
    m_driver.record.GroupA[2] = 4;
    Tick();
    const std::vector<std::wstring> shown = Texts();

    // Leaving reads the controls back: a count past 2^31 must not stop the user.
    ASSERT_TRUE(sheet.SetActivePage(1));
    EXPECT_EQ(1, sheet.GetActiveIndex());
    EXPECT_TRUE(answerer.boxes.empty());
    const size_t before = Queries();
    PumpMessages(2600);
    EXPECT_EQ(before, Queries()) << "no request while another tab is active";

    // Back on the page: the last values at once, the next reading two seconds later.
    m_driver.record.Counter3 = 8;
    ASSERT_TRUE(sheet.SetActivePage(0));
    EXPECT_EQ(shown, Texts());
    EXPECT_EQ(L"3000000000", Text(IDC_COUNTER3));
    const DWORD start = ::GetTickCount();
    PumpMessages(4000, [&] { return Queries() > before; });
    const DWORD elapsed = ::GetTickCount() - start;
    EXPECT_EQ(before + 1, Queries());
    EXPECT_GE(elapsed, 1500u);
    EXPECT_EQ(L"8", Text(IDC_COUNTER3));
    EXPECT_TRUE(answerer.boxes.empty());
  });
}

TEST_F(GlobalPageTest, ResetClearsAndShowsAtOnceAndStartsThePeriodAgain) {
  Run([&](CGlobalPage&, CPropertySheet&) {
    m_driver.record.Counter2 = 40;
    m_driver.record.GroupA[0] = 3;
    m_driver.record.GroupB[0] = 90;
    // The activation's timer falls due within two seconds of here.
    PumpMessages(1200);
    ASSERT_TRUE(m_driver.calls.empty());

    ClickButton(::GetDlgItem(m_hPage, IDC_RESET_COUNTERS));
    EXPECT_EQ((std::vector<std::string>{"reset", "query"}), m_driver.calls);
    EXPECT_EQ(L"0", Text(IDC_COUNTER2));
    EXPECT_EQ(L"0 (0.00%)", Text(IDC_GROUP_A0));
    EXPECT_EQ(L"0 (0.00%)", Text(IDC_GROUP_B0));

    // The old period's tick is gone; the next reading is a whole period after the reset.
    PumpMessages(1000);
    EXPECT_EQ(1u, Queries());
    PumpMessages(2500, [&] { return Queries() > 1; });
    EXPECT_EQ(2u, Queries());
  });
}

}  // namespace
