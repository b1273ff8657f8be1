// The history size and logging settings dialogs on real windows: typed values,
// the overwrite question, the log file's first lines, the save-file dialog and
// the controls that follow the log file's state.

#include <winsock2.h>
#include <windows.h>
#include <dlgs.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "framework/String.h"
#include "record/HistorySizeDlg.h"
#include "record/LogFile.h"
#include "record/LogSettingsDlg.h"
#include "record/RecordLogData.h"
#include "resources/resource.h"
#include "stats/Formatting.h"
#include "tests/framework_windows/GuiHarness.h"

using namespace gui_test;

namespace {

std::wstring Res(UINT id) {
  CString s;
  s.LoadString(id);
  return s.GetString();
}

std::wstring Replace(std::wstring text, const std::wstring& from, const std::wstring& to) {
  const size_t at = text.find(from);
  if (at != std::wstring::npos) text.replace(at, from.size(), to);
  return text;
}

bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

bool IsEnabled(HWND hDlg, int id) { return ::IsWindowEnabled(::GetDlgItem(hDlg, id)) != FALSE; }

void Click(HWND hDlg, int id) { ClickButton(::GetDlgItem(hDlg, id)); }

// A script runs before the modal loop first shows its dialog. Shown and active
// now, it is the window the user works in (the owner of message boxes), and
// hidden again once it ends.
HWND Shown(const CDialog& dlg) {
  ::ShowWindow(dlg.m_hWnd, SW_SHOWNORMAL);
  return dlg.m_hWnd;
}

// The log file holds characters up to U+00FF one byte each.
std::string Bytes(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::string ReadAll(const std::wstring& path) {
  FILE* pFile = ::_wfopen(path.c_str(), L"rb");
  if (!pFile) return "<cannot be read>";
  std::string content;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pFile)) > 0) content.append(buf, n);
  std::fclose(pFile);
  return content;
}

// Whether the message box showing `text` offers exactly Yes and No.
struct BoxSearch {
  std::wstring text;
  HWND hBox;
};
BOOL CALLBACK FindBoxProc(HWND hWnd, LPARAM lParam) {
  BoxSearch* search = reinterpret_cast<BoxSearch*>(lParam);
  if (WindowText(::GetDlgItem(hWnd, 0xFFFF)) == search->text) search->hBox = hWnd;
  return TRUE;
}
bool AsksYesNo(const std::wstring& text) {
  BoxSearch search{text, nullptr};
  ::EnumThreadWindows(::GetCurrentThreadId(), &FindBoxProc, reinterpret_cast<LPARAM>(&search));
  HWND h = search.hBox;
  return h && ::GetDlgItem(h, IDYES) && ::GetDlgItem(h, IDNO) && !::GetDlgItem(h, IDOK) && !::GetDlgItem(h, IDCANCEL);
}

TEST(HistorySizeDialog, ShowsTheSizeClampedAndEndsOnlyWithASizeInRange) {
  ASSERT_NE(nullptr, UseResourceModule()) << "bin\\enu\\DelvoraRes.dll is missing";
  CHistorySizeDlg dlg;
  dlg.SetValue(5);
  EXPECT_EQ(L"10", std::wstring(dlg.m_strValue.GetString()));
  dlg.SetValue(5000);

  MessageBoxAnswerer answerer;
  std::wstring shown;
  bool okWhenEmpty = true;
  bool okWithText = false;
  std::vector<std::wstring> refused;
  const ModalScript inLoop([&] {
    HWND hDlg = Shown(dlg);
    HWND hEdit = ::GetDlgItem(hDlg, IDC_HISTORY_SIZE);
    shown = WindowText(hEdit);
    ::SetWindowTextW(hEdit, L"");
    okWhenEmpty = IsEnabled(hDlg, IDOK);
    // 4294967806 is 510 once wrapped to 32 bits: in range, had it been read so.
    for (const wchar_t* text : {L"9", L"2001", L"4294967806"}) {
      ::SetWindowTextW(hEdit, text);
      okWithText = IsEnabled(hDlg, IDOK);
      Click(hDlg, IDOK);
      if (::IsWindowVisible(hDlg)) refused.push_back(text);
    }
    ::SetWindowTextW(hEdit, L"15abc");
    Click(hDlg, IDOK);
    if (::IsWindowVisible(hDlg)) ::PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  });
  EXPECT_EQ(IDOK, dlg.DoModal());
  EXPECT_EQ(L"2000", shown);
  EXPECT_FALSE(okWhenEmpty);
  EXPECT_TRUE(okWithText);
  EXPECT_EQ((std::vector<std::wstring>{L"9", L"2001", L"4294967806"}), refused);
  const std::wstring range = Replace(Replace(Res(IDS_VALUE_RANGE), L"%1", L"10"), L"%2", L"2000");
  ASSERT_EQ(3u, answerer.boxes.size());
  for (const MessageBoxAnswerer::Box& box : answerer.boxes) EXPECT_EQ(range, box.text);
  EXPECT_EQ(15, dlg.GetValue());
}

