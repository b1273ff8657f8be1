#include "support/EventLog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/MessageModule.h"
#include "tests/support/MemoryEventLog.h"

namespace {

const wchar_t kSourceKey[] = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Fernholt_TqOr";
const wchar_t kMessageFileName[] = L"FernholtTqOr.dll";
const wchar_t kHelpKey[] = L"Software\\Tarquel\\TqVudAva\\1.0";
const wchar_t kHelpValue[] = L"Help Web Server";

std::wstring Text(const CWideString& str) { return str.IsNull() ? std::wstring() : str.GetText(); }

// Installs the event source as a setup program would: the message file copied into
// the Windows folder and registered with a %SystemRoot% path.
class EventSourceEnvironment : public testing::Environment {
public:
  void SetUp() override {
    wchar_t szModule[MAX_PATH];
    ASSERT_NE(0u, GetModuleFileNameW(nullptr, szModule, MAX_PATH));
    std::wstring strBuilt(szModule);
    strBuilt.resize(strBuilt.find_last_of(L'\\') + 1);
    strBuilt += kMessageFileName;
    wchar_t szWindows[MAX_PATH];
    ASSERT_NE(0u, GetWindowsDirectoryW(szWindows, MAX_PATH));
    const std::wstring strInstalled = std::wstring(szWindows) + L"\\" + kMessageFileName;
    ASSERT_TRUE(CopyFileW(strBuilt.c_str(), strInstalled.c_str(), FALSE)) << GetLastError();

    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSourceKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &hKey, nullptr));
    const std::wstring strPath = std::wstring(L"%SystemRoot%\\") + kMessageFileName;
    const DWORD cbPath = static_cast<DWORD>((strPath.size() + 1) * sizeof(wchar_t));
    const BYTE* pPath = reinterpret_cast<const BYTE*>(strPath.c_str());
    const DWORD dwTypes = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    const DWORD dwCategories = 1;
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(hKey, L"EventMessageFile", 0, REG_EXPAND_SZ, pPath, cbPath));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(hKey, L"CategoryMessageFile", 0, REG_EXPAND_SZ, pPath, cbPath));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(hKey, L"TypesSupported", 0, REG_DWORD,
                                            reinterpret_cast<const BYTE*>(&dwTypes), sizeof(dwTypes)));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(hKey, L"CategoryCount", 0, REG_DWORD,
                                            reinterpret_cast<const BYTE*>(&dwCategories), sizeof(dwCategories)));
    RegCloseKey(hKey);
  }
  void TearDown() override { RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSourceKey); }
};

const testing::Environment* const g_pEventSource =
    testing::AddGlobalTestEnvironment(new EventSourceEnvironment);

void SetHelpServer(const wchar_t* pszServer) {
  HKEY hKey = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kHelpKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                           nullptr, &hKey, nullptr));
  if (pszServer) {
    RegSetValueExW(hKey, kHelpValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(pszServer),
                   static_cast<DWORD>((wcslen(pszServer) + 1) * sizeof(wchar_t)));
  } else {
    RegDeleteValueW(hKey, kHelpValue);
  }
  RegCloseKey(hKey);
}

CMemoryEventLog::Event MakeEvent(DWORD dwEventId, std::vector<std::wstring> strings, size_t cbData = 0) {
  CMemoryEventLog::Event event;
  event.dwEventId = dwEventId;
  event.strings = std::move(strings);
  for (size_t i = 0; i < cbData; ++i) event.data.push_back(static_cast<BYTE>(i * 7));
  return event;
}

