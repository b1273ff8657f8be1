#include "tests/framework_windows/GuiHarness.h"

#include <dlgs.h>

#include <gtest/gtest.h>

#include <cstring>

#include "framework/Resource.h"

namespace gui_test {

namespace {

std::function<void()> g_script;
MessageBoxAnswerer* g_pAnswerer = nullptr;

BOOL CALLBACK CloseTopLevelWindow(HWND hWnd, LPARAM) {
  if (::IsWindowVisible(hWnd)) ::PostMessageW(hWnd, WM_CLOSE, 0, 0);
  return TRUE;
}

void CALLBACK ScriptTimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  ::KillTimer(nullptr, id);
  std::function<void()> script;
  script.swap(g_script);
  if (script) script();
  // A failed ASSERT leaves the script before it closes its window: closed here,
  // the test reports the failure instead of waiting for its timeout.
  if (::testing::Test::HasFatalFailure()) ::EnumThreadWindows(::GetCurrentThreadId(), &CloseTopLevelWindow, 0);
}

bool IsMessageBox(HWND hWnd) {
  wchar_t cls[64] = {};
  ::GetClassNameW(hWnd, cls, 64);
  // A message box is a dialog whose text is the static control 0xFFFF.
  return std::wstring(cls) == L"#32770" && ::GetDlgItem(hWnd, 0xFFFF) != nullptr;
}

}  // namespace

HMODULE UseResourceModule() {
  static HMODULE hModule = ::LoadLibraryW(L"enu\\DelvoraRes.dll");
  if (hModule) AfxSetResourceHandle(hModule);
  return hModule;
}

ModalScript::ModalScript(std::function<void()> script) {
  g_script = std::move(script);
  m_timer = ::SetTimer(nullptr, 0, 1, &ScriptTimerProc);
}

ModalScript::~ModalScript() {
  if (!g_script) return;
  ::KillTimer(nullptr, m_timer);
  g_script = nullptr;
  ADD_FAILURE() << "the modal loop never ran the test's script (no window came up)";
}

void PumpMessages(DWORD ms, const std::function<bool()>& done) {
  const DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < ms) {
    if (done && done()) return;
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        ::PostQuitMessage(static_cast<int>(msg.wParam));
        return;
      }
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    if (done && done()) return;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

MessageBoxAnswerer::MessageBoxAnswerer(int buttonToPress)
    : button(buttonToPress), m_hook(nullptr), m_pOuter(g_pAnswerer) {
  g_pAnswerer = this;
  m_hook = ::SetWindowsHookExW(WH_CBT, &MessageBoxAnswerer::CbtProc, nullptr, ::GetCurrentThreadId());
}

MessageBoxAnswerer::~MessageBoxAnswerer() {
  if (m_hook) ::UnhookWindowsHookEx(m_hook);
  g_pAnswerer = m_pOuter;
}

LRESULT CALLBACK MessageBoxAnswerer::CbtProc(int nCode, WPARAM wParam, LPARAM lParam) {
  MessageBoxAnswerer* self = g_pAnswerer;
  if (self && nCode == HCBT_ACTIVATE) {
    HWND hWnd = reinterpret_cast<HWND>(wParam);
    if (!::IsWindow(hWnd)) {
      // Wine reports some activations without a window.
    } else if (IsMessageBox(hWnd)) {
      Box box{WindowText(::GetDlgItem(hWnd, 0xFFFF)), WindowText(hWnd), ::GetWindow(hWnd, GW_OWNER)};
      // Activation can come more than once for one box; record it once.
      if (::GetPropW(hWnd, L"gui_test.answered") == nullptr) {
        ::SetPropW(hWnd, L"gui_test.answered", reinterpret_cast<HANDLE>(1));
        self->boxes.push_back(box);
        if (self->onBox) self->onBox(self->boxes.size() - 1);
        ::PostMessageW(hWnd, WM_COMMAND, MAKEWPARAM(self->button, BN_CLICKED), 0);
      }
    } else if (::GetParent(hWnd) == nullptr || (::GetWindowLongW(hWnd, GWL_STYLE) & WS_CHILD) == 0) {
      bool known = false;
      for (HWND h : self->otherWindows) known = known || h == hWnd;
      if (!known) {
        self->otherWindows.push_back(hWnd);
        wchar_t cls[64] = {};
        ::GetClassNameW(hWnd, cls, 64);
        self->otherClasses.push_back(cls);
        if (self->onOtherWindow) self->onOtherWindow(hWnd);
      }
    }
  }
  return ::CallNextHookEx(nullptr, nCode, wParam, lParam);
}

