// The record log page on real windows, fed through the queue of ended streams:
// rows in sorted places, trimming to the history size, header clicks, the clear
// request, logging on and off, and a log file that cannot be written. Ticks are
// driven by sending the page's timer message.

#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "framework/PropertySheet.h"
#include "framework/String.h"
#include "record/RecordLogData.h"
#include "record/RecordLogPage.h"
#include "record/RecorderStatus.h"
#include "support/UniqueHandle.h"
#include "resources/resource.h"
#include "stats/Formatting.h"
#include "tests/framework_windows/GuiHarness.h"
#include "tests/record_page/LogTestData.h"

using namespace gui_test;
using namespace log_test;

namespace {

const wchar_t kOutputKey[] = L"Software\\Tarquel\\TqVudAva\\1.0";

std::wstring Res(UINT id) {
  CString s;
  s.LoadString(id);
  return s.GetString();
}

size_t LineCount(const std::string& text) {
  size_t n = 0;
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++n;
  return n;
}

// The length of the text's last line with its line end.
size_t LineLength(const std::string& text) {
  const size_t start = text.rfind("\r\n", text.size() - 3);
  return start == std::string::npos ? text.size() : text.size() - start - 2;
}

// "Output Path" set (or removed, for null) while alive; the old value comes back.
class OutputPathValue {
public:
  explicit OutputPathValue(const wchar_t* pszValue) {
    ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kOutputKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_hKey, nullptr);
    DWORD cb = sizeof(m_old);
    m_bHadOld = ::RegQueryValueExW(m_hKey, L"Output Path", nullptr, nullptr, reinterpret_cast<BYTE*>(m_old), &cb) == 0;
    if (pszValue) {
      ::RegSetValueExW(m_hKey, L"Output Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(pszValue),
                       static_cast<DWORD>((wcslen(pszValue) + 1) * sizeof(wchar_t)));
    } else {
      ::RegDeleteValueW(m_hKey, L"Output Path");
    }
  }
  ~OutputPathValue() {
    if (m_bHadOld) {
      ::RegSetValueExW(m_hKey, L"Output Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(m_old),
                       static_cast<DWORD>((wcslen(m_old) + 1) * sizeof(wchar_t)));
    } else {
      ::RegDeleteValueW(m_hKey, L"Output Path");
    }
    ::RegCloseKey(m_hKey);
  }

private:
  HKEY m_hKey = nullptr;
  wchar_t m_old[MAX_PATH] = {};
  bool m_bHadOld = false;
};

class RecordLogPageTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_NE(nullptr, UseResourceModule()) << "bin\\enu\\DelvoraRes.dll is missing";
    Reset();
  }
  void TearDown() override { Reset(); }
  static void Reset() {
    CRecordLogData::m_global.Clear();
    g_qEndedStreams.Clear();
    g_qEndedStreams.StartBounding();
  }

  // bClose false: the script closes the sheet itself (after keys it typed were read).
  void Run(const std::function<void(CRecordLogPage&)>& script, bool bClose = true) {
    CRecordLogPage page;
    CPropertySheet sheet(L"Record Log");
    sheet.AddPage(&page);
    const ModalScript inLoop([&] {
      m_hPage = page.m_hWnd;
      m_hList = page.m_listRecords.m_hWnd;
      script(page);
      if (bClose) ::PostMessageW(sheet.m_hWnd, WM_CLOSE, 0, 0);
    });
    sheet.DoModal();
  }

  void Tick() const { ::SendMessageW(m_hPage, WM_TIMER, IDT_REFRESH, 0); }
  int Rows() const { return static_cast<int>(::SendMessageW(m_hList, LVM_GETITEMCOUNT, 0, 0)); }
  HWND Header() const { return reinterpret_cast<HWND>(::SendMessageW(m_hList, LVM_GETHEADER, 0, 0)); }
  bool HasArrow(int column) const { return (HeaderFormat(Header(), column) & HDF_IMAGE) != 0; }
  // The devices of the rows, top to bottom.
  std::vector<int> Devices() const {
    std::vector<int> devices;
    for (int row = 0; row < Rows(); ++row) devices.push_back(_wtoi(ListText(m_hList, row, 0).c_str()));
    return devices;
  }
  std::vector<std::wstring> Column(int column) const {
    std::vector<std::wstring> texts;
    for (int row = 0; row < Rows(); ++row) texts.push_back(ListText(m_hList, row, column));
    return texts;
  }
  std::wstring Status() const { return WindowText(::GetDlgItem(m_hPage, IDC_LOG_STATUS)); }
  std::wstring StartStop() const { return WindowText(::GetDlgItem(m_hPage, IDC_START_STOP)); }

  HWND m_hPage = nullptr;
  HWND m_hList = nullptr;
};

