// Measures the counted string's pooled storage against HeapAlloc/HeapFree of the
// same sizes, and its shared copy against std::wstring's. Each round times both
// kinds back to back (alternating which goes first), so drift in the machine's load
// touches both alike; the result is the median of the rounds' ratios.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "support/CountedString.h"

namespace {

constexpr int kSlots = 256;             // texts alive at once in each thread
constexpr int kOpsPerThread = 400000;   // replacements per thread and round
constexpr int kMaxLength = 2048;
constexpr int kCopies = 2000000;

// The mix of lengths: mostly under 64 characters (85 %), some up to 512 (13 %), a
// few above (2 %, up to 2048).
std::vector<int> MakeLengths() {
  std::vector<int> lengths(1 << 16);
  unsigned seed = 12345;
  for (int& n : lengths) {
    seed = seed * 1103515245u + 12345u;
    const unsigned r = (seed >> 8) % 100;
    const unsigned v = seed >> 16;
    n = r < 85 ? 1 + static_cast<int>(v % 63) : r < 98 ? 64 + static_cast<int>(v % 449)
                                                      : 513 + static_cast<int>(v % (kMaxLength - 512));
  }
  return lengths;
}

const std::vector<int> g_lengths = MakeLengths();
const std::wstring g_source(kMaxLength, L'q');

// Texts of each length, NUL-terminated, for the strings' constructors.
const std::vector<std::wstring>& Texts() {
  static const std::vector<std::wstring> texts = [] {
    std::vector<std::wstring> v(kMaxLength + 1);
    for (int n = 0; n <= kMaxLength; ++n) v[n] = g_source.substr(0, n);
    return v;
  }();
  return texts;
}

// Each step drops one text and makes another of the next length, filled with a
// known number of characters (so the runtime's one-character-a-loop wcslen, the
// same on both sides, does not drown what is measured).
DWORD WINAPI PoolWork(void* pParam) {
  const size_t nStart = reinterpret_cast<size_t>(pParam);
  std::vector<CCountedString> slots(kSlots);
  for (int i = 0; i < kOpsPerThread; ++i) {
    const int n = g_lengths[(nStart + i) & 0xFFFF];
    CCountedString& slot = slots[(i * 7) % kSlots];
    slot.Empty();
    wmemcpy(slot.SetWriteLength(n), g_source.c_str(), n);
  }
  return 0;
}

// The same work on the heap: a header, the characters and a NUL, as the string lays
// them out.
DWORD WINAPI HeapWork(void* pParam) {
  const size_t nStart = reinterpret_cast<size_t>(pParam);
  const HANDLE hHeap = ::GetProcessHeap();
  std::vector<CStringHeader*> slots(kSlots, nullptr);
  for (int i = 0; i < kOpsPerThread; ++i) {
    const int n = g_lengths[(nStart + i) & 0xFFFF];
    CStringHeader*& slot = slots[(i * 7) % kSlots];
    if (slot) ::HeapFree(hHeap, 0, slot);
    slot = static_cast<CStringHeader*>(::HeapAlloc(hHeap, 0, sizeof(CStringHeader) + (n + 1) * sizeof(wchar_t)));
    if (!slot) return 1;
    slot->nReferences = 1;
    slot->nLength = n;
    slot->nCapacity = n;
    slot->Text()[n] = L'\0';
    wmemcpy(slot->Text(), g_source.c_str(), n);
  }
  for (CStringHeader* p : slots)
    if (p) ::HeapFree(hHeap, 0, p);
  return 0;
}

double RunThreads(LPTHREAD_START_ROUTINE pfnWork, int nThreads) {
  std::vector<HANDLE> threads;
  const double t0 = bench::Now();
  for (int i = 0; i < nThreads; ++i) {
    HANDLE h = ::CreateThread(nullptr, 0, pfnWork, reinterpret_cast<void*>(static_cast<size_t>(i) * 9973), 0,
                              nullptr);
    if (!h) {
      fprintf(stderr, "counted_string_bench: CreateThread failed\n");
      exit(1);
    }
    threads.push_back(h);
  }
  ::WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, INFINITE);
  const double t1 = bench::Now();
  for (HANDLE h : threads) ::CloseHandle(h);
  return t1 - t0;
}

template <typename T>
__attribute__((noinline)) size_t Touch(const T& value) {
  asm volatile("" : : "r"(&value) : "memory");
  return 1;
}

template <typename T>
double TimeCopies(const T& source) {
  size_t nSink = 0;
  const double t0 = bench::Now();
  for (int i = 0; i < kCopies; ++i) {
    T copy(source);
    nSink += Touch(copy);
  }
  const double t1 = bench::Now();
  if (nSink != static_cast<size_t>(kCopies)) exit(1);
  return t1 - t0;
}

struct CComparison {
  const char* pszName;
  std::vector<double> pool, heap, ratios;
};

void Report(const CComparison& c, const char* pszOurs, const char* pszTheirs, double dMinimum) {
  printf("%-34s %s %8.1f ms, %s %8.1f ms (medians); ratio %.2f (median of rounds, at least %.1f: %s)\n",
         c.pszName, pszOurs, bench::Median(c.pool) * 1000, pszTheirs, bench::Median(c.heap) * 1000,
         bench::Median(c.ratios), dMinimum, bench::Median(c.ratios) >= dMinimum ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
  const int nRounds = argc > 1 ? atoi(argv[1]) : 9;
  if (nRounds < 1 || nRounds > 1000) {
    fprintf(stderr, "usage: counted_string_bench [rounds, 1..1000]\n");
    return 2;
  }
  Texts();
  CComparison one = {"alloc+free, 1 thread", {}, {}, {}};
  CComparison four = {"alloc+free, 4 threads", {}, {}, {}};
  CComparison copy = {"copy of 40 characters", {}, {}, {}};
  const CCountedString strCounted(Texts()[40].c_str());
  const std::wstring strStd = Texts()[40];
  RunThreads(&PoolWork, 1);  // warm up: the pools' chunks and the heap's
  RunThreads(&HeapWork, 1);

  for (int round = 0; round < nRounds; ++round) {
    const bool bPoolFirst = round % 2 == 0;
    for (CComparison* pc : {&one, &four}) {
      const int nThreads = pc == &one ? 1 : 4;
      double dPool = 0, dHeap = 0;
      if (bPoolFirst) dPool = RunThreads(&PoolWork, nThreads);
      dHeap = RunThreads(&HeapWork, nThreads);
      if (!bPoolFirst) dPool = RunThreads(&PoolWork, nThreads);
      pc->pool.push_back(dPool);
      pc->heap.push_back(dHeap);
      pc->ratios.push_back(dHeap / dPool);
    }
    double dCounted = 0, dStd = 0;
    if (bPoolFirst) dCounted = TimeCopies(strCounted);
    dStd = TimeCopies(strStd);
    if (!bPoolFirst) dCounted = TimeCopies(strCounted);
    copy.pool.push_back(dCounted);
    copy.heap.push_back(dStd);
    copy.ratios.push_back(dStd / dCounted);
  }
  printf("%d rounds; %d replacements per thread and round, %d copies per round\n", nRounds, kOpsPerThread,
         kCopies);
  Report(one, "pools", "heap", 1.5);
  Report(four, "pools", "heap", 1.5);
  Report(copy, "counted", "wstring", 2.0);
  return 0;
}
