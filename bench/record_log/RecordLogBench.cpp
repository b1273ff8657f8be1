// Record log page speed under Wine, measured side by side in one run:
//   1. one tick that records 200 ended streams into a full history of 2000 records
//      (its trim erases 200), through the page, against the naive way written here
//      on a list of its own: each row placed by walking the rows from the top, each
//      record looked up by walking the records, every cell's text set, each erased
//      row found with LVM_FINDITEMW (targets: naive / page >= 100, page < 50 ms);
//   2. a header click sorting 2000 rows by each column, against LVM_SORTITEMS of
//      the same order of rows with a comparator of plain integers, so that the list
//      makes the same comparisons and moves (target: page / bare <= 1.5 for every
//      column; a column above it is flagged). Beside them: the list sorted with
//      CompareRecords alone (the click without its header marks), the header marks
//      alone (two HDM_SETITEMs, each an invalidation that costs a call to the Wine
//      server), and reading every row's id back (which the page leaves to the next
//      tick that needs the rows' places).
// Also what the page's dispatch of one list notification costs: under Wine the
// list sends one for each row a tick inserts and two for each row it deletes.
// Run from bin: wine record_log_bench.exe (needs a display).

#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <random>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/record_log/RecordLogSheet.h"
#include "framework/PropertySheet.h"
#include "framework/Resource.h"
#include "framework/String.h"
#include "record/RecordLogData.h"
#include "record/RecordLogPage.h"
#include "resources/resource.h"
#include "stats/ItemColumns.h"
#include "stats/ListPage.h"

using namespace bench;

namespace {

const int kHistory = 2000;
static_assert(kHistory == 2000, "the history is set to its largest size");
const int kEnded = 200;
const int kTickRounds = 3;
const int kSortSweeps = 9;
const int kColumns = 10;
// Largest page / bare ratio of a header click, for every column.
const double kSortTarget = 1.5;

// ---- data ------------------------------------------------------------------------------

// PCM, A-law, mu-law, G.729 (named) and a few tags shown by number.
const WORD kCodecs[] = {1, 6, 7, 0x0133, 2, 0x11, 0x31, 0x55};

class CStreamMaker {
public:
  explicit CStreamMaker(unsigned seed) : m_rng(seed) {
    // A pool smaller than the history, so that streams share addresses.
    for (int i = 0; i < 300; ++i) {
      wchar_t text[32] = {};
      if (i % 3 == 0) {
        _snwprintf(text, 31, L"192.168.%d.%d", Uniform(0, 3), Uniform(1, 254));
      } else {
        _snwprintf(text, 31, L"10.%d.%d.%d", Uniform(0, 255), Uniform(0, 255), Uniform(1, 254));
      }
      m_addresses.push_back(text);
    }
  }

  ItemData Make(const CTime& end) {
    ItemData item;
    item.m_nDevice = Uniform(0, 63);
    item.m_bActive = false;
    item.m_spanDuration = CTimeSpan(Uniform(1, 7200));
    item.m_timeLast = end;
    item.m_timeStart = end - item.m_spanDuration;
    item.m_dAverage = Uniform(0, 9) == 0 ? -1.0 : Uniform(-2000, 18000) / 100.0;
    item.m_strAddress = m_addresses[static_cast<size_t>(Uniform(0, static_cast<int>(m_addresses.size()) - 1))].c_str();
    item.m_wAddressPort = static_cast<WORD>(Uniform(1024, 65535));
    item.m_wPort = static_cast<WORD>(Uniform(0, 7) == 0 ? 5004 : Uniform(1024, 65535));
    item.m_dwCounter = static_cast<DWORD>(Uniform(0, 2000000));
    item.m_wCodec = kCodecs[Uniform(0, 7)];
    return item;
  }

  int Uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }

private:
  std::mt19937 m_rng;
  std::vector<std::wstring> m_addresses;
};