TEST_F(RecordLogPageTest, DefaultLogPathComesFromTheOutputPathValue) {
  const struct {
    const wchar_t* value;
    const wchar_t* path;
  } cases[] = {{nullptr, L"DelvoraLog.txt"},
               {L"D:\\Logs", L"D:\\Logs\\DelvoraLog.txt"},
               {L"D:\\Logs\\", L"D:\\Logs\\DelvoraLog.txt"}};
  for (const auto& c : cases) {
    const OutputPathValue value(c.value);
    Run([&](CRecordLogPage& page) { EXPECT_EQ(std::wstring(c.path), page.GetLogPath().GetString()); });
  }
}

// A recorder service that is installed but never started, removed again at the end.
class InstalledRecorder {
public:
  InstalledRecorder() {
    CServiceHandle hManager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    m_hService.Attach(::CreateServiceW(hManager.Get(), kRecorderServiceName, L"Delvora Recorder", SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                       L"C:\\windows\\system32\\notepad.exe", nullptr, nullptr, nullptr, nullptr,
                                       nullptr));
  }
  ~InstalledRecorder() {
    if (m_hService) ::DeleteService(m_hService.Get());
  }
  bool IsInstalled() const { return m_hService.IsValid(); }

private:
  CServiceHandle m_hService;
};

TEST_F(RecordLogPageTest, TheStatusSaysWhetherTheRecorderRunsAndItsFolderOpensOrSaysWhyNot) {
  const wchar_t kFolder[] = L"C:\\no_such_delvora_folder";
  const OutputPathValue value(kFolder);
  MessageBoxAnswerer answerer;
  Run([&](CRecordLogPage& page) {
    ::SendMessageW(::GetParent(m_hPage), PSM_SETCURSEL, 0, 0);
    auto recorder = [&] { return WindowText(::GetDlgItem(m_hPage, IDC_RECORDER_STATUS)); };
    EXPECT_EQ(Res(IDS_RECORDER_NOT_INSTALLED), recorder());
    {
      const InstalledRecorder installed;
      ASSERT_TRUE(installed.IsInstalled());
      for (int i = 0; i < 4; ++i) Tick();
      EXPECT_EQ(Res(IDS_RECORDER_NOT_INSTALLED), recorder()) << "asked again before the fifth tick";
      Tick();
      EXPECT_EQ(Res(IDS_RECORDER_STOPPED), recorder());
    }
    EXPECT_EQ(L"C:\\no_such_delvora_folder\\Delvora-2026-03-14.log",
              std::wstring(RecorderDayFile(kFolder, CTime(2026, 3, 14, 23, 59, 59)).GetString()));

    SendMenuCommand(::GetParent(m_hPage), ID_OPEN_RECORDER_FOLDER);
    ASSERT_EQ(1u, answerer.boxes.size());
    std::wstring opening = Res(IDS_ERROR_OPEN_FOLDER);
    opening = opening.substr(0, opening.find(L'\n'));
    opening.replace(opening.find(L"%1"), 2, kFolder);
    EXPECT_EQ(0u, answerer.boxes[0].text.find(opening)) << "no folder and reason in: " << answerer.boxes[0].text;
    EXPECT_GT(answerer.boxes[0].text.size(), opening.size() + 5);
    (void)page;
  });
}

