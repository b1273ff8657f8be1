#pragma once
// The record log page's benchmarks run inside its sheet: the English resources,
// message boxes answered, the page in a sheet of its own and the measures run
// from a thread timer inside the sheet's loop.

#include <windows.h>
#include <commctrl.h>

#include <cstdio>

#include "bench/BenchSupport.h"
#include "framework/PropertySheet.h"
#include "framework/Resource.h"
#include "record/RecordLogPage.h"

namespace bench {

// Prints the title, then runs pfnRun once inside the loop of a sheet that holds
// only the page, which *ppPage names meanwhile. False when the resources are missing.
inline bool RunInRecordLogSheet(const char* pszTitle, CRecordLogPage** ppPage, TIMERPROC pfnRun) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LISTVIEW_CLASSES};
  ::InitCommonControlsEx(&icc);
  std::printf("%s\n", pszTitle);
  HMODULE hRes = ::LoadLibraryW(BinFile(L"enu\\DelvoraRes.dll").c_str());
  if (!hRes) {
    std::printf("enu\\DelvoraRes.dll missing\n");
    return false;
  }
  AfxSetResourceHandle(hRes);
  HHOOK hBoxes = ::SetWindowsHookExW(WH_CBT, &AnswerBoxes, nullptr, ::GetCurrentThreadId());
  {
    CRecordLogPage page;
    CPropertySheet sheet(L"Record Log");
    sheet.AddPage(&page);
    *ppPage = &page;
    ::SetTimer(nullptr, 0, 1, pfnRun);
    sheet.DoModal();
    *ppPage = nullptr;
  }
  ::UnhookWindowsHookEx(hBoxes);
  return true;
}

}  // namespace bench
