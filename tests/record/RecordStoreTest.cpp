// The history store and its record ids, the log file as bytes on disk, and the
// bound of the ended-stream queue. The English resource module is the resource
// handle, so the header and the value texts are its own.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "record/LogFile.h"
#include "record/RecordIndex.h"
#include "record/RecordLogData.h"
#include "stats/ItemColumns.h"
#include "stats/ItemData.h"
#include "support/UniqueHandle.h"
#include "tests/framework_windows/GuiHarness.h"

namespace {

// Header and value texts come from the English resource module.
class ResourceModuleEnvironment : public ::testing::Environment {
public:
  void SetUp() override { ASSERT_NE(nullptr, gui_test::UseResourceModule()) << "bin\\enu\\DelvoraRes.dll is missing"; }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new ResourceModuleEnvironment);

constexpr HRESULT kDiskFull = HRESULT_FROM_WIN32(ERROR_DISK_FULL);  // what Wine gives for /dev/full

ItemData MakeItem(int device, const CTime& end) {
  ItemData item;
  item.m_nDevice = device;
  item.m_timeStart = end - CTimeSpan(60);
  item.m_timeLast = end;
  item.m_spanDuration = CTimeSpan(60);
  item.m_dAverage = 20.0;
  item.m_strAddress = L"192.0.2.7";
  return item;
}

std::vector<DWORD> IdsInOrder(const CRecordLogData& store) {
  std::vector<DWORD> ids;
  for (const ItemData& record : store) ids.push_back(record.m_dwRecordId);
  return ids;
}

std::wstring TempFile(const wchar_t* name) {
  wchar_t dir[MAX_PATH];
  const DWORD length = GetTempPathW(MAX_PATH, dir);
  std::wstring path = std::wstring(dir, length) + L"delvora_record_" + name;
  DeleteFileW(path.c_str());
  return path;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The file as it is on disk, without the runtime's text-mode translation.
std::string ReadBytes(const std::wstring& path) {
  std::string bytes;
  FILE* pFile = _wfopen(path.c_str(), L"rb");
  if (!pFile) return "<missing>";
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pFile)) > 0) bytes.append(buffer, n);
  std::fclose(pFile);
  return bytes;
}

}  // namespace

TEST(RecordStore, IdsOrderLookupsAndClear) {
  CRecordLogData store;
  const ItemData later = MakeItem(1, CTime(2003, 5, 6, 10, 5, 0));
  ItemData earlier = MakeItem(1, CTime(2003, 5, 6, 10, 0, 0));
  earlier.m_dwRecordId = 77;  // the caller's id is not kept

  DWORD id = 0;
  ASSERT_EQ(S_OK, store.Insert(later, id));
  EXPECT_EQ(1u, id);
  ASSERT_EQ(S_OK, store.Insert(earlier, id));
  EXPECT_EQ(2u, id);
  ASSERT_EQ(S_OK, store.Insert(earlier, id));  // equal but for the id: held twice
  EXPECT_EQ(3u, id);
  EXPECT_EQ(3u, store.GetCount());
  EXPECT_EQ((std::vector<DWORD>{2, 3, 1}), IdsInOrder(store));

  ItemData found;
  ASSERT_EQ(S_OK, store.FindRecord(1, found));
  EXPECT_EQ(later.m_timeLast, found.m_timeLast);
  EXPECT_EQ(1u, found.m_dwRecordId);
  ASSERT_NE(nullptr, store.Find(3));
  EXPECT_EQ(earlier.m_timeLast, store.Find(3)->m_timeLast);

  // Oldest by end time, not by insertion; then the lower id of the twins.
  ASSERT_EQ(S_OK, store.EraseOldest(id));
  EXPECT_EQ(2u, id);
  found.m_nDevice = -9;
  EXPECT_EQ(E_FAIL, store.FindRecord(2, found));
  EXPECT_EQ(-9, found.m_nDevice);
  EXPECT_EQ(nullptr, store.Find(2));
  EXPECT_EQ((std::vector<DWORD>{3, 1}), IdsInOrder(store));

  // Ids go on increasing after a clear, so an old id never names a new record.
  store.Clear();
  EXPECT_EQ(0u, store.GetCount());
  EXPECT_EQ(nullptr, store.Find(1));
  id = 0xABCD;
  EXPECT_EQ(static_cast<HRESULT>(0x80004005), store.EraseOldest(id));
  EXPECT_EQ(0xABCDu, id);
  ASSERT_EQ(S_OK, store.Insert(later, id));
  EXPECT_EQ(4u, id);
  ASSERT_EQ(S_OK, store.EraseOldest(id));
  EXPECT_EQ(4u, id);
  EXPECT_EQ(E_FAIL, store.EraseOldest(id));
  EXPECT_EQ(4u, id);
}