TEST_F(RecordLogPageTest, EndedStreamsBecomeSortedRowsAndTheHistoryIsTrimmedToItsSize) {
  Run([&](CRecordLogPage& page) {
    // At first: sorted by end time ascending, not logging, nothing recorded.
    EXPECT_EQ(2, page.GetSortState().column);
    EXPECT_TRUE(page.GetSortState().ascending);
    EXPECT_TRUE(HasArrow(2));
    EXPECT_EQ(0, HeaderImage(Header(), 2));
    EXPECT_EQ(Res(IDS_STATUS_NOT_LOGGING), Status());
    EXPECT_EQ(Res(IDS_START_LOGGING), StartStop());
    // The columns, each title whole beside the sort mark, fit beside a vertical scroll bar.
    int columns = 0;
    for (int col = 0; col < 10; ++col) {
      columns += static_cast<int>(::SendMessageW(m_hList, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(col), 0));
    }
    RECT client = {};
    ::GetClientRect(m_hList, &client);
    EXPECT_LE(columns + ::GetSystemMetrics(SM_CXVSCROLL), client.right);
    Tick();
    EXPECT_EQ(0, Rows());
    EXPECT_EQ(0u, CRecordLogData::m_global.GetCount());
    EXPECT_FALSE(g_qEndedStreams.IsBounded());

    // Twelve streams queued out of end-time order.
    const int ends[12] = {50, 10, 110, 30, 70, 20, 90, 60, 40, 100, 80, 5};
    for (int i = 0; i < 12; ++i) g_qEndedStreams.Append(Ended(i % 4, ends[i]));
    Tick();
    ASSERT_EQ(12, Rows());
    EXPECT_TRUE(g_qEndedStreams.IsEmpty());
    std::vector<std::wstring> expectedEnds;
    for (int end : {5, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110}) {
      expectedEnds.push_back(FormatTimeStamp(Ended(0, end).m_timeLast).GetString());
    }
    EXPECT_EQ(expectedEnds, Column(2));
    // Every cell of one row; the item data is the record's id.
    const int row = 11;  // ended at +110: the third queued, on device 2
    EXPECT_EQ(L"002", ListText(m_hList, row, 0));
    EXPECT_EQ(std::wstring(FormatTimeStamp(Ended(2, 110).m_timeStart).GetString()), ListText(m_hList, row, 1));
    EXPECT_EQ(L"12.50", ListText(m_hList, row, 3));
    EXPECT_EQ(L"10.0.0.1", ListText(m_hList, row, 4));
    EXPECT_EQ(L"5000", ListText(m_hList, row, 5));
    EXPECT_EQ(L"40000", ListText(m_hList, row, 6));
    EXPECT_EQ(std::wstring(FormatCodecName(1).GetString()), ListText(m_hList, row, 7));
    EXPECT_EQ(L"110", ListText(m_hList, row, 8));
    EXPECT_EQ(L"7", ListText(m_hList, row, 9));
    ItemData record;
    ASSERT_EQ(S_OK, CRecordLogData::m_global.FindRecord(static_cast<DWORD>(ListData(m_hList, row)), record));
    EXPECT_EQ(110, record.m_spanDuration.GetTotalSeconds());

    // History size 10 through its dialog: the next tick erases the two that ended first.
    {
      MessageBoxAnswerer answerer;
      const ModalScript inDialog([&] {
        HWND hDlg = ::GetActiveWindow();
        EXPECT_EQ(L"500", WindowText(::GetDlgItem(hDlg, IDC_HISTORY_SIZE)));
        ::SetDlgItemTextW(hDlg, IDC_HISTORY_SIZE, L"10");
        ClickButton(::GetDlgItem(hDlg, IDOK));
      });
      SendMenuCommand(m_hPage, ID_HISTORY_SIZE);
      EXPECT_TRUE(answerer.boxes.empty());
    }
    EXPECT_EQ(10, page.GetMaxRecords());
    EXPECT_EQ(12, Rows());
    Tick();
    EXPECT_EQ(10, Rows());
    EXPECT_EQ(10u, CRecordLogData::m_global.GetCount());
    expectedEnds.erase(expectedEnds.begin(), expectedEnds.begin() + 2);
    EXPECT_EQ(expectedEnds, Column(2));
  });
}

