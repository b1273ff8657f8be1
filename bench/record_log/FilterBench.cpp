// The record log page's filter under Wine, measured side by side in one run: a
// user types an address into the filter box over 2000 rows, narrows it, erases
// it again and types a codec's name, one keystroke at a time. Each keystroke is
// timed as the page answers it (the edit's change notification: the rows that
// pass found, the list brought to them, the selection kept) against the bare
// list work of the same result on a list of its own: LVM_DELETEALLITEMS and the
// matching rows inserted again, in order, with redraw off as the page has it.
// Targets: page / bare <= 1.0 over the warm passes, and every warm keystroke
// under 16 ms (one frame). The first pass, which reads every row's texts once,
// is shown apart.
// Run from bin: wine record_log_filter_bench.exe (needs a display).

#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/record_log/RecordLogSheet.h"
#include "framework/PropertySheet.h"
#include "framework/Resource.h"
#include "framework/String.h"
#include "record/RecordLogData.h"
#include "record/RecordLogPage.h"
#include "resources/resource.h"

using namespace bench;

namespace {

const int kHistory = 2000;
const int kPasses = 6;  // the first is cold
const wchar_t* const kKeystrokes[] = {L"1",     L"19",    L"192",  L"192.", L"192.1", L"192.16", L"192.168",
                                      L"192.16", L"192.1", L"192.", L"192",  L"19",    L"1",      L"",
                                      L"g",     L"g.",    L"g.7",  L"g.72", L"g.7",   L"g.",     L"g",
                                      L""};
const int kSteps = static_cast<int>(sizeof(kKeystrokes) / sizeof(kKeystrokes[0]));
const WORD kCodecs[] = {1, 6, 7, 0x0133, 2, 0x11, 0x31, 0x55};

CRecordLogPage* g_pPage = nullptr;
HWND g_hPage = nullptr;
HWND g_hList = nullptr;
std::vector<std::vector<double>> g_page(kPasses), g_bare(kPasses);
std::vector<int> g_rows(kSteps);
std::vector<double> g_editAlone;  // the same text again: the edit's own work, the page does nothing
bool g_ran = false;
const char* g_failure = nullptr;


bool FillHistory() {
  if (!SetHistorySize2000(g_hPage, *g_pPage)) return false;
  std::mt19937 rng(7);
  const auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const CTime now = CTime::GetCurrentTime();
  for (int i = 0; i < kHistory; ++i) {
    ItemData item;
    item.m_nDevice = uniform(0, 63);
    item.m_spanDuration = CTimeSpan(uniform(1, 7200));
    item.m_timeLast = now - CTimeSpan(uniform(10, 4 * 3600));
    item.m_timeStart = item.m_timeLast - item.m_spanDuration;
    item.m_dAverage = uniform(-2000, 18000) / 100.0;
    wchar_t address[32] = {};
    if (i % 3 == 0) {
      _snwprintf(address, 31, L"192.168.%d.%d", uniform(0, 3), uniform(1, 254));
    } else {
      _snwprintf(address, 31, L"10.%d.%d.%d", uniform(0, 255), uniform(0, 255), uniform(1, 254));
    }
    item.m_strAddress = address;
    item.m_wAddressPort = static_cast<WORD>(uniform(1024, 65535));
    item.m_wPort = static_cast<WORD>(uniform(1024, 65535));
    item.m_dwCounter = static_cast<DWORD>(uniform(0, 2000000));
    item.m_wCodec = kCodecs[uniform(0, 7)];
    g_qEndedStreams.Append(item);
  }
  ::SendMessageW(g_hPage, WM_TIMER, IDT_REFRESH, 0);
  return ::SendMessageW(g_hList, LVM_GETITEMCOUNT, 0, 0) == kHistory;
}

// What the page shows, as the bare list is to be filled.
std::vector<LPARAM> PageRows() {
  std::vector<LPARAM> rows(static_cast<size_t>(::SendMessageW(g_hList, LVM_GETITEMCOUNT, 0, 0)));
  for (size_t row = 0; row < rows.size(); ++row) {
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = static_cast<int>(row);
    ::SendMessageW(g_hList, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    rows[row] = item.lParam;
  }
  return rows;
}

double BareKeystroke(HWND hBare, const std::vector<LPARAM>& rows) {
  const double t0 = Now();
  FillRows(hBare, rows);
  ::InvalidateRect(hBare, nullptr, FALSE);
  return Now() - t0;
}

void CALLBACK RunInSheet(HWND, UINT, UINT_PTR id, DWORD) {
  ::KillTimer(nullptr, id);
  g_ran = true;
  g_hPage = g_pPage->m_hWnd;
  g_hList = g_pPage->m_listRecords.m_hWnd;
  const HWND hSheet = ::GetParent(g_hPage);
  const HWND hFilter = ::GetDlgItem(g_hPage, IDC_LIST_FILTER);
  const HWND hBare = MakeListLike(g_hList, hSheet);
  if (!hBare || !hFilter) {
    g_failure = "cannot make the bare list";
  } else if (!FillHistory()) {
    g_failure = "the history did not take 2000 records";
  } else {
    for (int pass = 0; pass < kPasses; ++pass) {
      // A page of rows selected, as a user has them while filtering.
      LVITEMW selected = {};
      selected.state = selected.stateMask = LVIS_SELECTED;
      for (int row = 0; row < 20; ++row) ::SendMessageW(g_hList, LVM_SETITEMSTATE, static_cast<WPARAM>(row * 97), reinterpret_cast<LPARAM>(&selected));
      for (int step = 0; step < kSteps; ++step) {
        const double t0 = Now();
        ::SetWindowTextW(hFilter, kKeystrokes[step]);
        g_page[static_cast<size_t>(pass)].push_back(Now() - t0);
        const double t1 = Now();
        ::SetWindowTextW(hFilter, kKeystrokes[step]);
        g_editAlone.push_back(Now() - t1);
        const std::vector<LPARAM> rows = PageRows();
        g_rows[static_cast<size_t>(step)] = static_cast<int>(rows.size());
        g_bare[static_cast<size_t>(pass)].push_back(BareKeystroke(hBare, rows));
      }
    }
  }
  if (hBare) ::DestroyWindow(::GetParent(hBare));
  ::PostMessageW(hSheet, WM_CLOSE, 0, 0);
}

}  // namespace

int wmain() {
  if (!RunInRecordLogSheet("record log filter benchmark", &g_pPage, &RunInSheet)) return 1;
  if (!g_ran || g_failure) {
    std::printf("%s\n", g_failure ? g_failure : "the page's sheet did not run");
    return 1;
  }
  std::printf("%d rows, %d keystrokes per pass, %d passes (the first cold); warm medians per keystroke\n", kHistory,
              kSteps, kPasses);
  std::printf("   filter      rows   page ms   bare ms  page/bare   cold page ms\n");
  double pageSum = 0, bareSum = 0, worst = 0;
  for (int step = 0; step < kSteps; ++step) {
    std::vector<double> page, bare;
    for (int pass = 1; pass < kPasses; ++pass) {
      page.push_back(g_page[static_cast<size_t>(pass)][static_cast<size_t>(step)]);
      bare.push_back(g_bare[static_cast<size_t>(pass)][static_cast<size_t>(step)]);
      worst = std::max(worst, page.back());
    }
    const double p = Median(page), b = Median(bare);
    pageSum += p;
    bareSum += b;
    std::printf("   %-10ls %5d %9.2f %9.2f %10.2f %14.2f\n", *kKeystrokes[step] ? kKeystrokes[step] : L"(empty)",
                g_rows[static_cast<size_t>(step)], p * 1000, b * 1000, p / b, g_page[0][static_cast<size_t>(step)] * 1000);
  }
  std::printf("   all keystrokes: page %.1f ms, bare %.1f ms, page/bare %.2f (target <= 1.0)\n", pageSum * 1000,
              bareSum * 1000, pageSum / bareSum);
  std::printf("   slowest warm keystroke: %.2f ms (target < 16 ms)\n", worst * 1000);
  std::printf("   of each keystroke, the edit control's own work (the same text set again): median %.2f ms\n",
              Median(g_editAlone) * 1000);
  return 0;
}
