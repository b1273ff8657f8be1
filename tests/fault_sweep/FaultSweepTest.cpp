// The fault sweep: a workload runs again and again with its N-th fault injected,
// N = 1, 2, ... until a run finishes without reaching N. Each run must end without
// a crash, hang or leak, with the message the program gives for that fault and with
// nothing lost that it keeps. Seams: the allocations of the support library and the
// framework, the driver requests of the device and global pages, the log writes of
// the record log page, and the registry values the program reads.

#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "app/MainSheet.h"
#include "driver/DeviceDiscovery.h"
#include "framework/PropertySheet.h"
#include "framework/String.h"
#include "record/LogFile.h"
#include "record/RecordLogData.h"
#include "record/RecordLogPage.h"
#include "resources/resource.h"
#include "stats/DevicePage.h"
#include "stats/GlobalPage.h"
#include "support/AllocationFault.h"
#include "support/BlockPool.h"
#include "support/CountedString.h"
#include "support/RegistryKey.h"
#include "support/WideString.h"
#include "tests/framework_windows/GuiHarness.h"
#include "tests/record_page/LogTestData.h"

// The framework's and the standard containers' allocations reach the same countdown
// as the support library's helpers (the nothrow forms call these).
void* operator new(size_t cb) {
  if (allocation_fault::ShouldFail()) throw std::bad_alloc();
  if (void* p = ::HeapAlloc(::GetProcessHeap(), 0, cb ? cb : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  if (p) ::HeapFree(::GetProcessHeap(), 0, p);
}
void operator delete(void* p, size_t) noexcept {
  if (p) ::HeapFree(::GetProcessHeap(), 0, p);
}

using namespace gui_test;
using namespace log_test;

namespace {

// Longer than a string's inline room, so that copying a record allocates.
const wchar_t kLongAddress[] = L"192.168.100.200";

const wchar_t kSweepKey[] = L"Software\\Delvora\\FaultSweep";
const wchar_t kParametersKey[] = L"system\\CurrentControlSet\\services\\tqaudio\\parameters";
const wchar_t kOutputKey[] = L"Software\\Tarquel\\TqVudAva\\1.0";
const wchar_t kRootKey[] = L"Software\\Tarquel\\Orrindale\\1.0";

// Busy blocks of every heap of the process: the count that a leak raises.
size_t LiveHeapBlocks() {
  HANDLE heaps[64];
  const DWORD nHeaps = ::GetProcessHeaps(64, heaps);
  size_t nBlocks = 0;
  for (DWORD i = 0; i < nHeaps && i < 64; ++i) {
    if (!::HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY entry = {};
    while (::HeapWalk(heaps[i], &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) ++nBlocks;
    }
    ::HeapUnlock(heaps[i]);
  }
  return nBlocks;
}

// The process's handle count where the system keeps one; otherwise (Wine reports 0)
// the value of the next handle given out, which is the lowest free slot there, so a
// handle left open moves it.
ULONG_PTR HandleMark() {
  DWORD n = 0;
  if (::GetProcessHandleCount(::GetCurrentProcess(), &n) && n) return n;
  const HANDLE hProbe = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ::CloseHandle(hProbe);
  return reinterpret_cast<ULONG_PTR>(hProbe);
}

// A registry value set for the test's life (null data removes it); the old one
// comes back afterwards.
class ScopedValue {
public:
  ScopedValue(const wchar_t* pszKey, const wchar_t* pszName, DWORD dwType, const void* pData, DWORD cb)
      : m_pszName(pszName) {
    ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, pszKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_hKey, nullptr);
    DWORD cbOld = 0;
    if (::RegQueryValueExW(m_hKey, pszName, nullptr, &m_dwOldType, nullptr, &cbOld) == ERROR_SUCCESS) {
      m_old.resize(cbOld);
      ::RegQueryValueExW(m_hKey, pszName, nullptr, &m_dwOldType, m_old.data(), &cbOld);
      m_bHadOld = true;
    }
    if (pData) {
      ::RegSetValueExW(m_hKey, pszName, 0, dwType, static_cast<const BYTE*>(pData), cb);
    } else {
      ::RegDeleteValueW(m_hKey, pszName);
    }
  }
  ~ScopedValue() {
    if (m_bHadOld) {
      ::RegSetValueExW(m_hKey, m_pszName, 0, m_dwOldType, m_old.data(), static_cast<DWORD>(m_old.size()));
    } else {
      ::RegDeleteValueW(m_hKey, m_pszName);
    }
    ::RegCloseKey(m_hKey);
  }
  ScopedValue(const ScopedValue&) = delete;
  ScopedValue& operator=(const ScopedValue&) = delete;

private:
  HKEY m_hKey = nullptr;
  const wchar_t* m_pszName;
  DWORD m_dwOldType = 0;
  std::vector<BYTE> m_old;
  bool m_bHadOld = false;
};

// ---- heap allocations ---------------------------------------------------------------

// What one run of the allocation workload saw go wrong, beyond the expected throw.
struct CAllocationFindings {
  int nOtherThrows = 0;         // anything but E_OUTOFMEMORY from the support library
  int nFormatLostTarget = 0;    // a failed FormatString changed its target
  int nHalfDoneStores = 0;      // a history whose ids, records and index disagree
};

// The support library alone: every throw must be the long E_OUTOFMEMORY.
void SupportWorkload(CAllocationFindings& findings) {
  CWideString strText(L"kept");
  const HRESULT hr = FormatString(strText, L"Device%03d %s %ld %.3f", 7, L"tqaudio", 123456L, 2.5);
  if (FAILED(hr) && (hr != E_OUTOFMEMORY || wcscmp(strText.GetText(), L"kept") != 0))
    ++findings.nFormatLostTarget;
  CWideString strJoined = strText + L" and a tail that is long enough to be its own allocation";
  strJoined += CWideString("narrow text from the code page");
  strJoined.GetNarrow();
  strJoined.GetAscii();

  CRegistryKey key(HKEY_LOCAL_MACHINE, kSweepKey, FALSE);
  CWideString strValue;
  key.GetString(L"Text", strValue, FALSE, TRUE);
  DWORD dwValue = 0;
  key.GetDWord(L"Number", &dwValue, FALSE);
  CCountedString strCounted;
  key.QueryCountedString(L"Text", strCounted, FALSE, FALSE);
  key.Close();

  // Longer than the largest pool's texts, so it comes from the heap; no allocation of
  // the test's own may fall in this workload.
  static wchar_t s_szLong[601];
  if (!s_szLong[0]) wmemset(s_szLong, L'x', 600);
  CCountedString strShort(L"short");
  CCountedString strLong(s_szLong);
  CCountedString strCopy(strLong);
  strCopy += strShort;
  strShort += L" grown past sixty-four characters by a second, longer piece of text";

  CBlockPool pool(64, 4);
  void* pBlocks[9];
  for (void*& pBlock : pBlocks) pBlock = nullptr;
  try {
    for (void*& pBlock : pBlocks) pBlock = pool.Allocate();
  } catch (...) {
    for (void* pBlock : pBlocks) pool.Free(pBlock);
    throw;
  }
  for (void* pBlock : pBlocks) pool.Free(pBlock);
}

// The framework and the history: a record log tick without its window.
void FrameworkWorkload(CRecordLogData& data, CLogFile& logFile, CAllocationFindings& findings) {
  CString strLine;
  strLine.Format(L"%s\t%ld\t%s", L"a formatted line of the framework", 42L, L"192.168.100.200");
  strLine += L" and more";
  try {
    for (int n = 0; n < 3; ++n) {
      DWORD id = 0;
      data.Insert(Ended(n, 10 + n, kLongAddress), id);
      logFile.WriteLine(CRecordLogData::FormatRecord(*data.Find(id)));
    }
  } catch (...) {
    // The store must agree with itself whichever allocation failed.
    bool bConsistent = data.m_ids.m_usedIds.size() == data.m_records.size();
    for (const ItemData& record : data.m_records)
      bConsistent = bConsistent && data.Find(record.m_dwRecordId) == &record;
    if (!bConsistent) ++findings.nHalfDoneStores;
    throw;
  }
}

TEST(FaultSweep, EveryAllocationOfTheSupportLibraryAndTheFrameworkFailsCleanly) {
  ASSERT_NE(nullptr, UseResourceModule());
  struct CSweepKeyRemover {
    ~CSweepKeyRemover() { ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSweepKey); }
  } removeKeyLast;
  ScopedValue text(kSweepKey, L"Text", REG_EXPAND_SZ, L"%SystemRoot%\\x", 30);
  const DWORD dwNumber = 7;
  ScopedValue number(kSweepKey, L"Number", REG_DWORD, &dwNumber, sizeof(dwNumber));
  wchar_t szLog[MAX_PATH];
  ::GetTempPathW(MAX_PATH, szLog);
  wcscat_s(szLog, L"DelvoraFaultSweep.txt");

  CAllocationFindings findings;
  long nSupportPoints = 0;
  auto run = [&](long nFailing) {
    CRecordLogData data;
    CLogFile logFile;
    logFile.Open(szLog);
    allocation_fault::Arm(nFailing);
    try {
      try {
        SupportWorkload(findings);
        nSupportPoints = allocation_fault::CountChecked();
      } catch (long code) {
        if (code != E_OUTOFMEMORY) ++findings.nOtherThrows;
        throw;
      } catch (...) {
        ++findings.nOtherThrows;
        throw;
      }
      FrameworkWorkload(data, logFile, findings);
    } catch (long) {
    } catch (const std::bad_alloc&) {
    } catch (...) {
      ++findings.nOtherThrows;
    }
    const long nChecked = allocation_fault::CountChecked();
    allocation_fault::Arm(0);
    return nChecked;
  };
  auto sweep = [&] {
    long nFailing = 1;
    while (run(nFailing) >= nFailing) ++nFailing;
    return nFailing - 1;
  };
  // A first sweep lets the runtime's one-time work on the way of each failure (the
  // first throw of each kind, caches) happen; the second must leave nothing behind.
  sweep();
  const size_t nBlocksBefore = LiveHeapBlocks();
  const ULONG_PTR nHandlesBefore = HandleMark();
  const long nPoints = sweep();
  const size_t nBlocksAfter = LiveHeapBlocks();
  ::DeleteFileW(szLog);

  const ULONG_PTR nHandlesAfter = HandleMark();
  printf("allocation points swept: %ld (%ld in the support library); heap blocks %zu -> %zu\n", nPoints,
         nSupportPoints, nBlocksBefore, nBlocksAfter);
  EXPECT_GT(nPoints, 30);
  EXPECT_EQ(0, findings.nOtherThrows);
  EXPECT_EQ(0, findings.nFormatLostTarget);
  EXPECT_EQ(0, findings.nHalfDoneStores);
  EXPECT_EQ(nBlocksBefore, nBlocksAfter);
  EXPECT_EQ(nHandlesBefore, nHandlesAfter);
}

// ---- driver requests ----------------------------------------------------------------

enum class RequestFault { Failure, ShortAnswer };

// Two devices and the driver-wide record; the N-th request of all fails in the chosen
// way: a failed open at odd N, a failed request at even N (the pages see only the
// code), or a short answer, which fills only the record's first 12 bytes as a driver
// that wrote less than asked leaves the rest of the zero-filled answer.
class CFaultyDriver : public CDeviceAccess {
public:
  CFaultyDriver(RequestFault fault, int nFailing) : m_fault(fault), m_nFailing(nFailing) {}
  int GetDeviceCount() override { return 2; }
  HRESULT QueryWaveInCounters(int nDevice, WaveCounters& record) override {
    return Answer(m_in[nDevice], record, nDevice);
  }
  HRESULT QueryWaveOutCounters(int nDevice, WaveCounters& record) override {
    return Answer(m_out[nDevice], record, nDevice);
  }
  HRESULT QueryGlobalCounters(GlobalCounters& record, FILETIME& timestamp) override {
    const HRESULT hr = Answer(m_global, record, -1);
    if (SUCCEEDED(hr)) timestamp = record.Timestamp;
    return hr;
  }
  void ResetDevices() override {}

  WaveCounters m_in[2] = {};
  WaveCounters m_out[2] = {};
  GlobalCounters m_global = {};
  int m_nRequests = 0;
  int m_nFailedDevice = -2;  // the device whose request failed; -1 the global record

private:
  template <typename Record>
  HRESULT Answer(const Record& source, Record& target, int nDevice) {
    if (++m_nRequests != m_nFailing) {
      target = source;
      return S_OK;
    }
    if (m_fault == RequestFault::ShortAnswer) {
      Record answer = {};
      memcpy(&answer, &source, 12);
      target = answer;
      return S_OK;
    }
    m_nFailedDevice = nDevice;
    return HRESULT_FROM_WIN32(m_nFailing % 2 ? ERROR_FILE_NOT_FOUND : ERROR_GEN_FAILURE);
  }

  RequestFault m_fault;
  int m_nFailing;
};

int RowOfDevice(HWND hList, int nDevice) {
  const int nRows = static_cast<int>(::SendMessageW(hList, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < nRows; ++row) {
    if (ListData(hList, row) == nDevice) return row;
  }
  return -1;
}

// One run: both pages refresh five times while a stream runs on device 1 in the
// second and third refresh and ends in the fourth. Returns the requests made.
int RunDriverFault(RequestFault fault, int nFailing) {
  CDevicePage::m_aItemData.clear();
  g_qEndedStreams.Clear();
  CFaultyDriver driver(fault, nFailing);
  driver.m_global.Counter1 = 5;
  CDevicePage devicePage;
  CGlobalPage globalPage;
  devicePage.SetDeviceAccess(&driver);
  globalPage.SetDeviceAccess(&driver);
  CPropertySheet sheet(L"Devices");
  sheet.AddPage(&devicePage);
  sheet.AddPage(&globalPage);
  CString strNotAnswering;
  strNotAnswering.LoadString(IDS_STATE_NOT_ANSWERING);
  MessageBoxAnswerer answerer;
  const ModalScript inLoop([&] {
    ::SendMessageW(sheet.m_hWnd, PSM_SETCURSEL, 1, 0);
    const HWND hList = devicePage.m_listDevices.m_hWnd;
    for (int nTick = 0; nTick < 5; ++nTick) {
      WaveCounters& in = driver.m_in[1];
      in.Active = nTick == 1 || nTick == 2;
      in.Total += 1000;
      in.PacketCount += 10;
      in.Port = htons(5060);
      driver.m_out[1].Address = 0x0100007F;
      driver.m_out[1].AddressPort = htons(8000);
      const size_t nBoxesBefore = answerer.boxes.size();
      const int nFailedBefore = driver.m_nFailedDevice;
      ::SendMessageW(devicePage.m_hWnd, WM_TIMER, IDT_REFRESH, 0);
      ::SendMessageW(globalPage.m_hWnd, WM_TIMER, IDT_REFRESH, 0);
      EXPECT_LE(answerer.boxes.size(), nBoxesBefore + 1) << "one message per refresh at most";
      if (driver.m_nFailedDevice >= 0 && nFailedBefore != driver.m_nFailedDevice) {
        const int nRow = RowOfDevice(hList, driver.m_nFailedDevice);
        EXPECT_EQ(strNotAnswering.GetString(), ListText(hList, nRow, 1));
      }
    }
    ::PostMessageW(sheet.m_hWnd, WM_CLOSE, 0, 0);
  });
  sheet.DoModal();

  // The page's message for a device that stopped answering, and for nothing else.
  const bool bDeviceFailed = driver.m_nFailedDevice >= 0;
  EXPECT_EQ(bDeviceFailed ? 1u : 0u, answerer.boxes.size()) << nFailing;
  if (bDeviceFailed && answerer.boxes.size() == 1) {
    const std::wstring expected = L"The driver did not answer the Wave";
    EXPECT_EQ(0u, answerer.boxes[0].text.find(expected)) << answerer.boxes[0].text;
    EXPECT_NE(std::wstring::npos,
              answerer.boxes[0].text.find(L"for device " + std::to_wstring(driver.m_nFailedDevice) + L"."));
  }
  // The one stream ended exactly once, whichever request failed or came short.
  size_t nEnded = 0;
  ItemData item;
  while (g_qEndedStreams.TakeFront(item)) nEnded += item.m_nDevice == 1;
  EXPECT_EQ(1u, nEnded) << "fault " << static_cast<int>(fault) << " at request " << nFailing;
  return driver.m_nRequests;
}

TEST(FaultSweep, EveryDriverRequestOfTheDeviceAndGlobalPagesFailsCleanly) {
  ASSERT_NE(nullptr, UseResourceModule());
  int nPoints = 0;
  RunDriverFault(RequestFault::Failure, 0);  // the first sheet's one-time work
  const ULONG_PTR nHandlesBefore = HandleMark();
  for (RequestFault fault : {RequestFault::Failure, RequestFault::ShortAnswer}) {
    int nFailing = 1;
    while (RunDriverFault(fault, nFailing) >= nFailing) ++nFailing;
    nPoints += nFailing - 1;
  }
  printf("driver request points swept: %d\n", nPoints);
  EXPECT_GT(nPoints, 2 * 20);
  EXPECT_EQ(nHandlesBefore, HandleMark());
}

// ---- log writes ---------------------------------------------------------------------

// Three streams end, one per record log tick, with the log written to a file until
// the N-th line, from which on the disk is full; then the log's folder disappears.
TEST(FaultSweep, EveryLogWriteOfTheRecordLogPageFailsCleanly) {
  ASSERT_NE(nullptr, UseResourceModule());
  wchar_t szFolder[MAX_PATH];
  ::GetTempPathW(MAX_PATH, szFolder);
  wcscat_s(szFolder, L"DelvoraSweepLog");
  const std::wstring folder = szFolder;
  const std::wstring path = folder + L"\\log.txt";
  int nPoints = 0;
  for (int nFailing = 1;; ++nFailing) {
    ::CreateDirectoryW(folder.c_str(), nullptr);
    CRecordLogData::m_global.Clear();
    g_qEndedStreams.Clear();
    MessageBoxAnswerer answerer;
    int nLinesAsked = 0;
    {
      CRecordLogPage page;
      CPropertySheet sheet(L"Records");
      sheet.AddPage(&page);
      const ModalScript inLoop([&] {
        ASSERT_EQ(S_OK, page.GetLogFile().Open(path.c_str()));
        for (int nTick = 1; nTick <= 3; ++nTick) {
          if (++nLinesAsked == nFailing) {
            page.GetLogFile().Close();
            ASSERT_EQ(S_OK, page.GetLogFile().Open(L"Z:\\dev\\full"));
          }
          g_qEndedStreams.Append(Ended(nTick, 10 + nTick, kLongAddress));
          ::SendMessageW(page.m_hWnd, WM_TIMER, IDT_REFRESH, 0);
        }
        EXPECT_EQ(3, ::SendMessageW(page.m_listRecords.m_hWnd, LVM_GETITEMCOUNT, 0, 0));
        ::PostMessageW(sheet.m_hWnd, WM_CLOSE, 0, 0);
      });
      sheet.DoModal();
    }  // the page and its log file are gone before the file is read

    EXPECT_EQ(3u, CRecordLogData::m_global.GetCount());
    EXPECT_EQ(nFailing <= 3 ? 1u : 0u, answerer.boxes.size()) << nFailing;
    if (!answerer.boxes.empty()) {
      EXPECT_NE(std::wstring::npos, answerer.boxes[0].text.find(L"Z:\\dev\\full")) << answerer.boxes[0].text;
    }
    // The lines written before the disk filled are all there, whole.
    FILE* pFile = _wfopen(path.c_str(), L"rb");
    ASSERT_NE(nullptr, pFile);
    int nLines = 0;
    for (int ch; (ch = fgetc(pFile)) != EOF;) nLines += ch == '\n';
    fclose(pFile);
    EXPECT_EQ(nFailing <= 3 ? nFailing - 1 : 3, nLines);
    ::DeleteFileW(path.c_str());
    ::RemoveDirectoryW(folder.c_str());
    if (nLinesAsked < nFailing) break;
    ++nPoints;
  }

  // The folder of a log disappears: the next open fails, the records stay.
  CLogFile logFile;
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), logFile.Open(path.c_str()));
  EXPECT_FALSE(logFile.IsOpen());
  EXPECT_EQ(3u, CRecordLogData::m_global.GetCount());
  CRecordLogData::m_global.Clear();
  printf("log write points swept: %d (+1 vanished folder)\n", nPoints);
}

// ---- registry reads -----------------------------------------------------------------

// The driver's parameters key with exactly these device sub-keys (by index) and
// values named like a device where a key belongs; the old keys come back afterwards.
class ScopedDeviceKeys {
public:
  ScopedDeviceKeys() {
    ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kParametersKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_hKey,
                      nullptr);
    ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kBackupKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_hBackup,
                      nullptr);
    ::RegCopyTreeW(m_hKey, nullptr, m_hBackup);
  }
  ~ScopedDeviceKeys() {
    Set({}, {});
    ::RegCopyTreeW(m_hBackup, nullptr, m_hKey);
    ::RegCloseKey(m_hBackup);
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kBackupKey);
    ::RegCloseKey(m_hKey);
  }
  ScopedDeviceKeys(const ScopedDeviceKeys&) = delete;
  ScopedDeviceKeys& operator=(const ScopedDeviceKeys&) = delete;

  void Set(const std::vector<int>& keys, const std::vector<int>& values) {
    for (int n = 0; n < 8; ++n) {
      const std::wstring name = Name(n);
      ::RegDeleteTreeW(m_hKey, name.c_str());
      ::RegDeleteValueW(m_hKey, name.c_str());
    }
    for (int n : keys) {
      HKEY hDevice = nullptr;
      ::RegCreateKeyExW(m_hKey, Name(n).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hDevice, nullptr);
      ::RegCloseKey(hDevice);
    }
    const DWORD dwValue = 1;
    for (int n : values)
      ::RegSetValueExW(m_hKey, Name(n).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue), 4);
  }