TEST_F(RecordLogPageTest, HeaderClicksSortWithTiesInDeviceOrderAndNewRowsFindTheirPlace) {
  Run([&](CRecordLogPage&) {
    // Address ports: devices 3 and 1 share 7000, device 2 has 6000.
    g_qEndedStreams.Append(Ended(3, 1, L"10.0.0.9", 7000));
    g_qEndedStreams.Append(Ended(1, 2, L"10.0.0.10", 7000));
    g_qEndedStreams.Append(Ended(2, 3, L"10.0.0.9", 6000));
    Tick();

    ClickHeader(m_hList, 5);
    EXPECT_EQ((std::vector<int>{2, 1, 3}), Devices());
    EXPECT_FALSE(HasArrow(2));
    EXPECT_TRUE(HasArrow(5));
    EXPECT_EQ(0, HeaderImage(Header(), 5));
    ClickHeader(m_hList, 5);
    // Descending; the tie stays in ascending device order.
    EXPECT_EQ((std::vector<int>{1, 3, 2}), Devices());
    EXPECT_EQ(1, HeaderImage(Header(), 5));

    // A new row goes after the rows it ties with.
    g_qEndedStreams.Append(Ended(0, 4, L"10.0.0.1", 7000));
    g_qEndedStreams.Append(Ended(4, 5, L"10.0.0.1", 6500));
    Tick();
    EXPECT_EQ((std::vector<int>{0, 1, 3, 4, 2}), Devices());

    // The address sorts as text: 10.0.0.10 before 10.0.0.9.
    ClickHeader(m_hList, 4);
    EXPECT_EQ((std::vector<std::wstring>{L"10.0.0.1", L"10.0.0.1", L"10.0.0.10", L"10.0.0.9", L"10.0.0.9"}),
              Column(4));
    EXPECT_EQ((std::vector<int>{0, 4, 1, 2, 3}), Devices());

    // Under the device column a device's rows come in end-time order, whatever the direction.
    g_qEndedStreams.Append(Ended(1, 0));
    Tick();
    ClickHeader(m_hList, 0);
    ClickHeader(m_hList, 0);
    EXPECT_EQ((std::vector<int>{4, 3, 2, 1, 1, 0}), Devices());
    EXPECT_EQ(L"10.0.0.1", ListText(m_hList, 3, 4));  // the one that ended at +0 first
    EXPECT_EQ(L"10.0.0.10", ListText(m_hList, 4, 4));
  });
}

TEST_F(RecordLogPageTest, CtrlAAndCtrlCInTheListCopyEveryRowInTheSortedOrder) {
  Run([&](CRecordLogPage&) {
    g_qEndedStreams.Append(Ended(3, 30, L"10.0.0.3", 6003));
    g_qEndedStreams.Append(Ended(1, 10, L"10.0.0.1", 6001));
    g_qEndedStreams.Append(Ended(2, 20, L"10.0.0.2", 6002));
    Tick();
    ClickHeader(m_hList, 5);
    ClickHeader(m_hList, 5);  // address port, descending: devices 3, 2, 1
    ASSERT_EQ((std::vector<int>{3, 2, 1}), Devices());

    HWND hSheet = ::GetParent(m_hPage);
    PressCtrlKey(hSheet, m_hList, 'A');
    EXPECT_EQ(3, ::SendMessageW(m_hList, LVM_GETSELECTEDCOUNT, 0, 0));
    PressCtrlKey(hSheet, m_hList, 'C');
    // The rows' texts are given on demand: the copy must ask for them as the list does.
    std::wstring expected;
    for (UINT id : {IDS_COL_DEVICE, IDS_COL_START_TIME, IDS_COL_END_TIME, IDS_COL_AVERAGE, IDS_COL_ADDRESS,
                    IDS_COL_ADDRESS_PORT, IDS_COL_PORT, IDS_COL_CODEC, IDS_COL_DURATION, IDS_COL_COUNTER}) {
      expected += (expected.empty() ? L"" : L"\t") + Res(id);
    }
    expected += L"\r\n";
    const std::wstring codec = FormatCodecName(1).GetString();
    for (int device : {3, 2, 1}) {
      const ItemData item = Ended(device, device * 10, L"", 0);
      const std::wstring n = std::to_wstring(device);
      expected += L"00" + n + L"\t" + FormatTimeStamp(item.m_timeStart).GetString() + L"\t" +
                  FormatTimeStamp(item.m_timeLast).GetString() + L"\t12.50\t10.0.0." + n + L"\t600" + n +
                  L"\t40000\t" + codec + L"\t" + std::to_wstring(device * 10) + L"\t7\r\n";
    }
    EXPECT_EQ(expected, ClipboardText());
  });
}