TEST(RecordStore, IdAllocatorWrapsAndSkipsIdsInUse) {
  CRecordIdAllocator top;
  top.m_nLastId = 0xFFFFFFFF;
  DWORD id = 99;
  ASSERT_EQ(S_OK, top.Allocate(id));
  EXPECT_EQ(0u, id);

  CRecordIdAllocator wrapping;
  wrapping.m_nLastId = 0xFFFFFFFE;
  wrapping.m_usedIds = {0xFFFFFFFF, 0, 1, 3};
  ASSERT_EQ(S_OK, wrapping.Allocate(id));
  EXPECT_EQ(2u, id);
  ASSERT_EQ(S_OK, wrapping.Allocate(id));  // 3 is still in use
  EXPECT_EQ(4u, id);
  EXPECT_EQ(4u, wrapping.m_nLastId);

  // A released id comes back only once the ids have wrapped round to it.
  wrapping.Release(1);
  wrapping.Release(12345);  // not in use: ignored
  ASSERT_EQ(S_OK, wrapping.Allocate(id));
  EXPECT_EQ(5u, id);
  EXPECT_EQ((std::set<DWORD>{0, 2, 3, 4, 5, 0xFFFFFFFF}), wrapping.m_usedIds);
}

TEST(RecordIndex, CollidingIdsSurviveErasureAndGrowth) {
  // Ids 1024 apart share a home slot in the first table; erasing one of a run
  // must not hide the ones after it, nor must a later growth lose any.
  std::vector<ItemData> records(3000);
  CRecordIndex index;
  for (DWORD i = 0; i < 8; ++i) index.Insert(5 + i * 1024, &records[i]);
  index.Insert(6, &records[8]);  // its home is taken by the run
  index.Erase(5 + 2 * 1024);
  index.Erase(5);
  EXPECT_EQ(nullptr, index.Find(5));
  EXPECT_EQ(nullptr, index.Find(5 + 2 * 1024));
  for (DWORD i : {1u, 3u, 4u, 5u, 6u, 7u}) EXPECT_EQ(&records[i], index.Find(5 + i * 1024)) << i;
  EXPECT_EQ(&records[8], index.Find(6));
  index.Erase(12345);  // not held: nothing changes
  for (DWORD id = 100000; id < 102990; ++id) index.Insert(id, &records[id - 100000 + 9]);
  EXPECT_EQ(&records[9], index.Find(100000));
  EXPECT_EQ(&records[2998], index.Find(102989));
  EXPECT_EQ(&records[7], index.Find(5 + 7 * 1024));
  EXPECT_EQ(&records[8], index.Find(6));
  EXPECT_EQ(nullptr, index.Find(102990));
}