private:
  static constexpr const wchar_t* kBackupKey = L"Software\\Delvora\\FaultSweepDevices";
  static std::wstring Name(int n) {
    wchar_t szName[16];
    _snwprintf(szName, 16, L"Device%03d", n);
    szName[15] = L'\0';
    return szName;
  }
  HKEY m_hKey = nullptr;
  HKEY m_hBackup = nullptr;
};

std::wstring LogPathOfNewPage() {
  CRecordLogPage page;
  CPropertySheet sheet(L"Records");
  sheet.AddPage(&page);
  std::wstring path;
  const ModalScript inLoop([&] {
    path = page.GetLogPath().GetString();
    ::PostMessageW(sheet.m_hWnd, WM_CLOSE, 0, 0);
  });
  sheet.DoModal();
  return path;
}

TEST(FaultSweep, MissingWrongAndHugeRegistryValuesAreReadSafely) {
  ASSERT_NE(nullptr, UseResourceModule());
  int nPoints = 0;
  {
    // Only an unbroken run of device keys counts; a value is not a device.
    ScopedDeviceKeys devices;
    const struct {
      std::vector<int> keys;
      std::vector<int> values;
      int nCount;
    } kLayouts[] = {{{}, {}, 0}, {{0, 1}, {}, 2}, {{0, 2}, {}, 1}, {{0}, {1}, 1}, {{1, 2}, {0}, 0}};
    for (const auto& layout : kLayouts) {
      devices.Set(layout.keys, layout.values);
      EXPECT_EQ(layout.nCount, CountDeviceKeys());
      ++nPoints;
    }
  }

  // "Output Path" and "Root Path": missing, of another type, and far longer than any
  // path. The page falls back to the bare file name; the root path read fails with
  // the folded "not found" and leaves its target alone.
  const std::wstring huge(40000, L'p');
  const DWORD dwNumber = 0x00410041;  // "AA" when read as text
  {
    ScopedValue output(kOutputKey, L"Output Path", REG_SZ, nullptr, 0);
    ScopedValue root(kRootKey, L"Root Path", REG_SZ, nullptr, 0);
    EXPECT_EQ(L"DelvoraLog.txt", LogPathOfNewPage());
    CWideString strRoot(L"untouched");
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), LoadOrrindaleRootPath(strRoot));
    EXPECT_STREQ(L"untouched", strRoot.GetText());
    nPoints += 2;
  }
  {
    // The stored type is not examined: the bytes read as text, up to a NUL.
    ScopedValue output(kOutputKey, L"Output Path", REG_DWORD, &dwNumber, 4);
    ScopedValue root(kRootKey, L"Root Path", REG_DWORD, &dwNumber, 4);
    EXPECT_EQ(L"AA\\DelvoraLog.txt", LogPathOfNewPage());
    CWideString strRoot;
    EXPECT_EQ(S_OK, LoadOrrindaleRootPath(strRoot));
    EXPECT_STREQ(L"AA", strRoot.GetText());
    nPoints += 2;
  }
  {
    const DWORD cb = static_cast<DWORD>((huge.size() + 1) * sizeof(wchar_t));
    ScopedValue output(kOutputKey, L"Output Path", REG_SZ, huge.c_str(), cb);
    ScopedValue root(kRootKey, L"Root Path", REG_EXPAND_SZ, huge.c_str(), cb);
    EXPECT_EQ(huge + L"\\DelvoraLog.txt", LogPathOfNewPage());
    CWideString strRoot;
    EXPECT_EQ(S_OK, LoadOrrindaleRootPath(strRoot));
    EXPECT_EQ(huge.size(), static_cast<size_t>(strRoot.Length()));
    nPoints += 2;
  }
  printf("registry read points swept: %d\n", nPoints);
}

}  // namespace