TEST_F(RecordLogPageTest, HeaderClicksKeepTiedRowsInOrderAndLaterTicksFindTheirRows) {
  const auto ends = [](std::initializer_list<int> list) {
    std::vector<std::wstring> texts;
    for (int end : list) texts.push_back(FormatTimeStamp(Ended(0, end).m_timeLast).GetString());
    return texts;
  };
  Run([&](CRecordLogPage& page) {
    // Eleven streams with one codec: odd ends on device 7, even ends on device 3.
    for (int end = 11; end >= 1; --end) g_qEndedStreams.Append(Ended(end % 2 ? 7 : 3, end));
    Tick();
    ClickHeader(m_hList, 7);
    // Every row ties by codec: device 3 first, each device's rows in their end order.
    EXPECT_EQ(ends({2, 4, 6, 8, 10, 1, 3, 5, 7, 9, 11}), Column(2));
    ClickHeader(m_hList, 7);
    EXPECT_EQ(ends({2, 4, 6, 8, 10, 1, 3, 5, 7, 9, 11}), Column(2));

    // History size 10: the trim erases the stream that ended first, in the middle of the list.
    {
      const ModalScript inDialog([&] {
        HWND hDlg = ::GetActiveWindow();
        ::SetDlgItemTextW(hDlg, IDC_HISTORY_SIZE, L"10");
        ClickButton(::GetDlgItem(hDlg, IDOK));
      });
      SendMenuCommand(m_hPage, ID_HISTORY_SIZE);
    }
    ASSERT_EQ(10, page.GetMaxRecords());
    Tick();
    EXPECT_EQ(ends({2, 4, 6, 8, 10, 3, 5, 7, 9, 11}), Column(2));
    // A stream of device 5 goes between the devices; the one that ended at +2 goes.
    g_qEndedStreams.Append(Ended(5, 12));
    Tick();
    EXPECT_EQ(ends({4, 6, 8, 10, 12, 3, 5, 7, 9, 11}), Column(2));
    EXPECT_EQ((std::vector<int>{3, 3, 3, 3, 5, 7, 7, 7, 7, 7}), Devices());
  });
}

TEST_F(RecordLogPageTest, ClearRecordsTheTicksStreamsFirstAndStopClosesTheLog) {
  wchar_t dir[MAX_PATH];
  ::GetTempPathW(MAX_PATH, dir);
  const std::wstring path = std::wstring(dir) + L"record_page_clear.txt";
  Run([&](CRecordLogPage& page) {
    ASSERT_EQ(S_OK, page.GetLogFile().Open(path.c_str()));
    g_qEndedStreams.Append(Ended(0, 1));
    g_qEndedStreams.Append(Ended(1, 2));
    Tick();
    EXPECT_EQ(2u, LineCount(ReadFile(path)));

    ClickButton(::GetDlgItem(m_hPage, IDC_CLEAR_RECORDS));
    EXPECT_EQ(2, Rows());  // cleared at the next tick
    g_qEndedStreams.Append(Ended(2, 3));
    Tick();
    EXPECT_EQ(0, Rows());
    EXPECT_EQ(0u, CRecordLogData::m_global.GetCount());
    const std::string text = ReadFile(path);
    EXPECT_EQ(3u, LineCount(text));
    EXPECT_EQ(0, text.compare(text.size() - LineLength(text), 2, "2\t"));  // device 2 written last
    // The clear is done once: later streams stay.
    g_qEndedStreams.Append(Ended(3, 4));
    Tick();
    EXPECT_EQ(1, Rows());

    // Activation shows the open log; button 1004 stops it.
    ::SendMessageW(::GetParent(m_hPage), PSM_SETCURSEL, 0, 0);
    std::wstring logging = Res(IDS_STATUS_LOGGING_TO);
    logging.replace(logging.find(L"%1"), 2, path);
    EXPECT_EQ(logging, Status()) << "the status names the file";
    EXPECT_EQ(Res(IDS_STOP_LOGGING), StartStop());
    ClickButton(::GetDlgItem(m_hPage, IDC_START_STOP));
    EXPECT_FALSE(page.GetLogFile().IsOpen());
    EXPECT_EQ(Res(IDS_STATUS_NOT_LOGGING), Status());
    EXPECT_EQ(Res(IDS_START_LOGGING), StartStop());

    // Pressed again it opens the logging settings with the page's path.
    std::wstring shownPath;
    const ModalScript inDialog([&] {
      HWND hDlg = ::GetActiveWindow();
      shownPath = WindowText(::GetDlgItem(hDlg, IDC_LOG_PATH));
      ClickButton(::GetDlgItem(hDlg, IDCANCEL));
    });
    ClickButton(::GetDlgItem(m_hPage, IDC_START_STOP));
    EXPECT_EQ(std::wstring(page.GetLogPath().GetString()), shownPath);
  });
  ::DeleteFileW(path.c_str());
}