std::wstring WindowText(HWND hWnd) {
  if (!hWnd) return std::wstring();
  const int n = ::GetWindowTextLengthW(hWnd);
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  const int got = ::GetWindowTextW(hWnd, &text[0], n + 1);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

void SendMenuCommand(HWND hWnd, UINT id) { ::SendMessageW(hWnd, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

std::wstring ListText(HWND hList, int row, int column) {
  wchar_t buf[512] = {};
  LVITEMW item = {};
  item.iSubItem = column;
  item.pszText = buf;
  item.cchTextMax = 512;
  ::SendMessageW(hList, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  return buf;
}

namespace {

// The row's item with the fields of `mask`; false when there is no such row.
bool GetListItem(HWND hList, int row, UINT mask, LVITEMW& item) {
  item = LVITEMW();
  item.mask = mask;
  item.iItem = row;
  return ::SendMessageW(hList, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) != 0;
}

}  // namespace

int ListImage(HWND hList, int row) {
  LVITEMW item;
  return GetListItem(hList, row, LVIF_IMAGE, item) ? item.iImage : -100;
}

LPARAM ListData(HWND hList, int row) {
  LVITEMW item;
  return GetListItem(hList, row, LVIF_PARAM, item) ? item.lParam : -100;
}

int HeaderFormat(HWND hHeader, int index) {
  HDITEMW item = {};
  item.mask = HDI_FORMAT;
  ::SendMessageW(hHeader, HDM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
  return item.fmt;
}

int HeaderImage(HWND hHeader, int index) {
  HDITEMW item = {};
  item.mask = HDI_IMAGE;
  ::SendMessageW(hHeader, HDM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
  return item.iImage;
}

void ClickColumn(HWND hPage, HWND hList, int column) {
  NMLISTVIEW nm = {};
  nm.hdr.hwndFrom = hList;
  nm.hdr.idFrom = static_cast<UINT_PTR>(::GetDlgCtrlID(hList));
  nm.hdr.code = LVN_COLUMNCLICK;
  nm.iItem = -1;
  nm.iSubItem = column;
  ::SendMessageW(hPage, WM_NOTIFY, nm.hdr.idFrom, reinterpret_cast<LPARAM>(&nm));
}

void ClickHeader(HWND hList, int column) {
  HWND hHeader = reinterpret_cast<HWND>(::SendMessageW(hList, LVM_GETHEADER, 0, 0));
  RECT rc = {};
  ::SendMessageW(hHeader, HDM_GETITEMRECT, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&rc));
  const LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
  ::SendMessageW(hHeader, WM_LBUTTONDOWN, MK_LBUTTON, at);
  ::SendMessageW(hHeader, WM_LBUTTONUP, 0, at);
}

void ClickButton(HWND hButton) { ::SendMessageW(hButton, BM_CLICK, 0, 0); }

namespace {

HWND g_hFileDialog = nullptr;
std::wstring g_fileToChoose;
int g_fileDialogTicks = 0;

void CALLBACK DriveFileDialog(HWND, UINT, UINT_PTR id, DWORD) {
  if (!::IsWindow(g_hFileDialog)) {
    ::KillTimer(nullptr, id);
    return;
  }
  if (++g_fileDialogTicks == 1) {
    HWND hName = ::GetDlgItem(g_hFileDialog, cmb13);
    if (!hName) hName = ::GetDlgItem(g_hFileDialog, edt1);
    EXPECT_NE(nullptr, hName) << "no file-name field in the save-file dialog";
    ::SetWindowTextW(hName, g_fileToChoose.c_str());
    ::PostMessageW(g_hFileDialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  } else if (g_fileDialogTicks == 40) {
    ADD_FAILURE() << "the save-file dialog did not take the name";
    ::PostMessageW(g_hFileDialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  }
}

}  // namespace

void AnswerFileDialog(HWND hDialog, const std::wstring& path) {
  g_hFileDialog = hDialog;
  g_fileToChoose = path;
  g_fileDialogTicks = 0;
  ::SetTimer(nullptr, 0, 100, &DriveFileDialog);
}

void PressCtrlKey(HWND hDialog, HWND hTarget, UINT vk) {
  BYTE saved[256] = {};
  ::GetKeyboardState(saved);
  BYTE keys[256];
  memcpy(keys, saved, sizeof(keys));
  keys[VK_CONTROL] = keys[VK_LCONTROL] = 0x80;
  ::SetKeyboardState(keys);
  MSG msg = {};
  msg.hwnd = hTarget;
  msg.message = WM_KEYDOWN;
  msg.wParam = vk;
  msg.lParam = 1;
  if (!::IsDialogMessageW(hDialog, &msg)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  ::SetKeyboardState(saved);
}

std::wstring ClipboardText() {
  std::wstring text;
  if (!::OpenClipboard(nullptr)) return text;
  if (HANDLE hData = ::GetClipboardData(CF_UNICODETEXT)) {
    if (const wchar_t* p = static_cast<const wchar_t*>(::GlobalLock(hData))) {
      text = p;
      ::GlobalUnlock(hData);
    }
  }
  ::CloseClipboard();
  return text;
}

void SetClipboardText(HWND hOwner, const std::wstring& text) {
  if (!::OpenClipboard(hOwner)) return;
  ::EmptyClipboard();
  HGLOBAL hData = ::GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
  if (wchar_t* p = hData ? static_cast<wchar_t*>(::GlobalLock(hData)) : nullptr) {
    memcpy(p, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    ::GlobalUnlock(hData);
    if (::SetClipboardData(CF_UNICODETEXT, hData)) hData = nullptr;
  }
  if (hData) ::GlobalFree(hData);
  ::CloseClipboard();
}

}  // namespace gui_test
