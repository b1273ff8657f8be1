// Global page graphs under Wine, measured side by side in one run:
//   1. one paint of a graph of 1,800 samples (the 60-minute span of a full
//      history; invalidated and painted at once) against one LVM_REDRAWITEMS of
//      the device list's visible rows and its UpdateWindow, round by round in the
//      same sheet (targets: graph <= 2 ms and graph / list <= 1);
//   2. the driver-wide requests over the same stretch of pumped time: the main
//      sheet on the global page (the page's refresh and the sampling) against the
//      global page alone in a plain sheet (its refresh only), and the main sheet on
//      the device page (the sampling only), counted through the CDeviceAccess seam
//      (target: the sampling adds at most one request per two seconds).
// Needs a display, not the driver. Run from bin: wine global_graph_bench.exe

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <functional>
#include <vector>

#include "app/MainSheet.h"
#include "bench/BenchSupport.h"
#include "framework/PropertySheet.h"
#include "framework/Resource.h"
#include "resources/resource.h"
#include "resources/resource.h"
#include "stats/ListPage.h"

using namespace bench;

namespace {

const int kDevices = 64;
const int kRounds = 21;
const int kRepeats = 9;        // timed paints of each kind per round
const DWORD kPumpMs = 20000;   // pumped time per request count

// Devices with a stream each, and a driver-wide record whose counts move on with
// every request, two seconds of driver time apart.
class CBenchDriver : public CDeviceAccess {
public:
  int GetDeviceCount() override { return kDevices; }
  HRESULT QueryWaveInCounters(int nDevice, WaveCounters& record) override {
    record = WaveCounters();
    record.Active = 1;
    record.Total = 1000LL * (nDevice + 1);
    record.PacketCount = 50;
    record.Port = static_cast<unsigned short>(5000 + nDevice);
    record.Codec = 7;
    return S_OK;
  }
  HRESULT QueryWaveOutCounters(int nDevice, WaveCounters& record) override {
    record = WaveCounters();
    record.Address = 0x0100000Au + static_cast<unsigned>(nDevice);
    record.AddressPort = 9000;
    return S_OK;
  }
  HRESULT QueryGlobalCounters(GlobalCounters& record, FILETIME& stamp) override {
    const unsigned int n = ++m_nGlobal;
    m_record.Counter1 = 20 + n % 17;
    m_record.Counter2 += n % 3;
    m_record.Counter3 += 4000 + (n * 7919u) % 1500;
    m_record.Counter4 += n % 7 == 0 ? 3 : 0;
    record = m_record;
    const ULONGLONG nTime = 133500000000000000ULL + 20000000ULL * n;
    stamp = {static_cast<DWORD>(nTime), static_cast<DWORD>(nTime >> 32)};
    return S_OK;
  }
  unsigned int m_nGlobal = 0;

private:
  GlobalCounters m_record = {};
};

// Runs a script once from inside the next modal loop of this thread.
std::function<void()> g_script;
void RunInLoop(std::function<void()> script) {
  g_script = std::move(script);
  ::SetTimer(nullptr, 0, 1, [](HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    std::function<void()> script = std::move(g_script);
    script();
  });
}

void Pump(DWORD ms) {
  const DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < ms) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

// Milliseconds of one call of `work`, the median of kRepeats.
double MedianMs(const std::function<void()>& work) {
  std::vector<double> times;
  for (int i = 0; i < kRepeats; ++i) {
    const double t0 = Now();
    work();
    times.push_back((Now() - t0) * 1000);
  }
  return Median(times);
}

// The driver-wide requests a sheet makes over kPumpMs with page nPage shown.
unsigned int CountRequests(CPropertySheet& sheet, CBenchDriver& driver, int nPage) {
  RunInLoop([&] {
    ::SendMessageW(sheet.m_hWnd, PSM_SETCURSEL, static_cast<WPARAM>(nPage), 0);
    driver.m_nGlobal = 0;
    Pump(kPumpMs);
    ::PostMessageW(sheet.m_hWnd, WM_CLOSE, 0, 0);
  });
  sheet.DoModal();
  return driver.m_nGlobal;
}

}  // namespace