// Reports through the source's registration: the help line comes from message 105 of
// the installed message file, and the records read back give the events' texts.
TEST(EventLogTest, ReportAddsTheHelpLineOnceAServerIsConfigured) {
  SetHelpServer(nullptr);
  CMemoryEventLog memoryLog;
  CEventLog log(kEventSourceName);
  ASSERT_TRUE(log.IsOpen());
  const wchar_t* apszStrings[] = {L"HOSTA", L""};
  EXPECT_EQ(S_OK, log.Report(EVENTLOG_ERROR_TYPE, 0, kEventServiceNotRunning, nullptr, 2, 0, apszStrings,
                             nullptr));
  SetHelpServer(L"help.tarquel.test");
  EXPECT_EQ(S_OK, log.Report(EVENTLOG_ERROR_TYPE, 0, kEventServiceNotRunning, nullptr, 2, 0, apszStrings,
                             nullptr));
  SetHelpServer(L"other.tarquel.test");  // the line, once made, stays for the process
  EXPECT_EQ(S_OK, log.Report(EVENTLOG_ERROR_TYPE, 1, kEventServiceUnreachable, nullptr, 1, 0, apszStrings,
                             nullptr));
  SetHelpServer(nullptr);

  const auto& reported = memoryLog.GetReported();
  ASSERT_EQ(3u, reported.size());
  const std::wstring strHelp = L"\r\nFor more information, click: help.tarquel.test";
  EXPECT_EQ((std::vector<std::wstring>{L"HOSTA", L"", L""}), reported[0].strings);
  EXPECT_EQ((std::vector<std::wstring>{L"HOSTA", L"", strHelp}), reported[1].strings);
  EXPECT_EQ((std::vector<std::wstring>{L"HOSTA", strHelp}), reported[2].strings);
  EXPECT_EQ(kEventSourceName, reported[0].strSource);

  CEventRecord record;
  ASSERT_EQ(S_OK, log.GetLast(record));
  EXPECT_EQ(3u, record.GetRecordNumber());
  // Event 103 names %1 to %3 but this record holds two strings: %3 reads empty.
  EXPECT_EQ(L"The Remote Registry service of HOSTA could not be checked: " + strHelp,
            Text(record.GetMessageText()));
  EXPECT_EQ(L"Remote registry", Text(record.GetCategoryText()));
  ASSERT_EQ(S_OK, log.GetPrevious(record));
  EXPECT_EQ(L"The Remote Registry service of HOSTA is not running, so its registry cannot be reached." +
                strHelp,
            Text(record.GetMessageText()));
}