class LogSettingsDialog : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_NE(nullptr, UseResourceModule()) << "bin\\enu\\DelvoraRes.dll is missing";
    CRecordLogData::m_global.Clear();
    m_dlg.m_pLogFile = &m_log;
  }
  void TearDown() override {
    m_log.Close();
    for (const std::wstring& path : m_files) ::DeleteFileW(path.c_str());
    CRecordLogData::m_global.Clear();
  }

  // A file in the temp folder, removed after the test; with content it exists.
  std::wstring TempFile(const wchar_t* name, const char* content = nullptr) {
    wchar_t dir[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, dir);
    const std::wstring path =
        std::wstring(dir) + L"delvora_" + name + L"_" + std::to_wstring(::GetCurrentProcessId()) + L".txt";
    m_files.push_back(path);
    if (content) {
      FILE* pFile = ::_wfopen(path.c_str(), L"wb");
      if (pFile) {
        std::fputs(content, pFile);
        std::fclose(pFile);
      }
    }
    return path;
  }

  // A record of `device` that ended `end` seconds into the day.
  static ItemData Record(int device, int end) {
    ItemData item;
    item.m_nDevice = device;
    item.m_timeStart = CTime(2023, 3, 14, 0, 0, 0) + CTimeSpan(end - 90);
    item.m_timeLast = CTime(2023, 3, 14, 0, 0, 0) + CTimeSpan(end);
    item.m_spanDuration = CTimeSpan(90);
    item.m_dAverage = 20.5;
    item.m_strAddress = L"10.1.2.3";
    item.m_wAddressPort = 4000;
    item.m_wPort = 5060;
    item.m_dwCounter = static_cast<DWORD>(device * 10);
    return item;
  }

  void ExpectControls(HWND hDlg, bool open) {
    SCOPED_TRACE(open ? "log open" : "log closed");
    EXPECT_EQ(!open, IsEnabled(hDlg, IDC_START_LOGGING));
    EXPECT_EQ(open, IsEnabled(hDlg, IDC_STOP_LOGGING));
    EXPECT_EQ(!open, IsEnabled(hDlg, IDC_LOG_PATH));
    EXPECT_EQ(!open, IsEnabled(hDlg, IDC_BROWSE));
    EXPECT_EQ(!open, IsEnabled(hDlg, IDC_WRITE_HISTORY));
    EXPECT_EQ(Res(open ? IDS_LOG_LABEL_OPEN : IDS_LOG_LABEL_CLOSED), WindowText(::GetDlgItem(hDlg, IDC_LOG_LABEL)));
  }

  CLogFile m_log;
  CLogSettingsDlg m_dlg;
  std::vector<std::wstring> m_files;
};

