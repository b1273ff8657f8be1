#pragma once
// The record log page's benchmarks run inside its sheet: the English resources,
// message boxes answered, the page in a sheet of its own and the measures run
// from a thread timer inside the sheet's loop.

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <vector>

#include "bench/BenchSupport.h"
#include "framework/PropertySheet.h"
#include "framework/Resource.h"
#include "record/RecordLogPage.h"
#include "resources/resource.h"

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

// The history size 2000 through the page's own dialog, answered inside its loop.
// False when the page did not take it.
inline bool SetHistorySize2000(HWND hPage, const CRecordLogPage& page) {
  ::SetTimer(nullptr, 0, 1, [](HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    HWND hDlg = ::GetActiveWindow();
    ::SetDlgItemTextW(hDlg, IDC_HISTORY_SIZE, L"2000");
    ::SendMessageW(::GetDlgItem(hDlg, IDOK), BM_CLICK, 0, 0);
  });
  ::SendMessageW(hPage, WM_COMMAND, MAKEWPARAM(ID_HISTORY_SIZE, 0), 0);
  return page.GetMaxRecords() == 2000;
}

// A list view like `hModel` (styles, font, columns) in a window of its own beside
// `hOwner`.
inline HWND MakeListLike(HWND hModel, HWND hOwner) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = &::DefWindowProcW;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"RecordLogBenchHost";
  ::RegisterClassW(&wc);
  RECT rc = {};
  ::GetClientRect(hModel, &rc);
  RECT owner = {};
  ::GetWindowRect(hOwner, &owner);
  HWND hHost = ::CreateWindowExW(0, wc.lpszClassName, L"bench list", WS_POPUP | WS_BORDER, owner.right + 4, owner.top,
                                 rc.right + 2, rc.bottom + 2, hOwner, nullptr, wc.hInstance, nullptr);
  if (!hHost) return nullptr;
  const DWORD style = static_cast<DWORD>(::GetWindowLongW(hModel, GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(::GetWindowLongW(hModel, GWL_EXSTYLE));
  HWND hList = ::CreateWindowExW(exStyle, WC_LISTVIEWW, L"", style, 0, 0, rc.right, rc.bottom, hHost,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(1)), wc.hInstance, nullptr);
  if (!hList) return nullptr;
  ::SendMessageW(hList, WM_SETFONT, static_cast<WPARAM>(::SendMessageW(hModel, WM_GETFONT, 0, 0)), FALSE);
  ::SendMessageW(hList, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, ::SendMessageW(hModel, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
  for (int col = 0; col < Header_GetItemCount(ListView_GetHeader(hModel)); ++col) {
    wchar_t title[128] = {};
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.pszText = title;
    column.cchTextMax = 128;
    ::SendMessageW(hModel, LVM_GETCOLUMNW, static_cast<WPARAM>(col), reinterpret_cast<LPARAM>(&column));
    ::SendMessageW(hList, LVM_INSERTCOLUMNW, static_cast<WPARAM>(col), reinterpret_cast<LPARAM>(&column));
  }
  ::ShowWindow(hHost, SW_SHOWNOACTIVATE);
  return hList;
}

// A list emptied and filled with rows of the given item data, texts on demand,
// with redraw off meanwhile: the bare work a page's list change is measured against.
inline void FillRows(HWND hList, const std::vector<LPARAM>& data) {
  ::SendMessageW(hList, WM_SETREDRAW, FALSE, 0);
  ::SendMessageW(hList, LVM_DELETEALLITEMS, 0, 0);
  for (size_t row = 0; row < data.size(); ++row) {
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = static_cast<int>(row);
    item.pszText = LPSTR_TEXTCALLBACKW;
    item.lParam = data[row];
    ::SendMessageW(hList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  }
  ::SendMessageW(hList, WM_SETREDRAW, TRUE, 0);
}

}  // namespace bench
