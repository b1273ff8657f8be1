// Devices, queue, history, list and log file together, against the simulated
// driver in scripted mode: every ended stream reaches each of them exactly once,
// and with a short history the log still holds every stream.

#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "framework/PropertySheet.h"
#include "record/RecordLogData.h"
#include "record/RecordLogPage.h"
#include "resources/resource.h"
#include "stats/DevicePage.h"
#include "tests/framework_windows/GuiHarness.h"
#include "tests/record_page/LogTestData.h"
#include "tqaudio/SimClient.h"

using namespace gui_test;
using namespace log_test;

namespace {

const int kDevices = 4;

class Simulation {
public:
  HRESULT Load() {
    HRESULT hr = SimService::Load(SimService::DriverFileBesideProgram().c_str(), kDevices, 1);
    if (SUCCEEDED(hr)) hr = m_control.Open();
    if (SUCCEEDED(hr)) hr = m_control.SetMode(TQSIM_MODE_SCRIPTED);
    if (SUCCEEDED(hr)) hr = m_control.Clear(TQSIM_CLEAR_COUNTERS | TQSIM_CLEAR_SCRIPT);
    for (int n = 0; SUCCEEDED(hr) && n < kDevices; ++n) hr = Stop(n);
    return hr;
  }
  // A stream on `device` from 192.168.1.<device> with the given remote port and counter.
  HRESULT Start(int device, WORD remotePort, DWORD counter) {
    WaveCounters in = {};
    in.Active = 1;
    in.Total = 50000;
    in.PacketCount = 2;
    in.Port = htons(static_cast<WORD>(4000 + device));
    in.Counter = counter;
    in.Codec = 7;
    WaveCounters out = {};
    out.Address = 0x0001A8C0u | (static_cast<ULONG>(device + 1) << 24);
    out.AddressPort = htons(remotePort);
    HRESULT hr = m_control.SetWaveRecord(static_cast<ULONG>(device), TQSIM_DIRECTION_IN, in);
    if (SUCCEEDED(hr)) hr = m_control.SetWaveRecord(static_cast<ULONG>(device), TQSIM_DIRECTION_OUT, out);
    return hr;
  }
  HRESULT Stop(int device) {
    const WaveCounters idle = {};
    HRESULT hr = m_control.SetWaveRecord(static_cast<ULONG>(device), TQSIM_DIRECTION_IN, idle);
    if (SUCCEEDED(hr)) hr = m_control.SetWaveRecord(static_cast<ULONG>(device), TQSIM_DIRECTION_OUT, idle);
    return hr;
  }

private:
  CSimControl m_control;
};

TEST(RecordLogWithDriver, EveryEndedStreamReachesEachStageOnceAndTheLogKeepsWhatTheListTrims) {
  ASSERT_NE(nullptr, UseResourceModule());
  Simulation sim;
  ASSERT_EQ(S_OK, sim.Load());
  CRecordLogData::m_global.Clear();
  g_qEndedStreams.Clear();
  CDevicePage::m_aItemData.clear();

  wchar_t dir[MAX_PATH];
  ::GetTempPathW(MAX_PATH, dir);
  const std::wstring path = std::wstring(dir) + L"record_log_driver.txt";
  ::DeleteFileW(path.c_str());

  CDevicePage devicePage;
  CRecordLogPage recordPage;
  CPropertySheet sheet(L"Delvora");
  sheet.AddPage(&devicePage);
  sheet.AddPage(&recordPage);
  MessageBoxAnswerer answerer;
  const ModalScript inLoop([&] {
    ::SendMessageW(sheet.m_hWnd, PSM_SETCURSEL, 1, 0);
    ASSERT_TRUE(::IsWindow(recordPage.m_hWnd));
    const HWND hDevices = devicePage.m_hWnd;
    const HWND hRecords = recordPage.m_hWnd;
    const HWND hList = recordPage.m_listRecords.m_hWnd;
    auto refresh = [&] { ::SendMessageW(hDevices, WM_TIMER, IDT_REFRESH, 0); };
    auto tick = [&] { ::SendMessageW(hRecords, WM_TIMER, IDT_REFRESH, 0); };

    StartLoggingThroughDialogs(hRecords, path, 10);
    ASSERT_TRUE(recordPage.GetLogFile().IsOpen());
    ASSERT_EQ(10, recordPage.GetMaxRecords());

    // Streams start on devices 0 to 2, 0 and 2 end, 3 starts, 1 and 3 end.
    for (int n : {0, 1, 2}) ASSERT_EQ(S_OK, sim.Start(n, 7000, 100 + n));
    refresh();
    EXPECT_EQ(1, ListImage(devicePage.m_listDevices.m_hWnd, 1));
    for (int n : {0, 2}) ASSERT_EQ(S_OK, sim.Stop(n));
    ASSERT_EQ(S_OK, sim.Start(3, 7000, 103));
    refresh();
    EXPECT_EQ(2u, g_qEndedStreams.GetCount());
    for (int n : {1, 3}) ASSERT_EQ(S_OK, sim.Stop(n));
    refresh();
    refresh();  // nothing more ends
    EXPECT_EQ(4u, g_qEndedStreams.GetCount());
    tick();
    EXPECT_TRUE(g_qEndedStreams.IsEmpty());
    EXPECT_EQ(4u, CRecordLogData::m_global.GetCount());
    ASSERT_EQ(4, static_cast<int>(::SendMessageW(hList, LVM_GETITEMCOUNT, 0, 0)));
    std::vector<std::string> lines = Lines(path);
    ASSERT_EQ(5u, lines.size());
    const std::wstring header = CRecordLogData::m_global.GetHeader().Str();
    EXPECT_EQ(std::string(header.begin(), header.end()), lines[0]);
    std::vector<std::string> counters;
    for (size_t i = 1; i < lines.size(); ++i) counters.push_back(Fields(lines[i]).at(9));
    std::sort(counters.begin(), counters.end());
    EXPECT_EQ((std::vector<std::string>{"100", "101", "102", "103"}), counters);
    for (size_t i = 1; i < lines.size(); ++i) {
      const std::vector<std::string> f = Fields(lines[i]);
      ASSERT_EQ(10u, f.size()) << lines[i];
      const std::string device = f[0];
      EXPECT_EQ("2.50", f[3]);
      EXPECT_EQ("192.168.1." + std::to_string(std::stoi(device) + 1), f[4]);
      EXPECT_EQ("7000", f[5]);
      EXPECT_EQ(std::to_string(4000 + std::stoi(device)), f[6]);
      EXPECT_EQ(std::to_string(100 + std::stoi(device)), f[9]);
    }
    tick();
    EXPECT_EQ(5u, Lines(path).size());

    // 300 more streams, recorded now and then: the log keeps all, the list the newest 10.
    DWORD counter = 1000;
    for (int round = 0; round < 75; ++round) {
      for (int n = 0; n < kDevices; ++n) ASSERT_EQ(S_OK, sim.Start(n, static_cast<WORD>(1000 + round), counter++));
      refresh();
      for (int n = 0; n < kDevices; ++n) ASSERT_EQ(S_OK, sim.Stop(n));
      refresh();
      if (round % 10 == 9) tick();
    }
    tick();
    EXPECT_TRUE(answerer.boxes.empty());
    lines = Lines(path);
    ASSERT_EQ(305u, lines.size());
    EXPECT_EQ(10u, CRecordLogData::m_global.GetCount());
    ASSERT_EQ(10, static_cast<int>(::SendMessageW(hList, LVM_GETITEMCOUNT, 0, 0)));

    // The newest ten by the history's order: end, device, start, then the remote port.
    typedef std::tuple<std::string, int, std::string, int, std::string> Key;
    std::vector<Key> keys;
    for (size_t i = 1; i < lines.size(); ++i) {
      const std::vector<std::string> f = Fields(lines[i]);
      ASSERT_EQ(10u, f.size()) << lines[i];
      keys.emplace_back(f[2], std::stoi(f[0]), f[1], std::stoi(f[5]), f[9]);
    }
    std::sort(keys.begin(), keys.end());
    std::vector<std::wstring> expected;
    for (size_t i = keys.size() - 10; i < keys.size(); ++i) {
      const std::string& c = std::get<4>(keys[i]);
      expected.emplace_back(c.begin(), c.end());
    }
    std::vector<std::wstring> shown;
    for (int row = 0; row < 10; ++row) shown.push_back(ListText(hList, row, 9));
    std::sort(expected.begin(), expected.end());
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(expected, shown);

    recordPage.GetLogFile().Close();
    ::PostMessageW(sheet.m_hWnd, WM_CLOSE, 0, 0);
  });
  sheet.DoModal();
  EXPECT_EQ(S_OK, SimService::Stop());
  CRecordLogData::m_global.Clear();
  g_qEndedStreams.Clear();
  g_qEndedStreams.StartBounding();
  ::DeleteFileW(path.c_str());
}

}  // namespace