TEST(EventLogTest, MessageTextsFromTheRegisteredFile) {
  CMessageModuleCache cache;
  const CMessageModule* pModule = cache.Lookup(kEventSourceName);
  ASSERT_NE(nullptr, pModule);
  ASSERT_NE(nullptr, pModule->GetEventModule()) << "the %SystemRoot% path was not expanded and loaded";
  EXPECT_EQ(nullptr, pModule->GetCategoryModule());  // the same file serves both
  EXPECT_EQ(pModule, cache.Lookup(kEventSourceName));
  EXPECT_EQ(1u, cache.GetCount());

  // Longer than the first 512-character try.
  const std::wstring strLong(700, L'w');
  const wchar_t* apszLong[] = {strLong.c_str()};
  EXPECT_EQ(L"\r\nFor more information, click: " + strLong,
            Text(FormatMessageText(pModule, kMessageHelpLine, apszLong, 1)));
  // More inserts than strings: the missing ones are empty, never read past the array.
  const wchar_t* apszOne[] = {L"HOSTB"};
  EXPECT_EQ(L"The Remote Registry service of HOSTB could not be checked: ",
            Text(FormatMessageText(pModule, kEventServiceUnreachable, apszOne, 1)));
  EXPECT_EQ(L"The Remote Registry service of %1 could not be checked: %2%3",
            Text(FormatMessageText(pModule, kEventServiceUnreachable, nullptr, 0)));
  EXPECT_TRUE(FormatMessageText(pModule, 4711, nullptr, 0).IsNull());

  // An unregistered source still gets an entry, with nothing loaded and null texts.
  const CMessageModule* pMissing = cache.Lookup(L"DelvoraTest_NoSuchSource");
  ASSERT_NE(nullptr, pMissing);
  EXPECT_EQ(nullptr, pMissing->GetEventModule());
  EXPECT_TRUE(FormatMessageText(pMissing, kMessageHelpLine, nullptr, 0).IsNull());
  RegDeleteKeyW(HKEY_LOCAL_MACHINE,
                L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\DelvoraTest_NoSuchSource");
}

// Forty records numbered from 500, one too large for the first buffer: the cursor
// walks them both ways across batches read forwards and backwards.
TEST(EventLogTest, CursorWalksBatchesBothWays) {
  CMemoryEventLog memoryLog;
  memoryLog.SetFirstNumber(500);
  for (DWORD i = 0; i < 40; ++i) {
    memoryLog.Append(MakeEvent(1000 + i, {L"text " + std::to_wstring(i), L"second"}, i == 17 ? 3000 : i));
  }
  CEventLog log(kEventSourceName);
  CEventRecord record;
  ASSERT_EQ(S_OK, log.GetFirst(record));
  EXPECT_EQ(500u, record.GetRecordNumber());
  for (DWORD n = 501; n <= 539; ++n) {
    ASSERT_EQ(S_OK, log.GetNext(record)) << n;
    ASSERT_EQ(n, record.GetRecordNumber());
    ASSERT_EQ(500 + n, record.GetEventId());
    ASSERT_EQ(2, record.GetStringCount());
    EXPECT_EQ(L"text " + std::to_wstring(n - 500), Text(record.GetString(0)));
    const DWORD cbData = n == 517 ? 3000 : n - 500;
    ASSERT_EQ(cbData, record.GetDataLength());
    if (cbData) {
      EXPECT_EQ(static_cast<BYTE>((cbData - 1) * 7), record.GetData()[cbData - 1]);
    }
  }
  EXPECT_EQ(L"TESTHOST", Text(record.GetComputerName()));
  EXPECT_EQ(kEventSourceName, Text(record.GetSourceName()));
  // At the newest record: no next one, the cursor stays.
  EXPECT_EQ(kNoMoreRecords, log.GetNext(record));
  EXPECT_EQ(539u, log.GetCursor());
  EXPECT_EQ(kNoMoreRecords, log.ReadBatch(CEventLog::kReadForwards));
  ASSERT_EQ(S_OK, log.GetCurrent(record));
  EXPECT_EQ(539u, record.GetRecordNumber());

  for (DWORD n = 538; n >= 500; --n) {
    ASSERT_EQ(S_OK, log.GetPrevious(record)) << n;
    ASSERT_EQ(n, record.GetRecordNumber());
  }
  EXPECT_EQ(kNoMoreRecords, log.GetPrevious(record));
  EXPECT_EQ(500u, log.GetCursor());

  ASSERT_EQ(S_OK, log.GetLast(record));
  EXPECT_EQ(539u, record.GetRecordNumber());
  ASSERT_EQ(S_OK, log.SeekTo(520));
  ASSERT_EQ(S_OK, log.GetCurrent(record));
  EXPECT_EQ(520u, record.GetRecordNumber());
  CEventRecord copy(record);
  EXPECT_EQ(L"text 20", Text(copy.GetString(0)));
  EXPECT_EQ(20u, copy.GetDataLength());
  EXPECT_NE(record.GetData(), copy.GetData());
}

// Without a log of the tests' own, the system's functions serve: Wine's log takes
// the event and keeps none of it.
TEST(EventLogTest, TheSystemsLogServesByDefault) {
  ASSERT_EQ(&SystemEventLogApi(), &CurrentEventLogApi());
  CEventLog log(L"Application");
  ASSERT_TRUE(log.IsOpen()) << std::hex << log.GetOpenError();
  const wchar_t* apszStrings[] = {L"HOSTC", L""};
  EXPECT_EQ(S_OK, log.Report(EVENTLOG_ERROR_TYPE, 0, kEventServiceNotRunning, nullptr, 2, 0, apszStrings,
                             nullptr));
  CEventRecord record;
  const HRESULT hr = log.GetLast(record);
  EXPECT_TRUE(hr == S_OK || hr == kNoMoreRecords) << std::hex << hr;
  EXPECT_EQ(S_OK, log.Close());
  EXPECT_FALSE(log.IsOpen());
}

TEST(EventLogTest, EmptyLogChangedFileAndRefusedOpen) {
  CMemoryEventLog memoryLog;
  {
    CEventLog log(kEventSourceName);
    CEventRecord record;
    EXPECT_EQ(kNoMoreRecords, log.GetCurrent(record));
    EXPECT_EQ(kNoMoreRecords, log.GetFirst(record));
    EXPECT_EQ(kNoMoreRecords, log.GetNext(record));
    EXPECT_EQ(kNoMoreRecords, log.ReadBatch(CEventLog::kReadBackwards));

    for (int i = 0; i < 3; ++i) memoryLog.Append(MakeEvent(7, {L"x"}));
    ASSERT_EQ(S_OK, log.GetFirst(record));
    memoryLog.FailNextRead(ERROR_EVENTLOG_FILE_CHANGED);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_EVENTLOG_FILE_CHANGED), log.ReadBatch(CEventLog::kReadForwards));
    EXPECT_EQ(2, memoryLog.GetOpenCount());  // reopened on its own
    EXPECT_EQ(1, memoryLog.GetOpenHandleCount());
    ASSERT_EQ(S_OK, log.GetLast(record));
    EXPECT_EQ(3u, record.GetRecordNumber());
  }
  EXPECT_EQ(0, memoryLog.GetOpenHandleCount());

  memoryLog.FailOpens(ERROR_ACCESS_DENIED);
  CEventLog refused(kEventSourceName);
  EXPECT_FALSE(refused.IsOpen());
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), refused.GetOpenError());
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE),
            refused.Report(EVENTLOG_ERROR_TYPE, 0, 103, nullptr, 0, 0, nullptr, nullptr));
}

