// The recorder in this process against a fake driver, with its clock and its
// settings key in the test's hands: daily files across midnight, appending to a
// day's file that has a torn last line, retention, and faults of the driver,
// the folder, the disk and the settings, each reported once per episode while
// no line is lost or written twice.

#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "record/RecordLogData.h"
#include "recorder/Recorder.h"
#include "support/UniqueHandle.h"
#include "tests/record_page/LogTestData.h"
#include "tests/support/MemoryEventLog.h"

using namespace log_test;

namespace {

class FakeDriver : public CDeviceAccess {
public:
  int GetDeviceCount() override { return 2; }
  HRESULT QueryWaveInCounters(int n, WaveCounters& r) override { return Answer(m_in[n], r); }
  HRESULT QueryWaveOutCounters(int n, WaveCounters& r) override { return Answer(m_out[n], r); }
  // A call on device n with its own remote address; idle when `call` is 0.
  void SetCall(int n, int call) {
    m_in[n] = WaveCounters();
    m_in[n].Active = call ? 1 : 0;
    m_in[n].PacketCount = 10;
    m_in[n].Port = htons(4000);
    m_out[n] = WaveCounters();
    m_out[n].Address = call ? htonl(0x0A000000u + static_cast<u_long>(call)) : 0;
  }
  HRESULT m_hr = S_OK;

private:
  HRESULT Answer(const WaveCounters& record, WaveCounters& r) const {
    if (SUCCEEDED(m_hr)) r = record;
    return m_hr;
  }
  WaveCounters m_in[2] = {};
  WaveCounters m_out[2] = {};
};

std::wstring NewFolder(const wchar_t* name) {
  wchar_t temp[MAX_PATH];
  const std::wstring folder = std::wstring(temp, ::GetTempPathW(MAX_PATH, temp)) + name;
  ::CreateDirectoryW(folder.c_str(), nullptr);
  return folder + L"\\";
}

void WriteFile(const std::wstring& path, const char* text) { std::ofstream(path.c_str(), std::ios::binary) << text; }

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Local times: seconds after 2031-05-06 23:59:50, and after noon of that day.
CTime Night(int seconds) { return CTime(2031, 5, 6, 23, 59, 50) + CTimeSpan(seconds); }
CTime Noon(int seconds) { return CTime(2031, 5, 6, 12, 0, 0) + CTimeSpan(seconds); }

class RecorderTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_NE(nullptr, gui_test::UseResourceModule()); }

  std::vector<DWORD> EventIds() const {
    std::vector<DWORD> ids;
    for (const auto& event : m_events.GetReported()) ids.push_back(event.dwEventId);
    return ids;
  }
  // A call on device 0 runs from one tick to the next.
  void OneCall(CRecorder& recorder, int call, int& clock) {
    m_driver.SetCall(0, call);
    recorder.Tick(Noon(clock++));
    m_driver.SetCall(0, 0);
    recorder.Tick(Noon(clock++));
  }

  CMemoryEventLog m_events;
  FakeDriver m_driver;
};