TEST_F(LogSettingsDialog, TypedExistingPathAsksFirstThenWritesHeaderAndHistoryAndLoggingOutlivesCancel) {
  const std::wstring path = TempFile(L"typed", "old content\r\n");
  const ItemData records[3] = {Record(3, 300), Record(1, 100), Record(2, 200)};
  for (const ItemData& record : records) {
    DWORD id = 0;
    ASSERT_EQ(S_OK, CRecordLogData::m_global.Insert(record, id));
  }

  MessageBoxAnswerer answerer(IDNO);
  std::vector<bool> yesNo;
  answerer.onBox = [&](size_t i) { yesNo.push_back(AsksYesNo(answerer.boxes[i].text)); };
  bool openAfterNo = true;
  std::string contentAfterNo;
  const ModalScript inLoop([&] {
    HWND hDlg = Shown(m_dlg);
    Click(hDlg, IDC_WRITE_HISTORY);
    ::SetDlgItemTextW(hDlg, IDC_LOG_PATH, path.c_str());
    EXPECT_TRUE(IsEnabled(hDlg, IDC_START_LOGGING));
    Click(hDlg, IDC_START_LOGGING);
    openAfterNo = m_log.IsOpen();
    contentAfterNo = ReadAll(path);
    answerer.button = IDYES;
    ::SetFocus(::GetDlgItem(hDlg, IDC_START_LOGGING));
    Click(hDlg, IDC_START_LOGGING);
    ExpectControls(hDlg, true);
    // The start button is disabled now: the focus, and Esc and Enter, are not lost with it.
    EXPECT_EQ(::GetDlgItem(hDlg, IDC_STOP_LOGGING), ::GetFocus());
    Click(hDlg, IDCANCEL);
  });
  EXPECT_EQ(IDCANCEL, m_dlg.DoModal());

  ASSERT_EQ(2u, answerer.boxes.size());
  for (const MessageBoxAnswerer::Box& box : answerer.boxes) EXPECT_TRUE(Contains(box.text, path));
  EXPECT_EQ((std::vector<bool>{true, true}), yesNo);
  EXPECT_FALSE(openAfterNo);
  EXPECT_EQ("old content\r\n", contentAfterNo);

  // Cancel leaves logging on: the next line follows the history.
  ASSERT_TRUE(m_log.IsOpen());
  EXPECT_EQ(5, m_log.WriteLine(L"later"));
  m_log.Close();
  const std::string expected = Bytes(CRecordLogData::m_global.GetHeader().GetString()) + "\r\n" +
                               Bytes(CRecordLogData::FormatRecord(records[1]).GetString()) + "\r\n" +
                               Bytes(CRecordLogData::FormatRecord(records[2]).GetString()) + "\r\n" +
                               Bytes(CRecordLogData::FormatRecord(records[0]).GetString()) + "\r\nlater\r\n";
  EXPECT_EQ(expected, ReadAll(path));
  EXPECT_EQ(0u, ReadAll(path).find(Bytes(Res(IDS_COL_DEVICE)) + "\t"));
}

TEST_F(LogSettingsDialog, BrowsedPathIsNotAskedAboutAgainAndWithoutTheOptionOnlyTheHeaderIsWritten) {
  const std::wstring path = TempFile(L"browsed", "old content\r\n");
  DWORD id = 0;
  ASSERT_EQ(S_OK, CRecordLogData::m_global.Insert(Record(1, 100), id));

  HWND hFileDialog = nullptr;
  MessageBoxAnswerer answerer(IDYES);
  HWND hOwner = nullptr;
  bool settingsEnabled = true;
  answerer.onOtherWindow = [&](HWND hWnd) {
    if (hWnd == m_dlg.m_hWnd) return;
    hOwner = ::GetWindow(hWnd, GW_OWNER);
    settingsEnabled = ::IsWindowEnabled(m_dlg.m_hWnd) != FALSE;
    hFileDialog = hWnd;
    AnswerFileDialog(hWnd, path);
  };
  std::wstring shown;
  UINT checkedAfterBrowse = BST_UNCHECKED;
  size_t boxesAfterBrowse = 0;
  HWND hDlg = nullptr;
  const ModalScript inLoop([&] {
    hDlg = Shown(m_dlg);
    Click(hDlg, IDC_WRITE_HISTORY);
    Click(hDlg, IDC_BROWSE);
    shown = WindowText(::GetDlgItem(hDlg, IDC_LOG_PATH));
    checkedAfterBrowse = ::IsDlgButtonChecked(hDlg, IDC_WRITE_HISTORY);
    boxesAfterBrowse = answerer.boxes.size();
    ::CheckDlgButton(hDlg, IDC_WRITE_HISTORY, BST_UNCHECKED);
    Click(hDlg, IDC_START_LOGGING);
    ExpectControls(hDlg, true);
    Click(hDlg, IDC_STOP_LOGGING);
    ExpectControls(hDlg, false);
    Click(hDlg, IDOK);
  });
  EXPECT_EQ(IDOK, m_dlg.DoModal());

  ASSERT_NE(nullptr, hFileDialog) << "the save-file dialog never came up";
  EXPECT_EQ(hDlg, hOwner);
  EXPECT_FALSE(settingsEnabled) << "the settings dialog took input while the file dialog was up";
  EXPECT_EQ(path, shown);
  EXPECT_EQ(static_cast<UINT>(BST_CHECKED), checkedAfterBrowse) << "browsing dropped the user's choice";
  // The file dialog's own overwrite question, and no second one at start.
  ASSERT_EQ(1u, boxesAfterBrowse);
  EXPECT_EQ(1u, answerer.boxes.size());
  EXPECT_EQ(hFileDialog, answerer.boxes[0].owner);
  EXPECT_FALSE(m_log.IsOpen());
  EXPECT_EQ(path, std::wstring(m_dlg.GetPath().GetString()));
  EXPECT_EQ(Bytes(CRecordLogData::m_global.GetHeader().GetString()) + "\r\n", ReadAll(path));
}

