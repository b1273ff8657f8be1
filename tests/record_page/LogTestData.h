// What the record tests share: ended streams made to order, and a log file read
// back as lines and tab-separated fields.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "framework/Time.h"
#include "resources/resource.h"
#include "stats/ItemData.h"
#include "tests/framework_windows/GuiHarness.h"

namespace log_test {

// An ended stream of `device` that ended `end` seconds after a fixed local time.
inline ItemData Ended(int device, int end, const wchar_t* address = L"10.0.0.1", WORD port = 5000) {
  const CTime base(2026, 3, 4, 10, 0, 0);
  ItemData item;
  item.m_nDevice = device;
  item.m_timeStart = base;
  item.m_timeLast = base + CTimeSpan(end);
  item.m_spanDuration = CTimeSpan(end);
  item.m_dAverage = 12.5;
  item.m_strAddress = address;
  item.m_wAddressPort = port;
  item.m_wPort = 40000;
  item.m_dwCounter = 7;
  item.m_wCodec = 1;
  return item;
}

inline std::string ReadFile(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The file's complete lines, each without its CR LF.
inline std::vector<std::string> Lines(const std::wstring& path) {
  const std::string all = ReadFile(path);
  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = all.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(all.substr(start, end - start));
  }
  return lines;
}

// Each character as one byte, as the log file holds it.
inline std::string ByteText(const CString& text) {
  const std::wstring wide(text.GetString());
  return std::string(wide.begin(), wide.end());
}

inline std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
  return fields;
}

// Logging to `path` started and the history size set, each through its own
// dialog on the record log page, as a user does it.
inline void StartLoggingThroughDialogs(HWND hRecordPage, const std::wstring& path, int historySize) {
  {
    const gui_test::ModalScript inDialog([&] {
      HWND hDlg = ::GetActiveWindow();
      ::SetDlgItemTextW(hDlg, IDC_LOG_PATH, path.c_str());
      gui_test::ClickButton(::GetDlgItem(hDlg, IDC_START_LOGGING));
      gui_test::ClickButton(::GetDlgItem(hDlg, IDOK));
    });
    gui_test::SendMenuCommand(hRecordPage, ID_LOG_SETTINGS);
  }
  const gui_test::ModalScript inDialog([&] {
    HWND hDlg = ::GetActiveWindow();
    ::SetDlgItemTextW(hDlg, IDC_HISTORY_SIZE, std::to_wstring(historySize).c_str());
    gui_test::ClickButton(::GetDlgItem(hDlg, IDOK));
  });
  gui_test::SendMenuCommand(hRecordPage, ID_HISTORY_SIZE);
}

}  // namespace log_test