TEST_F(RecordLogPageTest, AFullDiskIsToldOncePerRunAndTheRecordsStay) {
  Run([&](CRecordLogPage& page) {
    // Wine maps Z:\dev\full to the device whose every write fails with "disk full".
    ASSERT_EQ(S_OK, page.GetLogFile().Open(L"Z:\\dev\\full"));
    MessageBoxAnswerer answerer;
    g_qEndedStreams.Append(Ended(0, 1));
    g_qEndedStreams.Append(Ended(1, 2));
    Tick();
    ASSERT_EQ(1u, answerer.boxes.size());
    const std::wstring& text = answerer.boxes[0].text;
    EXPECT_NE(std::wstring::npos, text.find(L"Z:\\dev\\full")) << text;
    const std::wstring systemText = GetSystemErrorText(HRESULT_FROM_WIN32(ERROR_DISK_FULL)).GetString();
    ASSERT_FALSE(systemText.empty());
    EXPECT_NE(std::wstring::npos, text.find(systemText.substr(0, 10))) << text;
    EXPECT_EQ(Res(IDS_STATUS_WRITE_FAILED), Status());
    EXPECT_EQ(2, Rows());
    EXPECT_EQ(2u, CRecordLogData::m_global.GetCount());

    // The same run of failures: no second message.
    g_qEndedStreams.Append(Ended(2, 3));
    Tick();
    EXPECT_EQ(1u, answerer.boxes.size());
    EXPECT_EQ(3, Rows());

    // Stopping ends the run; the status says so.
    ClickButton(::GetDlgItem(m_hPage, IDC_START_STOP));
    EXPECT_EQ(Res(IDS_STATUS_NOT_LOGGING), Status());
  });
}

TEST_F(RecordLogPageTest, AHeaderClickDuringATicksMessageBoxLeavesLaterRowsInTheirPlaces) {
  Run([&](CRecordLogPage& page) {
    for (int device : {3, 1, 2, 0}) g_qEndedStreams.Append(Ended(device, 10 - device));
    Tick();
    ASSERT_EQ((std::vector<int>{3, 2, 1, 0}), Devices());

    // The first line of the tick fails; while its message is up the user sorts by device.
    ASSERT_EQ(S_OK, page.GetLogFile().Open(L"Z:\\dev\\full"));
    MessageBoxAnswerer answerer;
    answerer.onBox = [&](size_t) { ClickHeader(m_hList, 0); };
    g_qEndedStreams.Append(Ended(4, 20));
    g_qEndedStreams.Append(Ended(1, 21));
    g_qEndedStreams.Append(Ended(3, 22));
    Tick();
    ASSERT_EQ(1u, answerer.boxes.size());
    EXPECT_EQ((std::vector<int>{0, 1, 1, 2, 3, 3, 4}), Devices());
    // Each device's rows in end-time order: the later streams went after the earlier.
    EXPECT_EQ(L"10.0.0.1", ListText(m_hList, 2, 4));
    EXPECT_EQ(std::wstring(FormatTimeStamp(Ended(1, 21).m_timeLast).GetString()), ListText(m_hList, 2, 2));
    EXPECT_EQ(std::wstring(FormatTimeStamp(Ended(3, 22).m_timeLast).GetString()), ListText(m_hList, 5, 2));
    page.GetLogFile().Close();
  });
}

}  // namespace

// ---- the list's filter, keyboard sort and Save History As ---------------------------

namespace {

// Keys typed as a user types them, so that the sheet's own loop reads them; a
// negative key is let go.
void Type(std::initializer_list<int> keys) {
  for (int key : keys) ::keybd_event(static_cast<BYTE>(key < 0 ? -key : key), 0, key < 0 ? KEYEVENTF_KEYUP : 0, 0);
}

std::wstring TempPath(const wchar_t* pszName) {
  wchar_t dir[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, dir);
  return std::wstring(dir) + pszName;
}

UINT RowState(HWND hList, int row) {
  return static_cast<UINT>(::SendMessageW(hList, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED | LVIS_FOCUSED));
}

std::wstring Message(UINT id, const std::vector<std::wstring>& inserts) {
  std::wstring text = Res(id);
  for (size_t i = 0; i < inserts.size(); ++i) {
    const std::wstring mark = L"%" + std::to_wstring(i + 1);
    text.replace(text.find(mark), mark.size(), inserts[i]);
  }
  return text;
}

}  // namespace