// A full history that ended over the last four hours, and the streams that ended
// in the last second.
struct RoundData {
  std::vector<ItemData> history;
  std::vector<ItemData> ended;
};

RoundData MakeRound(unsigned seed) {
  CStreamMaker maker(seed);
  const CTime now = CTime::GetCurrentTime();
  RoundData data;
  for (int i = 0; i < kHistory; ++i) data.history.push_back(maker.Make(now - CTimeSpan(maker.Uniform(10, 4 * 3600))));
  for (int i = 0; i < kEnded; ++i) data.ended.push_back(maker.Make(now - CTimeSpan(maker.Uniform(0, 1))));
  return data;
}

// ---- the naive way -----------------------------------------------------------------------

using namespace item_columns;

// The page's columns: texts, comparisons and tie-breaks.
const ListColumn kTable[kColumns] = {
    {0, 0, LVCFMT_LEFT, DeviceText, ByDevice, EndOrder, nullptr},
    {0, 0, LVCFMT_LEFT, StartText, ByStart, DeviceOrder, nullptr},
    {0, 0, LVCFMT_LEFT, EndText, ByEnd, DeviceOrder, nullptr},
    {0, 0, LVCFMT_LEFT, AverageText, ByAverage, DeviceOrder, nullptr},
    {0, 0, LVCFMT_LEFT, AddressText, ByAddress, DeviceOrder, nullptr},
    {0, 0, LVCFMT_LEFT, AddressPortText, ByAddressPort, DeviceOrder, nullptr},
    {0, 0, LVCFMT_LEFT, PortText, ByPort, DeviceOrder, nullptr},
    {0, 0, LVCFMT_LEFT, CodecText, ByCodec, DeviceOrder, nullptr},
    {0, 0, LVCFMT_CENTER, DurationText, ByDuration, DeviceOrder, nullptr},
    {0, 0, LVCFMT_LEFT, CounterText, ByCounter, DeviceOrder, nullptr},
};

int RowCount(HWND hList) { return static_cast<int>(::SendMessageW(hList, LVM_GETITEMCOUNT, 0, 0)); }