TEST_F(RecorderTest, DayFilesAreAppendedAcrossMidnightAndOnlyOldDayFilesAreDeleted) {
  const std::wstring folder = NewFolder(L"delvora_recorder_days");
  const std::wstring today = folder + L"Delvora-2031-05-06.log";
  const std::wstring tomorrow = folder + L"Delvora-2031-05-07.log";
  WriteFile(today, "kept header\r\nkept line\r\ntorn");
  ::DeleteFileW(tomorrow.c_str());
  // 35 and 30 days old at the start; the second is 31 days old after midnight.
  const std::vector<std::wstring> old = {folder + L"Delvora-2031-04-01.log", folder + L"Delvora-2031-04-06.log"};
  const std::vector<std::wstring> others = {folder + L"Delvora-2031-04-01.log.bak", folder + L"Delvora-2031-02-30.log",
                                            folder + L"Delvora-31-04-01.log", folder + L"notes.txt"};
  for (const auto& path : old) WriteFile(path, "x");
  for (const auto& path : others) WriteFile(path, "x");
  ::CreateDirectoryW((folder + L"Delvora-2031-04-02.log").c_str(), nullptr);

  {
    CRecorder keepingAll(m_driver);
    keepingAll.ApplySettings({folder.c_str(), 0xFFFFFFFF}, {});
    keepingAll.Start(Night(0));
    keepingAll.Stop();
    EXPECT_TRUE(Exists(old[0])) << "the most days there are keep every file";
  }
  CRecorder recorder(m_driver);
  recorder.ApplySettings({folder.c_str(), kDefaultKeepDays}, {});
  recorder.Start(Night(0));
  EXPECT_FALSE(Exists(old[0]));
  EXPECT_TRUE(Exists(old[1]));
  m_driver.SetCall(0, 1);
  m_driver.SetCall(1, 2);
  recorder.Tick(Night(1));
  m_driver.SetCall(0, 0);
  recorder.Tick(Night(5));   // device 0's call ends at 23:59:55
  m_driver.SetCall(1, 0);
  recorder.Tick(Night(13));  // device 1's at 00:00:03, the next day
  EXPECT_FALSE(Exists(old[1])) << "the day's roll deletes what became too old";
  for (const auto& path : others) EXPECT_TRUE(Exists(path));
  EXPECT_TRUE(Exists(folder + L"Delvora-2031-04-02.log"));
  recorder.Stop();

  const std::string header = ByteText(CRecordLogData::m_global.GetHeader());
  ASSERT_EQ(0u, header.find("Device\t"));
  const std::string first = ReadFile(today);
  EXPECT_EQ(0u, first.find("kept header\r\nkept line\r\ntorn\r\n0\t2031-05-06 23:59:51\t2031-05-06 23:59:55\t")) << first;
  EXPECT_EQ(4u, Lines(today).size()) << "nothing before the header, no line twice";
  const std::vector<std::string> next = Lines(tomorrow);
  ASSERT_EQ(2u, next.size());
  EXPECT_EQ(header, next[0]);
  EXPECT_EQ(0u, next[1].find("1\t2031-05-06 23:59:51\t2031-05-07 00:00:03\t")) << next[1];
  EXPECT_EQ(2u, recorder.GetLinesWritten());
}