TEST_F(RecordLogPageTest, TheFilterHidesRowsNotRecordsAndEscBringsEveryRowBackInOrderWithTheSelection) {
  const std::wstring path = TempPath(L"record_page_filter.txt");
  std::unique_ptr<ModalScript> afterCtrlF, afterEsc;
  Run([&](CRecordLogPage& page) {
    ASSERT_EQ(S_OK, page.GetLogFile().Open(path.c_str()));
    for (int device = 0; device < 6; ++device) {
      g_qEndedStreams.Append(Ended(device, 10 + device, device % 2 ? L"192.168.1.7" : L"10.0.0.1"));
    }
    Tick();
    const HWND hFilter = ::GetDlgItem(m_hPage, IDC_LIST_FILTER);
    const HWND hCount = ::GetDlgItem(m_hPage, IDC_FILTER_COUNT);
    LVITEMW item = {};
    item.state = item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(m_hList, LVM_SETITEMSTATE, 3, reinterpret_cast<LPARAM>(&item));  // device 3
    ::SetFocus(m_hList);
    Type({VK_CONTROL, 'F', -'F', -VK_CONTROL});
    afterCtrlF = std::make_unique<ModalScript>([&, hFilter, hCount] {
      EXPECT_EQ(hFilter, ::GetFocus()) << "Ctrl+F";
      ::SetWindowTextW(hFilter, L"192.168");
      EXPECT_EQ((std::vector<int>{1, 3, 5}), Devices());
      EXPECT_EQ(static_cast<UINT>(LVIS_SELECTED | LVIS_FOCUSED), RowState(m_hList, 1)) << "device 3 kept";
      EXPECT_EQ(Message(IDS_FILTER_COUNT, {L"3", L"6"}), WindowText(hCount));
      // Any cell, any case: the codec's name in lower case.
      std::wstring codec = FormatCodecName(1).GetString();
      for (wchar_t& c : codec) c = static_cast<wchar_t>(::towlower(c));
      ::SetWindowTextW(hFilter, codec.c_str());
      EXPECT_EQ(6, Rows());
      ::SetWindowTextW(hFilter, L"192.168.1.7");
      // Streams that end meanwhile are recorded and logged; only the matching one shows.
      g_qEndedStreams.Append(Ended(6, 30, L"192.168.1.7"));
      g_qEndedStreams.Append(Ended(7, 31, L"10.0.0.1"));
      Tick();
      EXPECT_EQ((std::vector<int>{1, 3, 5, 6}), Devices());
      EXPECT_EQ(8u, CRecordLogData::m_global.GetCount());
      EXPECT_EQ(8u, LineCount(ReadFile(path)));
      EXPECT_EQ(Message(IDS_FILTER_COUNT, {L"4", L"8"}), WindowText(hCount));
      // View > Sort by: a new column ascending, the same again descending, checked in the menu.
      SendMenuCommand(m_hPage, ID_SORT_BY_FIRST);
      SendMenuCommand(m_hPage, ID_SORT_BY_FIRST);
      EXPECT_EQ((std::vector<int>{6, 5, 3, 1}), Devices());
      EXPECT_TRUE(HasArrow(0));
      EXPECT_FALSE(HasArrow(2));
      EXPECT_EQ(1, HeaderImage(Header(), 0));
      const HWND hSheet = ::GetParent(m_hPage);
      const HMENU hView = ::GetSubMenu(::GetMenu(hSheet), 2);
      const HMENU hSortBy = ::GetSubMenu(hView, 0);
      ::SendMessageW(hSheet, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(hSortBy), MAKELPARAM(0, FALSE));
      EXPECT_TRUE(::GetMenuState(hSortBy, ID_SORT_BY_FIRST, MF_BYCOMMAND) & MF_CHECKED);
      EXPECT_FALSE(::GetMenuState(hSortBy, ID_SORT_BY_FIRST + 2, MF_BYCOMMAND) & MF_CHECKED);
      Type({VK_ESCAPE, -VK_ESCAPE, VK_DOWN, -VK_DOWN});
      afterEsc = std::make_unique<ModalScript>([&, hFilter, hCount, hSheet] {
        EXPECT_EQ(L"", WindowText(hFilter));
        EXPECT_EQ(m_hList, ::GetFocus()) << "Down goes on from the filter to the rows";
        EXPECT_EQ((std::vector<int>{7, 6, 5, 4, 3, 2, 1, 0}), Devices());
        EXPECT_EQ(static_cast<UINT>(LVIS_SELECTED | LVIS_FOCUSED), RowState(m_hList, 4)) << "device 3 kept";
        EXPECT_EQ(L"", WindowText(hCount));
        EXPECT_TRUE(::IsWindow(hSheet)) << "Esc in a filter with text does not close the sheet";
        ::PostMessageW(hSheet, WM_CLOSE, 0, 0);
      });
    });
  }, false);
  ASSERT_NE(nullptr, afterEsc) << "the keys were not read";
  ::DeleteFileW(path.c_str());
}