TEST(RecordIndex, OrderKeysGiveTheColumnsOrderAfterErasureAndGrowth) {
  // Text order's edges: "10.0.0.10" before "10.0.0.9", a prefix, empty, equal texts,
  // the longest dotted quad; -0.0 equals 0.0. A NaN, a 16-unit text and one not a
  // dotted quad have no keys.
  const wchar_t* const kAddresses[] = {L"10.0.0.9", L"10.0.0.10", L"10.0.0.1",        L"",
                                       L"10.0.0.1", L"fe80::1",   L"255.255.255.255", L"1234567890123456"};
  const double kAverages[] = {-1.0, 0.0, -0.0, 99.5, std::nan(""), 0.0, 2e300, -1.0};
  std::vector<ItemData> records;
  for (int i = 0; i < 8; ++i) {
    records.push_back(MakeItem(i % 3 - 1, CTime(2003, 5, 6, 10, i % 2, 0)));
    records[i].m_strAddress = kAddresses[i];
    records[i].m_dAverage = kAverages[i];
    records[i].m_wPort = static_cast<WORD>(6000 + i % 2);
  }
  using namespace item_columns;
  const struct {
    int (*compare)(const ItemData&, const ItemData&, bool);
    int (*tieBreak)(const ItemData&, const ItemData&);
  } kColumns[] = {{ByDevice, EndOrder},       {ByStart, DeviceOrder},    {ByEnd, DeviceOrder},
                  {ByAverage, DeviceOrder},   {ByAddress, DeviceOrder},  {ByAddressPort, nullptr},
                  {ByPort, DeviceOrder},      {ByCodec, DeviceOrder},    {ByDuration, DeviceOrder},
                  {ByCounter, DeviceOrder}};
  // Ids 1024 apart share a home slot: erasing the first moves the others, and their keys.
  CRecordIndex index;
  for (DWORD i = 0; i < 8; ++i) index.Insert(7 + i * 1024, &records[i]);
  auto check = [&](int first, const char* when) {
    for (const auto& column : kColumns) {
      const ColumnOrder keys = OrderOf(column.compare, column.tieBreak);
      const int field = static_cast<int>(keys.field);
      for (int i = first; i < 8; ++i) {
        for (int j = first; j < 8; ++j) {
          for (bool ascending : {true, false}) {
            int expected = column.compare(records[i], records[j], ascending);
            if (expected == 0 && column.tieBreak) expected = column.tieBreak(records[i], records[j]);
            const bool keyless = (keys.field == OrderField::kAverage && (i == 4 || j == 4)) ||
                                 (keys.field == OrderField::kAddress && (i == 5 || j == 5 || i == 7 || j == 7));
            int order = 2;  // untouched when the keys cannot tell
            const DWORD a = 7 + i * 1024, b = 7 + j * 1024;
            EXPECT_EQ(!keyless, index.CompareKeys(a, b, keys.field, ascending, keys.tieField, order));
            EXPECT_EQ(keyless ? 2 : expected, order) << when << ", field " << field << ", " << i << " against " << j;
          }
        }
      }
    }
  };
  check(0, "as inserted");
  index.Erase(7);
  check(1, "after erasing the first");
  for (DWORD id = 50000; id < 51000; ++id) index.Insert(id, &records[7]);
  check(1, "after growth");
}

TEST(RecordLogFile, HeaderAndRecordLinesByteForByte) {
  const std::wstring path = TempFile(L"lines.log");
  CRecordLogData store;
  CLogFile log;
  ASSERT_EQ(S_OK, log.Open(path.c_str()));
  EXPECT_EQ(path, log.GetPath().GetString());

  ItemData full = MakeItem(2, CTime(2003, 5, 6, 9, 8, 0));
  full.m_timeStart = CTime(2003, 5, 6, 9, 7, 5);
  full.m_spanDuration = CTimeSpan(-5);
  full.m_dAverage = 100.5;
  full.m_strAddress = L"10.0.0.%1%s";
  full.m_wAddressPort = 40000;
  full.m_wPort = 65535;
  full.m_wCodec = 7;  // G.711 mu-law: the module's name ends in U+00B5
  full.m_dwCounter = 4000000000u;

  ItemData early = MakeItem(3, CTime(2003, 5, 6, 9, 10, 0));
  early.m_timeStart = CTime(-86400);  // 1969: no calendar form
  early.m_spanDuration = CTimeSpan(3600);
  early.m_dAverage = 100.0;
  early.m_strAddress = L"caf\u00E9 \u0101";
  early.m_wCodec = 0x55;

  ItemData silent = MakeItem(4, CTime(2003, 5, 6, 9, 11, 0));
  silent.m_dAverage = -1.0;
  silent.m_wCodec = 1;
  silent.m_dwCounter = 12;

  const CString header = store.GetHeader();
  EXPECT_EQ(header.GetLength(), log.WriteLine(header));
  EXPECT_GT(log.WriteLine(CRecordLogData::FormatRecord(full)), 0);
  EXPECT_GT(log.WriteLine(CRecordLogData::FormatRecord(early)), 0);
  EXPECT_GT(log.WriteLine(CRecordLogData::FormatRecord(silent)), 0);
  EXPECT_EQ(9, log.WriteLine(L"50% \u20AC %d\u00FF"));  // no formatting, one byte per character
  EXPECT_FALSE(log.IsWriteFailing());
  EXPECT_EQ(S_OK, log.GetWriteError());
  EXPECT_EQ(-1, log.WriteLine(nullptr));

  const std::string expected =
      "Device\tStart\tEnd\tAverage\tRemote IP\tIP Port\tLoc. Port\tCodec\tDuration (s)\tCounter\r\n"
      "2\t2003-05-06 09:07:05\t2003-05-06 09:08:00\t100.500000\t10.0.0.%1%s\t40000\t65535\tG.711\xB5\t0\t4000000000\r\n"
      "3\tERROR\t2003-05-06 09:10:00\t100.00\tcaf\xE9 ?\t0\t0\t(0x55)\t3600\t0\r\n"
      "4\t2003-05-06 09:10:00\t2003-05-06 09:11:00\t(none)\t192.0.2.7\t0\t0\tPCM\t60\t12\r\n"
      "50% ? %d\xFF\r\n";
  EXPECT_EQ(expected, ReadBytes(path));

  // A closed writer writes nothing, and does not reopen the file.
  log.Close();
  EXPECT_FALSE(log.IsOpen());
  EXPECT_EQ(-1, log.WriteLine(L"after close"));
  EXPECT_EQ(expected, ReadBytes(path));
  DeleteFileW(path.c_str());
}