int wmain() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  HHOOK hBoxes = ::SetWindowsHookExW(WH_CBT, &AnswerBoxes, nullptr, ::GetCurrentThreadId());
  std::printf("global page graph benchmark\n");
  HMODULE hRes = ::LoadLibraryW(BinFile(L"enu\\DelvoraRes.dll").c_str());
  if (!hRes) {
    std::printf("enu\\DelvoraRes.dll missing\n");
    return 1;
  }
  AfxSetResourceHandle(hRes);

  // 1. A graph of a full history against the device list's visible rows.
  std::vector<double> graphMs, listMs, ratios;
  int nVisibleRows = 0, nSamples = 0;
  {
    CBenchDriver driver;
    CMainSheet sheet(L"Delvora");
    sheet.SetDeviceAccess(&driver);
    RunInLoop([&] {
      const HWND hSheet = sheet.m_hWnd;
      // The bench fills the history itself, an hour of samples at once.
      ::KillTimer(hSheet, CMainSheet::IDT_HISTORY_SAMPLE);
      ::SendMessageW(hSheet, PSM_SETCURSEL, 0, 0);
      ::SendMessageW(::GetDlgItem(sheet.m_pageGlobal.m_hWnd, IDC_GRAPH_SPAN_60), BM_CLICK, 0, 0);
      for (int i = 0; i < CGlobalHistory::kCapacity; ++i) {
        ::SendMessageW(hSheet, WM_TIMER, CMainSheet::IDT_HISTORY_SAMPLE, 0);
      }
      nSamples = sheet.GetHistory().GetCount();
      ::SendMessageW(hSheet, PSM_SETCURSEL, 1, 0);
      ::SendMessageW(sheet.m_pageDevice.m_hWnd, WM_TIMER, IDT_REFRESH, 0);
      const HWND hList = sheet.m_pageDevice.m_listDevices.m_hWnd;
      const HWND hGraph = sheet.m_pageGlobal.m_graphTraffic.m_hWnd;
      for (int round = 0; round < kRounds; ++round) {
        ::SendMessageW(hSheet, PSM_SETCURSEL, 0, 0);
        ::UpdateWindow(hSheet);
        const double graph = MedianMs([&] {
          ::InvalidateRect(hGraph, nullptr, FALSE);
          ::UpdateWindow(hGraph);
        });
        ::SendMessageW(hSheet, PSM_SETCURSEL, 1, 0);
        ::UpdateWindow(hSheet);
        const int nTop = static_cast<int>(::SendMessageW(hList, LVM_GETTOPINDEX, 0, 0));
        nVisibleRows = static_cast<int>(::SendMessageW(hList, LVM_GETCOUNTPERPAGE, 0, 0));
        const double list = MedianMs([&] {
          ::SendMessageW(hList, LVM_REDRAWITEMS, static_cast<WPARAM>(nTop), nTop + nVisibleRows - 1);
          ::UpdateWindow(hList);
        });
        if (round == 0) continue;  // the first round warms the caches
        graphMs.push_back(graph);
        listMs.push_back(list);
        ratios.push_back(graph / list);
      }
      ::PostMessageW(hSheet, WM_CLOSE, 0, 0);
    });
    sheet.DoModal();
  }
  if (graphMs.empty() || nSamples != CGlobalHistory::kCapacity) {
    std::printf("nothing was measured: the sheet did not run or the history did not fill (%d samples)\n", nSamples);
    return 1;
  }
  std::printf("paint of a graph of %d samples (60-minute span): median %.3f ms over %d rounds (target <= 2 ms)\n",
              nSamples, Median(graphMs), kRounds - 1);
  std::printf("LVM_REDRAWITEMS of the device list's %d visible rows + UpdateWindow: median %.3f ms\n", nVisibleRows,
              Median(listMs));
  std::printf("ratio graph / list: %.3f the median of the rounds' ratios (target <= 1)\n", Median(ratios));

  // 2. Driver-wide requests over the same pumped time.
  CBenchDriver sampledDriver, plainDriver, deviceDriver;
  CMainSheet sampled(L"Delvora");
  sampled.SetDeviceAccess(&sampledDriver);
  const unsigned int nSampledGlobal = CountRequests(sampled, sampledDriver, 0);
  CGlobalPage page;
  page.SetDeviceAccess(&plainDriver);
  CPropertySheet plain(L"Global");
  plain.AddPage(&page);
  const unsigned int nPlainGlobal = CountRequests(plain, plainDriver, 0);
  CMainSheet onDevices(L"Delvora");
  onDevices.SetDeviceAccess(&deviceDriver);
  const unsigned int nSampledOnly = CountRequests(onDevices, deviceDriver, 1);
  const double periods = kPumpMs / 2000.0;
  std::printf("driver-wide requests in %.0f s: main sheet on the global page %u, the page alone %u, main sheet on the"
              " device page %u\n", kPumpMs / 1000.0, nSampledGlobal, nPlainGlobal, nSampledOnly);
  std::printf("requests the sampling adds per two seconds: %.2f on the global page, %.2f on the device page"
              " (target <= 1)\n", (nSampledGlobal - nPlainGlobal) / periods, nSampledOnly / periods);
  ::UnhookWindowsHookEx(hBoxes);
  std::printf("message boxes answered during the run: %d\n", g_messageBoxes);
  return 0;
}