TEST_F(RecorderTest, FaultsAreReportedOncePerEpisodeAndEveryLineIsWrittenOnceInOrder) {
  const char* full = std::getenv("DELVORA_FULL_DISK_FOLDER");  // holds Delvora-2031-05-06.log -> /dev/full
  ASSERT_NE(nullptr, full);
  std::wstring fullFolder = L"Z:" + std::wstring(full, full + std::strlen(full));
  for (wchar_t& ch : fullFolder) ch = ch == L'/' ? L'\\' : ch;
  const std::wstring folder = NewFolder(L"delvora_recorder_faults");
  const std::wstring missing = folder + L"missing";
  const std::wstring file = missing + L"\\Delvora-2031-05-06.log";
  ::DeleteFileW(file.c_str());
  ::RemoveDirectoryW(missing.c_str());
  WriteFile(folder + L"afile", "x");
  ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Tarquel\\DelvoraRecorderTest");
  CKeyHandle hKey;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Tarquel\\DelvoraRecorderTest", 0, nullptr,
                                             0, KEY_ALL_ACCESS, nullptr, hKey.Receive(), nullptr));
  auto setFolder = [&](const std::wstring& path) {
    ::RegSetValueExW(hKey.Get(), kOutputPathValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                     static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
  };
  auto setKeepDays = [&](DWORD days) {
    ::RegSetValueExW(hKey.Get(), kKeepDaysValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&days), sizeof(days));
  };
  auto setKeepDaysText = [&] {
    ::RegSetValueExW(hKey.Get(), kKeepDaysValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(L"7"), 4);
  };
  CRecorder recorder(m_driver);
  auto readSettings = [&] {
    std::vector<SettingProblem> problems;
    recorder.ApplySettings(ReadRecorderSettings(hKey.Get(), problems), problems);
  };
  std::vector<SettingProblem> problems;
  EXPECT_EQ(DefaultOutputFolder(), ReadRecorderSettings(hKey.Get(), problems).strFolder);
  ASSERT_EQ(1u, problems.size()) << "a missing Output Path, a missing Keep Days is the default";

  int clock = 0;
  setFolder(missing);
  setKeepDaysText();
  readSettings();
  EXPECT_EQ(kDefaultKeepDays, recorder.GetSettings().dwKeepDays);
  recorder.Start(Noon(clock++));
  for (int call = 1; call <= 3; ++call) OneCall(recorder, call, clock);
  readSettings();
  EXPECT_EQ(3u, recorder.GetLinesWaiting());
  EXPECT_EQ(std::vector<DWORD>({MSG_SETTING_NOT_VALID, MSG_RECORDER_STARTED, MSG_WRITE_FAILED}), EventIds());
  ASSERT_TRUE(::CreateDirectoryW(missing.c_str(), nullptr));
  setKeepDays(0xFFFFFFFF);
  readSettings();
  OneCall(recorder, 4, clock);
  EXPECT_EQ(0u, recorder.GetLinesWaiting());

  // The driver away: the running call ends where it was last seen once it answers.
  m_driver.SetCall(0, 5);
  recorder.Tick(Noon(clock++));
  m_driver.m_hr = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  for (int i = 0; i < 3; ++i) recorder.Tick(Noon(clock++));
  m_driver.m_hr = S_OK;
  m_driver.SetCall(0, 0);
  recorder.Tick(Noon(clock++));
  // A file where the folder belongs, then a full disk, each mended in turn.
  setFolder(folder + L"afile");
  readSettings();
  OneCall(recorder, 6, clock);
  OneCall(recorder, 7, clock);
  setFolder(missing);
  readSettings();
  OneCall(recorder, 8, clock);
  setFolder(fullFolder);
  setKeepDaysText();
  readSettings();
  OneCall(recorder, 9, clock);
  OneCall(recorder, 10, clock);
  EXPECT_EQ(2u, recorder.GetLinesWaiting());
  // Wine cannot remove the link (it would act on /dev/full): the folder moves instead.
  setFolder(missing);
  readSettings();
  OneCall(recorder, 11, clock);
  recorder.Stop();

  EXPECT_EQ(std::vector<DWORD>({MSG_SETTING_NOT_VALID, MSG_RECORDER_STARTED, MSG_WRITE_FAILED, MSG_WRITE_RESUMED,
                                MSG_DRIVER_NOT_ANSWERING, MSG_DRIVER_ANSWERING, MSG_WRITE_FAILED, MSG_WRITE_RESUMED,
                                MSG_SETTING_NOT_VALID, MSG_WRITE_FAILED, MSG_WRITE_RESUMED, MSG_RECORDER_STOPPED}),
            EventIds());
  const auto& events = m_events.GetReported();
  EXPECT_EQ(L"3", events[3].strings[1]) << "three lines waited for the folder";
  EXPECT_EQ(L"2", events[4].strings[4]) << "both devices did not answer";
  EXPECT_EQ(fullFolder + L"\\Delvora-2031-05-06.log", events[9].strings[0]);
  EXPECT_EQ(L"0x80070070", events[9].strings[1]) << "the disk is full";
  EXPECT_EQ(L"11", events.back().strings[0]);
  EXPECT_EQ(L"0", events.back().strings[1]);
  // Every call once, in order (call 5 ended where it was last seen).
  std::vector<std::string> addresses;
  for (const std::string& line : Lines(file)) addresses.push_back(Fields(line)[4]);
  EXPECT_EQ(std::vector<std::string>({"Remote IP", "10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.5",
                                      "10.0.0.6", "10.0.0.7", "10.0.0.8", "10.0.0.9", "10.0.0.10", "10.0.0.11"}),
            addresses);
  EXPECT_EQ('\n', ReadFile(file).back());
  const std::vector<std::string> call5 = Fields(Lines(file)[5]);
  EXPECT_EQ(call5[1], call5[2]) << "call 5 ended where it was last seen";
  hKey.Close();
  ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Tarquel\\DelvoraRecorderTest");
}

TEST_F(RecorderTest, ACodeWithoutSystemTextStandsInItsEventOnce) {
  // Wine has no text for many COM codes: the event's text must not repeat the code it shows.
  CRecorder recorder(m_driver);
  recorder.ApplySettings({NewFolder(L"delvora_recorder_code").c_str(), kDefaultKeepDays}, {});
  recorder.Start(Noon(0));
  m_driver.m_hr = static_cast<HRESULT>(0x8004FF42);
  recorder.Tick(Noon(1));
  recorder.Stop();
  ASSERT_EQ(MSG_DRIVER_NOT_ANSWERING, EventIds().at(1));
  std::wstring text;
  for (const std::wstring& insert : m_events.GetReported()[1].strings) text += insert + L"|";
  EXPECT_EQ(text.find(L"0x8004ff42"), text.rfind(L"0x8004ff42")) << std::string(text.begin(), text.end());
  EXPECT_NE(std::wstring::npos, text.find(L"0x8004ff42"));
}

}  // namespace