// Run by the test below in a second process (disabled otherwise): the log another
// process writes can be read but not opened for writing.
TEST(RecordLogFileSecondProcess, DISABLED_CannotWriteTheLogItsParentWritesButCanReadIt) {
  wchar_t path[MAX_PATH] = {};
  ASSERT_NE(0u, ::GetEnvironmentVariableW(L"DELVORA_HELD_LOG", path, MAX_PATH));
  CLogFile log;
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), log.Open(path));
  EXPECT_FALSE(log.IsOpen());
  EXPECT_EQ("one\r\n", ReadBytes(path));
}

TEST(RecordLogFile, ASecondProcessCannotTruncateOrInterleaveAnOpenLog) {
  const std::wstring path = TempFile(L"held.log");
  CLogFile log;
  ASSERT_EQ(S_OK, log.Open(path.c_str()));
  ASSERT_EQ(3, log.WriteLine(L"one"));

  wchar_t exe[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring command = std::wstring(L"\"") + exe +
                         L"\" --gtest_filter=RecordLogFileSecondProcess.* --gtest_also_run_disabled_tests";
  ::SetEnvironmentVariableW(L"DELVORA_HELD_LOG", path.c_str());
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  const BOOL bStarted =
      ::CreateProcessW(exe, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
  ::SetEnvironmentVariableW(L"DELVORA_HELD_LOG", nullptr);
  ASSERT_TRUE(bStarted) << ::GetLastError();
  const CFileHandle child(process.hProcess), thread(process.hThread);  // closed on every path
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.hProcess, 60000));
  DWORD exitCode = 1;
  ::GetExitCodeProcess(process.hProcess, &exitCode);
  EXPECT_EQ(0u, exitCode) << "the second process could write the log, or not read it";

  EXPECT_EQ(3, log.WriteLine(L"two"));
  log.Close();
  EXPECT_EQ("one\r\ntwo\r\n", ReadBytes(path));
  DeleteFileW(path.c_str());
}

TEST(RecordLogFile, OpenFailuresLeaveTheWriterAsItWas) {
  CLogFile log;
  EXPECT_EQ(E_INVALIDARG, log.Open(nullptr));
  EXPECT_EQ(-1, log.WriteLine(L"never opened"));

  const std::wstring missing = TempFile(L"no_such_dir\\x.log");
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), log.Open(missing.c_str()));
  EXPECT_FALSE(log.IsOpen());
  EXPECT_FALSE(Exists(missing));

  const std::wstring first = TempFile(L"first.log");
  const std::wstring second = TempFile(L"second.log");
  ASSERT_EQ(S_OK, log.Open(first.c_str()));
  EXPECT_EQ(3, log.WriteLine(L"one"));
  EXPECT_EQ(E_FAIL, log.Open(second.c_str()));
  EXPECT_TRUE(log.IsOpen());
  EXPECT_FALSE(Exists(second));
  EXPECT_EQ(first, log.GetPath().GetString());
  EXPECT_EQ(3, log.WriteLine(L"two"));
  log.Close();
  EXPECT_EQ("one\r\ntwo\r\n", ReadBytes(first));
  DeleteFileW(first.c_str());
}

