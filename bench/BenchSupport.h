#pragma once
// What every benchmark program needs: a clock, medians, files beside the program
// and message boxes answered so that a run never stops on one. Header-only: each
// benchmark is one program of its own.

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace bench {

// Seconds on the performance counter.
inline double Now() {
  LARGE_INTEGER f, c;
  ::QueryPerformanceFrequency(&f);
  ::QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// A file in the running program's folder.
inline std::wstring BinFile(const wchar_t* name) {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring file(path, n);
  return file.substr(0, file.find_last_of(L"\\/") + 1) + name;
}

// Message boxes answered with OK during the run (a CBT hook of this thread's).
inline int g_messageBoxes = 0;
inline LRESULT CALLBACK AnswerBoxes(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    HWND hWnd = reinterpret_cast<HWND>(wParam);
    if (::IsWindow(hWnd) && ::GetDlgItem(hWnd, 0xFFFF) && !::GetPropW(hWnd, L"bench.answered")) {
      ::SetPropW(hWnd, L"bench.answered", reinterpret_cast<HANDLE>(1));
      ++g_messageBoxes;
      ::PostMessageW(hWnd, WM_COMMAND, IDOK, 0);
    }
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace bench