DWORD RowData(HWND hList, int row) {
  LVITEMW item = {};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  ::SendMessageW(hList, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  return static_cast<DWORD>(item.lParam);
}

std::vector<DWORD> RowIds(HWND hList) {
  std::vector<DWORD> ids;
  const int count = RowCount(hList);
  for (int row = 0; row < count; ++row) ids.push_back(RowData(hList, row));
  return ids;
}

// The history in a set, ids handed out in sequence, each record found by walking
// the set; rows placed by walking the list from the top and given every text.
class CNaiveLog {
public:
  explicit CNaiveLog(HWND hList) : m_hList(hList) {}

  void Fill(const std::vector<ItemData>& history) {
    m_records.clear();
    ::SendMessageW(m_hList, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(m_hList, LVM_DELETEALLITEMS, 0, 0);
    for (const ItemData& item : history) Insert(item);
    // The set's order is end time, then device: the order of the end-time column.
    int row = 0;
    for (const ItemData& record : m_records) AddRow(row++, record);
    RedrawOn();
  }

  void Tick(std::deque<ItemData>& queue) {
    ::SendMessageW(m_hList, WM_SETREDRAW, FALSE, 0);
    while (!queue.empty()) {
      ItemData item = queue.front();
      queue.pop_front();
      item.m_dwRecordId = Insert(item);
      AddRow(FindInsertPosition(item.m_dwRecordId), item);
    }
    while (m_records.size() > static_cast<size_t>(kHistory)) {
      const DWORD id = m_records.begin()->m_dwRecordId;
      m_records.erase(m_records.begin());
      LVFINDINFOW find = {};
      find.flags = LVFI_PARAM;
      find.lParam = static_cast<LPARAM>(id);
      const LRESULT row =
          ::SendMessageW(m_hList, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find));
      if (row >= 0) ::SendMessageW(m_hList, LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
    }
    RedrawOn();
  }

  const ItemData* Walk(DWORD id) const {
    for (const ItemData& record : m_records) {
      if (record.m_dwRecordId == id) return &record;
    }
    return nullptr;
  }

  size_t GetCount() const { return m_records.size(); }

private:
  DWORD Insert(const ItemData& item) {
    ItemData record(item);
    record.m_dwRecordId = ++m_nLastId;
    m_records.insert(record);
    return record.m_dwRecordId;
  }

  int Compare(DWORD a, DWORD b) const {
    const ItemData* pA = Walk(a);
    const ItemData* pB = Walk(b);
    if (!pA || !pB) return 0;
    return CompareByColumn(kTable, kColumns, *pA, *pB, m_sort);
  }

  int FindInsertPosition(DWORD id) const {
    const int count = RowCount(m_hList);
    for (int row = 0; row < count; ++row) {
      if (Compare(id, RowData(m_hList, row)) < 0) return row;
    }
    return count;
  }

  void AddRow(int row, const ItemData& record) {
    const CString first = kTable[0].pfnText(record);
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = row;
    item.pszText = const_cast<wchar_t*>(first.GetString());
    item.lParam = static_cast<LPARAM>(record.m_dwRecordId);
    const LRESULT at = ::SendMessageW(m_hList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    if (at < 0) return;
    for (int col = 1; col < kColumns; ++col) {
      const CString text = kTable[col].pfnText(record);
      LVITEMW cell = {};
      cell.iSubItem = col;
      cell.pszText = const_cast<wchar_t*>(text.GetString());
      ::SendMessageW(m_hList, LVM_SETITEMTEXTW, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&cell));
    }
  }

  void RedrawOn() {
    ::SendMessageW(m_hList, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(m_hList, nullptr, FALSE);
  }

  HWND m_hList;
  std::set<ItemData> m_records;
  DWORD m_nLastId = 0;
  const SortState m_sort{true, 2};
};


// ---- the page ------------------------------------------------------------------------------

CRecordLogPage* g_pPage = nullptr;
HWND g_hPage = nullptr;
HWND g_hList = nullptr;

void Tick() { ::SendMessageW(g_hPage, WM_TIMER, IDT_REFRESH, 0); }

void ClearPage() {
  ::SendMessageW(g_hPage, WM_COMMAND, MAKEWPARAM(IDC_CLEAR_RECORDS, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(g_hPage, IDC_CLEAR_RECORDS)));
  Tick();
}

// As the list notifies its parent of a click on a column's header.
void ClickColumn(int column) {
  NMLISTVIEW nm = {};
  nm.hdr.hwndFrom = g_hList;
  nm.hdr.idFrom = static_cast<UINT_PTR>(::GetDlgCtrlID(g_hList));
  nm.hdr.code = LVN_COLUMNCLICK;
  nm.iItem = -1;
  nm.iSubItem = column;
  ::SendMessageW(g_hPage, WM_NOTIFY, nm.hdr.idFrom, reinterpret_cast<LPARAM>(&nm));
}


// Rows in the order of `sort`: each row sorts with or after the one above, by
// CompareRecords and by the columns' own comparisons of the records.
bool InOrder(const std::vector<DWORD>& ids, const SortState& sort) {
  for (size_t i = 1; i < ids.size(); ++i) {
    const ItemData* pAbove = CRecordLogData::m_global.Find(ids[i - 1]);
    const ItemData* pRow = CRecordLogData::m_global.Find(ids[i]);
    if (!pAbove || !pRow || CompareByColumn(kTable, kColumns, *pAbove, *pRow, sort) > 0 ||
        CRecordLogPage::CompareRecords(static_cast<LPARAM>(ids[i - 1]), static_cast<LPARAM>(ids[i]),
                                       reinterpret_cast<LPARAM>(&sort)) > 0) {
      return false;
    }
  }
  return true;
}

// ---- the measures --------------------------------------------------------------------------

struct TickResult {
  std::vector<double> page, naive;
  bool ok = true;
  const char* failure = "";
};

void Fail(TickResult& r, const char* what) {
  if (r.ok) r.failure = what;
  r.ok = false;
}

void MeasureTicks(HWND hNaiveList, TickResult& result) {
  CNaiveLog naive(hNaiveList);
  for (int round = 0; round < kTickRounds; ++round) {
    const RoundData data = MakeRound(1000u + static_cast<unsigned>(round));

    ClearPage();
    for (const ItemData& item : data.history) g_qEndedStreams.Append(item);
    Tick();
    if (RowCount(g_hList) != kHistory) Fail(result, "the page did not show the full history");
    for (const ItemData& item : data.ended) g_qEndedStreams.Append(item);
    const double t0 = Now();
    Tick();
    const double t1 = Now();
    result.page.push_back(t1 - t0);

    naive.Fill(data.history);
    std::deque<ItemData> queue(data.ended.begin(), data.ended.end());
    const double t2 = Now();
    naive.Tick(queue);
    const double t3 = Now();
    result.naive.push_back(t3 - t2);

    // Both hold the same records in the same sorted places.
    const std::vector<DWORD> pageIds = RowIds(g_hList);
    const std::vector<DWORD> naiveIds = RowIds(hNaiveList);
    if (!g_qEndedStreams.IsEmpty()) Fail(result, "the page left streams queued");
    if (pageIds.size() != static_cast<size_t>(kHistory) ||
        CRecordLogData::m_global.GetCount() != static_cast<DWORD>(kHistory)) {
      Fail(result, "the page's tick did not trim to the history size");
    }
    if (naiveIds.size() != pageIds.size() || naive.GetCount() != static_cast<size_t>(kHistory)) {
      Fail(result, "the naive tick did not trim to the history size");
    }
    if (!InOrder(pageIds, g_pPage->GetSortState())) Fail(result, "the page's rows are out of order");
    const SortState byEnd{true, 2};
    for (size_t i = 0; i < pageIds.size() && i < naiveIds.size(); ++i) {
      const ItemData* pPage = CRecordLogData::m_global.Find(pageIds[i]);
      const ItemData* pNaive = naive.Walk(naiveIds[i]);
      if (!pPage || !pNaive || CompareByColumn(kTable, kColumns, *pPage, *pNaive, byEnd) != 0) {
        Fail(result, "the page's rows differ from the naive rows");
        break;
      }
    }
  }
}

unsigned long long g_bareComparisons = 0;

int CALLBACK CompareIntegers(LPARAM a, LPARAM b, LPARAM) {
  ++g_bareComparisons;
  return a < b ? -1 : (b < a ? 1 : 0);
}


struct SortResult {
  std::vector<double> page[kColumns], bare[kColumns], compareOnly[kColumns], marks[kColumns], readBack[kColumns];
  unsigned long long comparisons[kColumns] = {};
  bool ok = true;
};

void MeasureSorts(HWND hBareList, SortResult& result) {
  for (int sweep = 0; sweep < kSortSweeps; ++sweep) {
    for (int col = 0; col < kColumns; ++col) {
      // The order the click will give.
      SortState next = g_pPage->GetSortState();
      next.ascending = next.column == col ? !next.ascending : true;
      next.column = col;
      const std::vector<DWORD> before = RowIds(g_hList);
      std::vector<DWORD> sorted = before;
      std::stable_sort(sorted.begin(), sorted.end(), [&](DWORD a, DWORD b) {
        return CRecordLogPage::CompareRecords(static_cast<LPARAM>(a), static_cast<LPARAM>(b),
                                              reinterpret_cast<LPARAM>(&next)) < 0;
      });
      // Each record's rank in that order, equal for rows that compare equal: the
      // bare list then sorts the same order of rows through the same comparisons.
      std::unordered_map<DWORD, LPARAM> rank;
      for (size_t i = 0; i < sorted.size(); ++i) {
        const bool tie = i > 0 && CRecordLogPage::CompareRecords(static_cast<LPARAM>(sorted[i - 1]),
                                                                 static_cast<LPARAM>(sorted[i]),
                                                                 reinterpret_cast<LPARAM>(&next)) == 0;
        rank[sorted[i]] = tie ? rank[sorted[i - 1]] : static_cast<LPARAM>(i);
      }
      std::vector<LPARAM> ranks, ids;
      for (DWORD id : before) {
        ranks.push_back(rank[id]);
        ids.push_back(static_cast<LPARAM>(id));
      }

      FillRows(hBareList, ranks);
      g_bareComparisons = 0;
      const double t0 = Now();
      ::SendMessageW(hBareList, LVM_SORTITEMS, 0, reinterpret_cast<LPARAM>(&CompareIntegers));
      const double t1 = Now();
      result.bare[col].push_back(t1 - t0);
      result.comparisons[col] = g_bareComparisons;

      // The list sorted by CompareRecords itself: the click's sort when the list
      // looked records up.
      FillRows(hBareList, ids);
      const double t2 = Now();
      ::SendMessageW(hBareList, LVM_SORTITEMS, reinterpret_cast<WPARAM>(&next),
                     reinterpret_cast<LPARAM>(&CRecordLogPage::CompareRecords));
      const double t3 = Now();
      result.compareOnly[col].push_back(t3 - t2);

      // The header marks a click moves, on their own: the mark goes to this column
      // and back, and the page's sort order is as it was.
      const SortState was = g_pPage->GetSortState();
      const double m0 = Now();
      g_pPage->SetSortColumn(col);
      const double m1 = Now();
      result.marks[col].push_back(m1 - m0);
      g_pPage->SetSortColumn(was.column);
      if (g_pPage->GetSortState().ascending != was.ascending) g_pPage->SetSortColumn(was.column);

      const double t4 = Now();
      ClickColumn(col);
      const double t5 = Now();
      result.page[col].push_back(t5 - t4);

      // What reading every row's id back costs on its own.
      const double t6 = Now();
      const std::vector<DWORD> after = RowIds(g_hList);
      const double t7 = Now();
      result.readBack[col].push_back(t7 - t6);

      const SortState& state = g_pPage->GetSortState();
      if (state.column != next.column || state.ascending != next.ascending || !InOrder(after, next) ||
          after.size() != before.size()) {
        result.ok = false;
      }
      const std::vector<DWORD> bareAfter = RowIds(hBareList);
      if (bareAfter != after) result.ok = false;  // the page's order is the list's own
    }
  }
}

// A list notification the page ignores, sent as the list sends it.
double MeasureNotification() {
  const int kCount = 200;
  NMLISTVIEW nm = {};
  nm.hdr.hwndFrom = g_hList;
  nm.hdr.idFrom = static_cast<UINT_PTR>(::GetDlgCtrlID(g_hList));
  nm.hdr.code = LVN_INSERTITEM;
  nm.iItem = -1;
  const double t0 = Now();
  for (int i = 0; i < kCount; ++i) ::SendMessageW(g_hPage, WM_NOTIFY, nm.hdr.idFrom, reinterpret_cast<LPARAM>(&nm));
  return (Now() - t0) / kCount;
}

TickResult g_ticks;
SortResult g_sorts;
double g_notification = 0;
bool g_ran = false;
const char* g_setupFailure = nullptr;

void CALLBACK RunInSheet(HWND, UINT, UINT_PTR id, DWORD) {
  ::KillTimer(nullptr, id);
  g_ran = true;
  g_hPage = g_pPage->m_hWnd;
  g_hList = g_pPage->m_listRecords.m_hWnd;
  HWND hSheet = ::GetParent(g_hPage);
  HWND hOther = MakeListLike(g_hList, hSheet);
  if (!hOther) {
    g_setupFailure = "cannot make the second list";
  } else if (!SetHistorySize2000(g_hPage, *g_pPage)) {
    g_setupFailure = "the history size dialog did not take 2000";
  } else {
    g_notification = MeasureNotification();
    MeasureTicks(hOther, g_ticks);
    MeasureSorts(hOther, g_sorts);
  }
  if (hOther) ::DestroyWindow(::GetParent(hOther));
  ::PostMessageW(hSheet, WM_CLOSE, 0, 0);
}

const char* const kColumnNames[kColumns] = {"device",       "start time", "end time", "average",  "address",
                                            "address port", "port",       "codec",    "duration", "counter"};

}  // namespace

int wmain() {
  if (!RunInRecordLogSheet("record log page benchmark", &g_pPage, &RunInSheet)) return 1;
  if (!g_ran) {
    std::printf("the page's sheet did not run\n");
    return 1;
  }
  if (g_setupFailure) {
    std::printf("%s\n", g_setupFailure);
    return 1;
  }

  const double page = Median(g_ticks.page) * 1000, naive = Median(g_ticks.naive) * 1000;
  std::printf("\n1. one tick: %d ended streams into a full history of %d (the trim erases %d), %d rounds, medians\n",
              kEnded, kHistory, kEnded, kTickRounds);
  std::printf("   round   page ms   naive ms\n");
  for (size_t i = 0; i < g_ticks.page.size(); ++i) {
    std::printf("   %5u  %8.2f  %9.1f\n", static_cast<unsigned>(i + 1), g_ticks.page[i] * 1000,
                g_ticks.naive[i] * 1000);
  }
  std::printf("   page tick:  %.2f ms (target < 50 ms)\n", page);
  std::printf("   naive tick: %.1f ms\n", naive);
  std::printf("   ratio naive / page: %.0f (target >= 100)\n", naive / page);
  std::printf("   rows and records: %s\n", g_ticks.ok ? "the same on both, in order" : g_ticks.failure);

  std::printf("\n2. sorting %d rows by a header click, against LVM_SORTITEMS of the same rows with an integer"
              " comparator; medians of %d sweeps\n",
              kHistory, kSortSweeps);
  std::printf("   column        page ms  bare ms  page/bare  comparisons"
              "  list sort by CompareRecords ms  header marks ms  id read-back ms\n");
  double worst = 0;
  std::string over;
  for (int col = 0; col < kColumns; ++col) {
    const double p = Median(g_sorts.page[col]) * 1000, b = Median(g_sorts.bare[col]) * 1000;
    const bool bOver = p / b > kSortTarget;
    worst = std::max(worst, p / b);
    if (bOver) over += std::string(over.empty() ? "" : ", ") + kColumnNames[col];
    std::printf("   %-12s %8.3f %8.3f %10.2f %12llu %31.3f %16.3f %16.3f%s\n", kColumnNames[col], p, b, p / b,
                g_sorts.comparisons[col], Median(g_sorts.compareOnly[col]) * 1000, Median(g_sorts.marks[col]) * 1000,
                Median(g_sorts.readBack[col]) * 1000, bOver ? "  ABOVE TARGET" : "");
  }
  std::printf("   worst page/bare: %.2f (target <= %.1f for every column)\n", worst, kSortTarget);
  std::printf("   columns above the target: %s\n", over.empty() ? "none" : over.c_str());
  std::printf("   rows after each click: %s\n",
              g_sorts.ok ? "in the columns' order, and as the list's own sort by CompareRecords leaves them" : "WRONG");
  std::printf("\none list notification dispatched by the page: %.1f us\n", g_notification * 1e6);
  std::printf("message boxes answered during the run: %d\n", g_messageBoxes);
  return g_ticks.ok && g_sorts.ok ? 0 : 1;
}