TEST(RecordLogFile, FullDiskIsReportedAndTheNextLineStartsAfresh) {
  CLogFile device;
  ASSERT_EQ(S_OK, device.Open(L"Z:\\dev\\full"));
  EXPECT_EQ(-2, device.WriteLine(L"lost"));
  EXPECT_TRUE(device.IsWriteFailing());
  EXPECT_EQ(kDiskFull, device.GetWriteError());
  EXPECT_EQ(-2, device.WriteLine(L"lost too"));
  EXPECT_EQ(kDiskFull, device.GetWriteError());
  device.Close();

  // A disk that fills and frees again: the stream's descriptor is pointed at the
  // full device and back. The runtime hands out the lowest free descriptor.
  const int full = _wopen(L"Z:\\dev\\full", _O_WRONLY | _O_TEXT);
  ASSERT_GE(full, 0);
  const int logFd = _wopen(L"NUL", _O_WRONLY);
  ASSERT_GE(logFd, 0);
  _close(logFd);

  const std::wstring path = TempFile(L"full.log");
  CLogFile log;
  ASSERT_EQ(S_OK, log.Open(path.c_str()));
  ASSERT_EQ(5, log.WriteLine(L"first"));
  ASSERT_EQ(7, _filelengthi64(logFd)) << "the log is not on the expected descriptor";
  const int file = _dup(logFd);
  ASSERT_GE(file, 0);

  const auto failOneLine = [&](const wchar_t* text) {
    ASSERT_EQ(0, _dup2(full, logFd));
    EXPECT_EQ(-2, log.WriteLine(text));
    EXPECT_TRUE(log.IsWriteFailing());
    EXPECT_EQ(kDiskFull, log.GetWriteError());
    ASSERT_EQ(0, _dup2(file, logFd));
  };

  // What a write cut short leaves: part of a line on disk, the position after it.
  // The next line ends it rather than continuing it.
  ASSERT_EQ(4, _write(logFd, "torn", 4));
  failOneLine(L"lost");
  EXPECT_EQ(6, log.WriteLine(L"second"));
  EXPECT_FALSE(log.IsWriteFailing());
  EXPECT_EQ(S_OK, log.GetWriteError());

  // Nothing reached the disk: no empty line.
  failOneLine(L"lost");
  EXPECT_EQ(5, log.WriteLine(L"third"));

  log.Close();
  _close(file);
  _close(full);
  EXPECT_EQ("first\r\ntorn\r\nsecond\r\nthird\r\n", ReadBytes(path));
  DeleteFileW(path.c_str());
}

TEST(EndedStreamQueue, KeepsTheNewestWhileBoundedAndEverythingAfter) {
  struct Restore {
    ~Restore() {
      g_qEndedStreams.Clear();
      g_qEndedStreams.StartBounding();
    }
  } restore;
  g_qEndedStreams.Clear();
  ASSERT_TRUE(g_qEndedStreams.IsBounded());

  ItemData item = MakeItem(1, CTime(2003, 5, 6, 10, 0, 0));
  for (DWORD i = 0; i < 2005; ++i) {
    item.m_dwCounter = i;
    g_qEndedStreams.Append(item);
  }
  EXPECT_EQ(2000u, g_qEndedStreams.GetCount());

  g_qEndedStreams.StopBounding();
  for (DWORD i = 2005; i < 2010; ++i) {
    item.m_dwCounter = i;
    g_qEndedStreams.Append(item);
  }
  EXPECT_EQ(2005u, g_qEndedStreams.GetCount());
  ItemData taken;
  for (DWORD expected = 5; expected < 2010; ++expected) {
    ASSERT_TRUE(g_qEndedStreams.TakeFront(taken));
    ASSERT_EQ(expected, taken.m_dwCounter);
  }
  EXPECT_FALSE(g_qEndedStreams.TakeFront(taken));
}
