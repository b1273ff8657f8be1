// The soak: the main sheet against the simulated driver in demo mode with 64
// devices (DELVORA_SOAK_DEVICES), logging to a file for DELVORA_SOAK_MINUTES
// minutes (2 by default).
// At the end, with the driver's clock frozen and the pages drained, every call the
// driver ended while logging is in the log exactly once, the history holds the
// newest records up to its size and the list shows the history. Handles, GUI
// objects and private bytes are sampled every minute and may not grow after the
// first minute by more than a small allowance; their slopes are printed.

#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/MainSheet.h"
#include "driver/DriverControl.h"
#include "record/RecordLogData.h"
#include "resources/resource.h"
#include "tests/framework_windows/GuiHarness.h"
#include "tests/record_page/LogTestData.h"
#include "tqaudio/SimClient.h"

using namespace gui_test;
using namespace log_test;

namespace {

const int kHistorySize = 50;   // small, so that trimming runs all along
// Growth allowed from the end of the warm-up minute to any later sample.
const double kHandleAllowance = 16;
const double kGdiAllowance = 8;
const double kUserAllowance = 8;
const double kPrivateBytesAllowance = 4.0 * 1024 * 1024;

// A positive whole number from the environment, or the default.
int Setting(const char* name, int nDefault) {
  const char* text = std::getenv(name);
  const int value = text ? std::atoi(text) : 0;
  return value > 0 ? value : nDefault;
}

int SoakMinutes() { return Setting("DELVORA_SOAK_MINUTES", 2); }
// 64 devices; many more (1024) make a refresh slower than the demo's shortest gaps.
const int kDevices = Setting("DELVORA_SOAK_DEVICES", 64);

struct Sample {
  double handles;
  double gdi;
  double user;
  double privateBytes;
};

// Wine answers 0 for the handle count and both GUI object counts and leaves
// PrivateUsage at 0; there the same quantities are counted from what it does keep:
// the system's handle table, the process's GDI handle table (whose entries Wine
// leaves without an owner), its menus and windows, and its private committed pages.
struct SystemHandle {
  ULONG nProcessId;
  BYTE bObjectType;
  BYTE bFlags;
  USHORT wHandle;
  PVOID pObject;
  ACCESS_MASK access;
};

double CountHandles() {
  DWORD handles = 0;
  if (::GetProcessHandleCount(::GetCurrentProcess(), &handles) && handles != 0) return handles;
  const SYSTEM_INFORMATION_CLASS kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
  std::vector<BYTE> buffer(1 << 20);
  NTSTATUS status;
  while ((status = ::NtQuerySystemInformation(kSystemHandleInformation, buffer.data(),
                                               static_cast<ULONG>(buffer.size()), nullptr)) ==
         static_cast<NTSTATUS>(0xC0000004L)) {  // STATUS_INFO_LENGTH_MISMATCH
    buffer.resize(buffer.size() * 2);
  }
  if (status != 0) return 0;
  const ULONG nEntries = *reinterpret_cast<const ULONG*>(buffer.data());
  const SystemHandle* pEntries = reinterpret_cast<const SystemHandle*>(buffer.data() + sizeof(ULONG_PTR));
  ULONG nOwn = 0;
  for (ULONG i = 0; i < nEntries; ++i) {
    if (pEntries[i].nProcessId == ::GetCurrentProcessId()) ++nOwn;
  }
  return nOwn;
}

double CountGdiObjects() {
  const DWORD nObjects = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
  if (nObjects != 0) return nObjects;
  // PEB.GdiSharedHandleTable (x64): 0x10000 entries of 24 bytes, the owner's
  // process id at 8 and the object type at 14 (0 for a free entry).
  PROCESS_BASIC_INFORMATION info = {};
  if (::NtQueryInformationProcess(::GetCurrentProcess(), ProcessBasicInformation, &info, sizeof(info), nullptr) != 0)
    return 0;
  const BYTE* pTable = *reinterpret_cast<const BYTE* const*>(reinterpret_cast<const BYTE*>(info.PebBaseAddress) + 0xF8);
  if (pTable == nullptr) return 0;
  const USHORT wOwnId = static_cast<USHORT>(::GetCurrentProcessId());
  ULONG nOwn = 0;
  for (ULONG i = 0; i < 0x10000; ++i) {
    const BYTE* pEntry = pTable + i * 24;
    const USHORT wOwner = *reinterpret_cast<const USHORT*>(pEntry + 8);
    if (pEntry[14] != 0 && (wOwner == 0 || wOwner == wOwnId)) ++nOwn;
  }
  return nOwn;
}

double CountUserObjects() {
  const DWORD nObjects = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS);
  if (nObjects != 0) return nObjects;
  // Wine's USER handles are 0x20 plus twice a slot number, with a generation in
  // the high word that a handle without one matches: every slot is tried for a
  // menu or a window of this process.
  ULONG nOwn = 0;
  for (ULONG_PTR slot = 0x20; slot < 0x10000; slot += 2) {
    DWORD dwProcessId = 0;
    if (::IsMenu(reinterpret_cast<HMENU>(slot)) ||
        (::GetWindowThreadProcessId(reinterpret_cast<HWND>(slot), &dwProcessId) != 0 &&
         dwProcessId == ::GetCurrentProcessId())) {
      ++nOwn;
    }
  }
  return nOwn;
}

double CountPrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX memory = {};
  memory.cb = sizeof(memory);
  if (::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                             sizeof(memory)) && memory.PrivateUsage != 0) {
    return static_cast<double>(memory.PrivateUsage);
  }
  double total = 0;
  MEMORY_BASIC_INFORMATION region;
  for (const BYTE* p = nullptr; ::VirtualQuery(p, &region, sizeof(region)) != 0;
       p = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += static_cast<double>(region.RegionSize);
  }
  return total;
}

Sample TakeSample() {
  return {CountHandles(), CountGdiObjects(), CountUserObjects(), CountPrivateBytes()};
}

// Least-squares growth per minute of samples taken a minute apart.
double Slope(const std::vector<double>& values) {
  const size_t n = values.size();
  if (n < 2) return 0.0;
  double meanX = 0, meanY = 0;
  for (size_t i = 0; i < n; ++i) {
    meanX += static_cast<double>(i);
    meanY += values[i];
  }
  meanX /= static_cast<double>(n);
  meanY /= static_cast<double>(n);
  double num = 0, den = 0;
  for (size_t i = 0; i < n; ++i) {
    num += (static_cast<double>(i) - meanX) * (values[i] - meanY);
    den += (static_cast<double>(i) - meanX) * (static_cast<double>(i) - meanX);
  }
  return num / den;
}

std::string Narrow(const CString& text) {
  const std::wstring wide(text.GetString());
  return std::string(wide.begin(), wide.end());
}

// Calls the driver has ended since it loaded (the global record's ended-calls counter).
bool EndedCalls(ULONG& nEnded) {
  GlobalCounters record = {};
  FILETIME timestamp = {};
  if (FAILED(QueryGlobalCounters(record, timestamp))) return false;
  nEnded = record.Counter2;
  return true;
}