namespace {

// Saves through File > Save History As into `path`; returns the dialog's title.
std::wstring SaveHistoryAs(HWND hPage, const std::wstring& path, MessageBoxAnswerer& answerer) {
  std::wstring title;
  answerer.onOtherWindow = [&](HWND hWnd) {
    title = WindowText(hWnd);
    AnswerFileDialog(hWnd, path);
  };
  SendMenuCommand(hPage, ID_SAVE_HISTORY_AS);
  return title;
}

}  // namespace

TEST_F(RecordLogPageTest, SaveHistoryAsWritesTheRowsShownAsTheLogWouldAndNeverAHalfFile) {
  const std::wstring log = TempPath(L"record_page_save_log.txt");
  const std::wstring saved = TempPath(L"record_page_saved.txt");
  const std::wstring held = TempPath(L"record_page_save_held.txt");
  ::DeleteFileW(saved.c_str());
  MessageBoxAnswerer answerer(IDYES);
  Run([&](CRecordLogPage& page) {
    ASSERT_EQ(S_OK, page.GetLogFile().Open(log.c_str()));
    page.GetLogFile().WriteLine(CRecordLogData::m_global.GetHeader());
    for (int device = 0; device < 5; ++device) {
      g_qEndedStreams.Append(Ended(device, 10 + device, device % 2 ? L"192.168.1.7" : L"10.0.0.1"));
    }
    Tick();
    page.GetLogFile().Close();

    // Every row, in end-time order: the log's own bytes.
    EXPECT_EQ(Message(IDS_SAVE_TITLE_ALL, {L"5"}), SaveHistoryAs(m_hPage, saved, answerer));
    EXPECT_TRUE(answerer.boxes.empty()) << "no question for a new file";
    EXPECT_EQ(ReadFile(log), ReadFile(saved));

    // The filtered rows in the order shown, over the old file once the user agrees.
    ::SetWindowTextW(::GetDlgItem(m_hPage, IDC_LIST_FILTER), L"10.0.0.1");
    SendMenuCommand(m_hPage, ID_SORT_BY_FIRST);
    SendMenuCommand(m_hPage, ID_SORT_BY_FIRST);
    EXPECT_EQ(Message(IDS_SAVE_TITLE_FILTERED, {L"3", L"5"}), SaveHistoryAs(m_hPage, saved, answerer));
    ASSERT_EQ(1u, answerer.boxes.size());
    EXPECT_NE(std::wstring::npos, answerer.boxes[0].text.find(saved)) << "the question names the file";
    const std::vector<std::string> logLines = Lines(log);
    EXPECT_EQ((std::vector<std::string>{logLines[0], logLines[5], logLines[3], logLines[1]}), Lines(saved));

    // A file that another program holds cannot be replaced: the reason is told,
    // the file keeps its bytes and no file is left beside it.
    answerer.boxes.clear();
    const HANDLE hHeld = ::CreateFileW(held.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hHeld);
    DWORD written = 0;
    ::WriteFile(hHeld, "old\r\n", 5, &written, nullptr);
    SaveHistoryAs(m_hPage, held, answerer);
    ::CloseHandle(hHeld);
    ASSERT_EQ(2u, answerer.boxes.size()) << "the question, then the failure";
    const std::wstring strTemplate = Res(IDS_ERROR_SAVE_HISTORY);
    EXPECT_EQ(0u, answerer.boxes[1].text.find(strTemplate.substr(0, strTemplate.find(L"%1")) + held));
    EXPECT_EQ("old\r\n", ReadFile(held));
    WIN32_FIND_DATAW found = {};
    const HANDLE hFind = ::FindFirstFileW(TempPath(L"dlv*.tmp").c_str(), &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, hFind) << "a temporary file was left";
    if (hFind != INVALID_HANDLE_VALUE) ::FindClose(hFind);
  });
  ::DeleteFileW(log.c_str());
  ::DeleteFileW(saved.c_str());
  ::DeleteFileW(held.c_str());
}
