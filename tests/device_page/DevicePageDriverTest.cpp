// The device page against the simulated driver in scripted mode: a stream's row
// comes and goes with the driver's records, with the driver stopped one message
// tells of both devices failing in the record direction, once, and a call the
// restarted driver no longer has ended where it was last seen.

#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "framework/PropertySheet.h"
#include "framework/String.h"
#include "resources/resource.h"
#include "stats/DevicePage.h"
#include "stats/Formatting.h"
#include "tests/framework_windows/GuiHarness.h"
#include "tqaudio/SimClient.h"

using namespace gui_test;

namespace {

std::wstring DriverFile() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring file(path, n);
  return file.substr(0, file.find_last_of(L"\\/") + 1) + TQSIM_DRIVER_FILE_NAME;
}

TEST(DevicePageWithDriver, AScriptedStreamComesAndGoesAndAStoppedDriverFailsEveryDevice) {
  ASSERT_NE(nullptr, UseResourceModule());
  // Two devices in the driver and in the registry (the page reads the count once).
  ASSERT_EQ(S_OK, SimService::Load(DriverFile().c_str(), 2, 1));
  CSimControl control;
  ASSERT_EQ(S_OK, control.Open());
  ASSERT_EQ(S_OK, control.SetMode(TQSIM_MODE_SCRIPTED));
  ASSERT_EQ(S_OK, control.Clear(TQSIM_CLEAR_COUNTERS | TQSIM_CLEAR_SCRIPT));
  const WaveCounters idle = {};
  for (ULONG n = 0; n < 2; ++n) {
    ASSERT_EQ(S_OK, control.SetWaveRecord(n, TQSIM_DIRECTION_IN, idle));
    ASSERT_EQ(S_OK, control.SetWaveRecord(n, TQSIM_DIRECTION_OUT, idle));
  }
  g_qEndedStreams.Clear();

  CDevicePage page;
  CPropertySheet sheet(L"Devices");
  sheet.AddPage(&page);
  MessageBoxAnswerer answerer;
  const ModalScript inLoop([&] {
    HWND hList = page.m_listDevices.m_hWnd;
    ASSERT_EQ(2, ::SendMessageW(hList, LVM_GETITEMCOUNT, 0, 0));

    WaveCounters in = {};
    in.Active = 1;
    in.Total = 125000;
    in.PacketCount = 10;
    in.Port = htons(4000);
    in.Counter = 7;
    in.Codec = 0x0133;
    WaveCounters out = {};
    out.Address = 0x0A01A8C0;  // 192.168.1.10
    out.AddressPort = htons(6000);
    ASSERT_EQ(S_OK, control.SetWaveRecord(1, TQSIM_DIRECTION_IN, in));
    ASSERT_EQ(S_OK, control.SetWaveRecord(1, TQSIM_DIRECTION_OUT, out));
    ::SendMessageW(page.m_hWnd, WM_TIMER, IDT_REFRESH, 0);
    EXPECT_TRUE(answerer.boxes.empty());
    EXPECT_EQ(1, ListImage(hList, 1));
    EXPECT_EQ(L"1.25", ListText(hList, 1, 3));
    EXPECT_EQ(L"192.168.1.10", ListText(hList, 1, 4));
    EXPECT_EQ(L"6000", ListText(hList, 1, 5));
    EXPECT_EQ(L"4000", ListText(hList, 1, 6));
    EXPECT_EQ(std::wstring(FormatCodecName(0x0133).GetString()), ListText(hList, 1, 7));
    EXPECT_EQ(L"7", ListText(hList, 1, 9));
    EXPECT_EQ(0, ListImage(hList, 0));

    ASSERT_EQ(S_OK, control.SetWaveRecord(1, TQSIM_DIRECTION_IN, idle));
    ::SendMessageW(page.m_hWnd, WM_TIMER, IDT_REFRESH, 0);
    EXPECT_EQ(0, ListImage(hList, 1));
    EXPECT_EQ(L"", ListText(hList, 1, 4));
    EXPECT_EQ(1u, g_qEndedStreams.GetCount());

    // A call on device 0, last seen 90 seconds ago, when the driver goes away.
    g_qEndedStreams.Clear();
    ASSERT_EQ(S_OK, control.SetWaveRecord(0, TQSIM_DIRECTION_IN, in));
    ASSERT_EQ(S_OK, control.SetWaveRecord(0, TQSIM_DIRECTION_OUT, out));
    ::SendMessageW(page.m_hWnd, WM_TIMER, IDT_REFRESH, 0);
    ItemData& call = CDevicePage::m_aItemData[0];
    ASSERT_TRUE(call.m_bActive);
    call.m_timeLast -= CTimeSpan(90);
    call.m_timeStart = call.m_timeLast - CTimeSpan(20);
    const CTime lastSeen = call.m_timeLast;

    // The driver goes away: one message for device 0's record direction, with the
    // code, counting device 1; both say they do not answer. The next refresh is silent.
    control.Close();
    ASSERT_EQ(S_OK, SimService::Stop());
    ::SendMessageW(page.m_hWnd, WM_TIMER, IDT_REFRESH, 0);
    ASSERT_EQ(1u, answerer.boxes.size());
    const std::wstring& text = answerer.boxes[0].text;
    EXPECT_EQ(0u, text.find(L"The driver did not answer the WaveInCounters request for device 0.\r\n"
                            L"Error 0x8007"));
    EXPECT_EQ(std::wstring::npos, text.find(L"WaveOutCounters"));
    EXPECT_NE(std::wstring::npos, text.find(L"\r\nOther devices that did not answer: 1"));
    CString notAnswering;
    ASSERT_TRUE(notAnswering.LoadString(IDS_STATE_NOT_ANSWERING));
    EXPECT_EQ(notAnswering.GetString(), ListText(hList, 0, 1));
    EXPECT_EQ(notAnswering.GetString(), ListText(hList, 1, 1));
    EXPECT_EQ(2, ListImage(hList, 0)) << "a call nobody can see is not shown as running";
    ::SendMessageW(page.m_hWnd, WM_TIMER, IDT_REFRESH, 0);
    EXPECT_EQ(1u, answerer.boxes.size());
    EXPECT_TRUE(g_qEndedStreams.IsEmpty()) << "a failed refresh ends no call";

    // The driver comes back with device 0 idle: the call ended where it was last
    // seen, without the outage.
    ASSERT_EQ(S_OK, SimService::Start());
    ASSERT_EQ(S_OK, control.Open());
    ASSERT_EQ(S_OK, control.SetMode(TQSIM_MODE_SCRIPTED));
    ::SendMessageW(page.m_hWnd, WM_TIMER, IDT_REFRESH, 0);
    EXPECT_EQ(0, ListImage(hList, 0));
    ItemData ended;
    ASSERT_TRUE(g_qEndedStreams.TakeFront(ended));
    EXPECT_EQ(lastSeen, ended.m_timeLast);
    EXPECT_EQ(20, ended.m_spanDuration.GetTotalSeconds());
    EXPECT_TRUE(g_qEndedStreams.IsEmpty());
    ::PostMessageW(sheet.m_hWnd, WM_CLOSE, 0, 0);
  });
  sheet.DoModal();
}

}  // namespace