TEST(Soak, EveryEndedCallIsLoggedOnceAndNothingGrows) {
  ASSERT_NE(nullptr, UseResourceModule());
  ASSERT_EQ(S_OK, SimService::Load(SimService::DriverFileBesideProgram().c_str(), kDevices, 7));
  CSimControl control;
  ASSERT_EQ(S_OK, control.Open());
  // Held still until logging runs, so that no call ends unseen in between.
  ASSERT_EQ(S_OK, control.SetClock(0, 0));
  const int minutes = SoakMinutes();

  CRecordLogData::m_global.Clear();
  g_qEndedStreams.Clear();
  CDevicePage::m_aItemData.clear();
  wchar_t dir[MAX_PATH];
  ::GetTempPathW(MAX_PATH, dir);
  const std::wstring path = std::wstring(dir) + L"delvora_soak.txt";
  ::DeleteFileW(path.c_str());

  CMainSheet sheet(L"Delvora");
  MessageBoxAnswerer answerer;
  ULONG nEndedBefore = 0, nEndedAfter = 0;
  std::vector<Sample> samples;
  const ModalScript inLoop([&] {
    CRecordLogPage& recordPage = sheet.m_pageRecordLog;
    ::SendMessageW(sheet.m_hWnd, PSM_SETCURSEL, 2, 0);
    ASSERT_TRUE(::IsWindow(recordPage.m_hWnd));
    const HWND hDevices = sheet.m_pageDevice.m_hWnd;
    const HWND hRecords = recordPage.m_hWnd;
    auto refresh = [&] { ::SendMessageW(hDevices, WM_TIMER, IDT_REFRESH, 0); };
    auto tick = [&] { ::SendMessageW(hRecords, WM_TIMER, IDT_REFRESH, 0); };

    StartLoggingThroughDialogs(hRecords, path, kHistorySize);
    ASSERT_TRUE(recordPage.GetLogFile().IsOpen());
    ASSERT_EQ(kHistorySize, recordPage.GetMaxRecords());

    // The device page sees a call only through its refreshes: the shortest idle gap
    // of the demo schedule (1 s of driver time) must span three refresh periods, or
    // two calls would merge into one stream. The clock's rate follows from the
    // measured period (the timer's 500 ms plus a refresh of 64 devices).
    const DWORD start = ::GetTickCount();
    for (int i = 0; i < 4; ++i) refresh();
    const double period = 0.5 + (::GetTickCount() - start) / 4000.0;
    // DELVORA_SOAK_CLOCK (per mille) sets the rate instead, 1000 for real time:
    // then calls follow each other between two refreshes, as on a busy server.
    const ULONG scale = static_cast<ULONG>(
        Setting("DELVORA_SOAK_CLOCK", static_cast<int>(std::min(4000.0, std::max(100.0, 1000.0 / (3.0 * period))))));
    tick();
    ASSERT_TRUE(EndedCalls(nEndedBefore));
    std::printf("refresh period %.3f s, driver clock at %.3f times real time\n", period, scale / 1000.0);

    ASSERT_EQ(S_OK, control.SetClock(0, scale));
    samples.push_back(TakeSample());
    for (int minute = 1; minute <= minutes; ++minute) {
      PumpMessages(60000);
      samples.push_back(TakeSample());
      std::printf("minute %d: %lu records, handles %.0f, GDI %.0f, USER %.0f, private bytes %.0f\n", minute,
                  static_cast<unsigned long>(CRecordLogData::m_global.GetCount()), samples.back().handles,
                  samples.back().gdi, samples.back().user, samples.back().privateBytes);
      std::fflush(stdout);
    }

    // Frozen, then drained: a refresh ends what the frozen clock has ended, the
    // next one finds nothing more, and the tick takes the queue.
    ASSERT_EQ(S_OK, control.SetClock(0, 0));
    ASSERT_TRUE(EndedCalls(nEndedAfter));
    refresh();
    refresh();
    tick();
    EXPECT_TRUE(g_qEndedStreams.IsEmpty());
    recordPage.GetLogFile().Close();

    // The list shows the history: one row per record, every record once.
    const HWND hList = recordPage.m_listRecords.m_hWnd;
    const int nRows = static_cast<int>(::SendMessageW(hList, LVM_GETITEMCOUNT, 0, 0));
    EXPECT_EQ(static_cast<int>(CRecordLogData::m_global.GetCount()), nRows);
    std::set<DWORD> shownIds;
    for (int row = 0; row < nRows; ++row) {
      const DWORD id = static_cast<DWORD>(ListData(hList, row));
      const ItemData* pItem = CRecordLogData::m_global.Find(id);
      ASSERT_NE(nullptr, pItem) << "row " << row;
      wchar_t device[16];
      _snwprintf(device, 16, L"%03d", pItem->m_nDevice);
      EXPECT_EQ(std::wstring(device), ListText(hList, row, 0));
      shownIds.insert(id);
    }
    EXPECT_EQ(static_cast<size_t>(nRows), shownIds.size());
    ::PostMessageW(sheet.m_hWnd, WM_CLOSE, 0, 0);
  });
  sheet.DoModal();
  ASSERT_EQ(static_cast<size_t>(minutes) + 1, samples.size());
  EXPECT_TRUE(answerer.boxes.empty()) << answerer.boxes.size() << " message boxes";

  // Every ended call once: as many lines as the driver ended calls, and on each
  // device one stream after the other, none twice.
  std::vector<std::string> lines = Lines(path);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(Narrow(CRecordLogData::m_global.GetHeader()), lines[0]);
  lines.erase(lines.begin());
  const ULONG nEnded = nEndedAfter - nEndedBefore;
  std::printf("calls ended while logging %lu, lines logged %lu\n", static_cast<unsigned long>(nEnded),
              static_cast<unsigned long>(lines.size()));
  EXPECT_EQ(nEnded, lines.size());
  EXPECT_GT(nEnded, 0u);
  std::map<int, std::vector<std::pair<std::string, std::string>>> spans;   // device -> (start, end)
  std::vector<std::pair<std::pair<std::string, int>, std::string>> byEnd;  // ((end, device), line)
  for (const std::string& line : lines) {
    const std::vector<std::string> f = Fields(line);
    ASSERT_EQ(10u, f.size()) << line;
    const int device = std::stoi(f[0]);
    EXPECT_TRUE(device >= 0 && device < kDevices) << line;
    spans[device].emplace_back(f[1], f[2]);
    byEnd.push_back({{f[2], device}, line});
  }
  for (auto& entry : spans) {
    std::sort(entry.second.begin(), entry.second.end());
    for (size_t i = 1; i < entry.second.size(); ++i) {
      EXPECT_LE(entry.second[i - 1].second, entry.second[i].first)
          << "device " << entry.first << ": streams overlap or repeat at " << entry.second[i].first;
    }
  }

  // The history holds the newest records (by end, then device) up to its size.
  std::sort(byEnd.begin(), byEnd.end());
  std::multiset<std::string> newest;
  const size_t nKept = static_cast<size_t>(kHistorySize);
  for (size_t i = byEnd.size() > nKept ? byEnd.size() - nKept : 0; i < byEnd.size(); ++i) {
    newest.insert(byEnd[i].second);
  }
  std::multiset<std::string> kept;
  for (const ItemData& item : CRecordLogData::m_global) kept.insert(Narrow(CRecordLogData::FormatRecord(item)));
  EXPECT_EQ(newest, kept);

  // After the warm-up minute nothing grows beyond its allowance.
  const Sample& base = samples[1];
  std::vector<double> handles, gdi, user, privateBytes;
  for (size_t i = 1; i < samples.size(); ++i) {
    const Sample& s = samples[i];
    EXPECT_LE(s.handles - base.handles, kHandleAllowance) << "handles at minute " << i;
    EXPECT_LE(s.gdi - base.gdi, kGdiAllowance) << "GDI objects at minute " << i;
    EXPECT_LE(s.user - base.user, kUserAllowance) << "USER objects at minute " << i;
    EXPECT_LE(s.privateBytes - base.privateBytes, kPrivateBytesAllowance) << "private bytes at minute " << i;
    handles.push_back(s.handles);
    gdi.push_back(s.gdi);
    user.push_back(s.user);
    privateBytes.push_back(s.privateBytes);
  }
  std::printf("slopes per minute after the warm-up: handles %+.2f, GDI %+.2f, USER %+.2f, private bytes %+.0f\n",
              Slope(handles), Slope(gdi), Slope(user), Slope(privateBytes));

  control.Close();
  EXPECT_EQ(S_OK, SimService::Stop());
  CRecordLogData::m_global.Clear();
  ::DeleteFileW(path.c_str());
}

}  // namespace