// Only a file that is there is asked about; a failed open says the system's reason
// and touches nothing, also when another writer holds the file; a name alone is
// taken in the log folder.
TEST_F(LogSettingsDialog, BadPathsAreToldWithTheirReasonAndAHeldFileIsLeftAlone) {
  const std::wstring held = TempFile(L"held");
  CLogFile other;
  ASSERT_EQ(S_OK, other.Open(held.c_str()));
  ASSERT_EQ(5, other.WriteLine(L"first"));
  const std::wstring folder = held.substr(0, held.find_last_of(L'\\') + 1);
  m_dlg.m_strFolder = folder.c_str();
  const std::wstring fresh = TempFile(L"fresh");
  const std::wstring missing = Replace(TempFile(L"nodir"), L".txt", L"");
  const struct {
    std::wstring typed, path;
    DWORD dwReason;  // 0: any reason
  } cases[] = {{missing + L"\\log.txt", missing + L"\\log.txt", ERROR_PATH_NOT_FOUND},
               {missing + std::wstring(300, L'x'), missing + std::wstring(300, L'x'), 0},
               {missing + L"a?b.log", missing + L"a?b.log", ERROR_INVALID_NAME},
               {L"CON", folder + L"CON", ERROR_INVALID_NAME},
               {held.substr(folder.size()), held, ERROR_SHARING_VIOLATION}};
  MessageBoxAnswerer answerer(IDYES);
  bool startWhenEmptied = true;
  std::wstring shown;
  const ModalScript inLoop([&] {
    HWND hDlg = Shown(m_dlg);
    ::SetDlgItemTextW(hDlg, IDC_LOG_PATH, L"");
    startWhenEmptied = IsEnabled(hDlg, IDC_START_LOGGING);
    for (const auto& c : cases) {
      ::SetDlgItemTextW(hDlg, IDC_LOG_PATH, c.typed.c_str());
      Click(hDlg, IDC_START_LOGGING);
      ExpectControls(hDlg, false);
    }
    ::SetDlgItemTextW(hDlg, IDC_LOG_PATH, fresh.substr(folder.size()).c_str());
    Click(hDlg, IDC_START_LOGGING);
    shown = WindowText(::GetDlgItem(hDlg, IDC_LOG_PATH));
    Click(hDlg, IDOK);
  });
  EXPECT_EQ(IDOK, m_dlg.DoModal());

  EXPECT_FALSE(startWhenEmptied);
  // One question, for the held file, which is there; one failure for each path.
  ASSERT_EQ(6u, answerer.boxes.size());
  EXPECT_EQ(Replace(Res(IDS_PROMPT_OVERWRITE).substr(0, 9), L"%1", held), answerer.boxes[4].text.substr(0, 9));
  EXPECT_TRUE(Contains(answerer.boxes[4].text, held));
  for (size_t i = 0, box = 0; i < 5; ++i, ++box) {
    if (i == 4) ++box;
    const std::wstring opening = Replace(Res(IDS_ERROR_FILE_OPEN), L"%s", cases[i].path) + L"\r\n";
    const std::wstring reason =
        cases[i].dwReason ? GetSystemErrorText(HRESULT_FROM_WIN32(cases[i].dwReason)).GetString() : L"";
    EXPECT_EQ(0u, answerer.boxes[box].text.find(opening + reason)) << answerer.boxes[box].text;
    EXPECT_GT(answerer.boxes[box].text.size(), opening.size() + 5) << "no reason in " << answerer.boxes[box].text;
  }
  EXPECT_EQ(6, other.WriteLine(L"second"));
  EXPECT_EQ("first\r\nsecond\r\n", ReadAll(held)) << "the held file was touched";
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(missing.c_str()));
  EXPECT_EQ(fresh, shown);
  EXPECT_EQ(fresh, std::wstring(m_log.GetPath().GetString()));
}

}  // namespace