EVENTLOGRECORD* Fixed(std::vector<BYTE>& bytes) { return reinterpret_cast<EVENTLOGRECORD*>(bytes.data()); }

// A corrupt record between two good ones reads as missing (259) and is never read
// beyond its bytes; a bad length ends the batch there (the records behind it in that
// batch are not seen), bad contents only that record.
TEST(EventLogTest, CorruptRecordsReadAsMissing) {
  using Patch = void (*)(std::vector<BYTE>&);
  struct Case {
    const char* pszName;
    bool bEndsBatch;
    Patch patch;
  };
  const Case aCases[] = {
      {"length 0", true, [](std::vector<BYTE>& b) { Fixed(b)->Length = 0; }},
      {"length below the fixed part", true, [](std::vector<BYTE>& b) { Fixed(b)->Length = 8; }},
      {"length not a multiple of 4", true, [](std::vector<BYTE>& b) { Fixed(b)->Length -= 2; }},
      {"length beyond the bytes read", true, [](std::vector<BYTE>& b) { Fixed(b)->Length = 0x100000; }},
      {"number out of sequence", true, [](std::vector<BYTE>& b) { Fixed(b)->RecordNumber = 0x7FFFFFFF; }},
      {"string offset beyond the record", false,
       [](std::vector<BYTE>& b) { Fixed(b)->StringOffset = Fixed(b)->Length + 64; }},
      {"string count beyond the strings", false, [](std::vector<BYTE>& b) { Fixed(b)->NumStrings = 40; }},
      {"string without its NUL", false,
       [](std::vector<BYTE>& b) {
         std::memset(b.data() + Fixed(b)->StringOffset, 'A', b.size() - Fixed(b)->StringOffset);
       }},
      {"source name without its NUL", false,
       [](std::vector<BYTE>& b) {
         std::memset(b.data() + sizeof(EVENTLOGRECORD), 'A', b.size() - sizeof(EVENTLOGRECORD));
       }},
      {"data offset beyond the record", false, [](std::vector<BYTE>& b) { Fixed(b)->DataOffset = 0xFFFFFFF0; }},
      {"data length beyond the record", false, [](std::vector<BYTE>& b) { Fixed(b)->DataLength += 8; }},
  };
  for (const Case& c : aCases) {
    SCOPED_TRACE(c.pszName);
    CMemoryEventLog memoryLog;
    memoryLog.Append(MakeEvent(1, {L"first"}, 4));
    std::vector<BYTE> bytes = CMemoryEventLog::BuildRecord(MakeEvent(2, {L"second", L"more"}, 6), 2);
    c.patch(bytes);
    memoryLog.AppendRaw(bytes);
    memoryLog.Append(MakeEvent(3, {L"third"}, 4));

    CEventLog log(kEventSourceName);
    CEventRecord record;
    ASSERT_EQ(S_OK, log.GetCurrent(record));  // the first batch, read forwards
    EXPECT_EQ(1u, record.GetRecordNumber());
    EXPECT_EQ(kNoMoreRecords, log.GetNext(record));
    EXPECT_EQ(1u, record.GetRecordNumber());  // a refused record changes nothing
    if (!c.bEndsBatch) {
      ASSERT_EQ(S_OK, log.GetNext(record));
      EXPECT_EQ(3u, record.GetRecordNumber());
      EXPECT_EQ(L"third", Text(record.GetString(0)));
    }
  }

  // A log whose only record is corrupt is a log without records.
  CMemoryEventLog memoryLog;
  std::vector<BYTE> bytes = CMemoryEventLog::BuildRecord(MakeEvent(1, {}), 1);
  Fixed(bytes)->Length = 0;
  memoryLog.AppendRaw(bytes);
  CEventLog log(kEventSourceName);
  CEventRecord record;
  EXPECT_EQ(kNoMoreRecords, log.GetFirst(record));
  EXPECT_EQ(kNoMoreRecords, log.GetLast(record));
}

}  // namespace
