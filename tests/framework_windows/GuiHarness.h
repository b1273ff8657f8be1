#pragma once
// Helpers of the window tests: the resource module, a script run inside a modal
// loop, and message boxes answered from a WH_CBT hook inside their own loop.

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

namespace gui_test {

// Loads bin\enu\DelvoraRes.dll (tests run in bin) and makes it the resource
// handle; returns it (null when missing).
HMODULE UseResourceModule();

// Runs a script once from a thread timer, that is inside whatever modal loop runs
// next on this thread (a sheet's or a dialog's DoModal). Made before DoModal and
// kept past it: the test fails when the script has not run by the time the object
// goes, since a window that never came up would otherwise pass every check in it.
// A script left by a failed ASSERT closes the thread's windows, ending the loop.
class ModalScript {
public:
  explicit ModalScript(std::function<void()> script);
  ~ModalScript();
  ModalScript(const ModalScript&) = delete;
  ModalScript& operator=(const ModalScript&) = delete;

private:
  UINT_PTR m_timer;
};

// Pumps this thread's messages for about `ms` milliseconds, or until `done`.
void PumpMessages(DWORD ms, const std::function<bool()>& done = nullptr);

// Answers every message box shown on this thread while alive: records its text and
// caption and presses `button` (IDOK by default). Other top-level dialogs that
// become active are recorded in `otherWindows` and left alone.
class MessageBoxAnswerer {
public:
  explicit MessageBoxAnswerer(int button = IDOK);
  ~MessageBoxAnswerer();
  MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
  MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

  struct Box {
    std::wstring text;
    std::wstring caption;
    HWND owner;
  };
  std::vector<Box> boxes;
  std::vector<HWND> otherWindows;
  std::vector<std::wstring> otherClasses;  // their window classes, read when they came
  // Called with each box's index before the box is answered.
  std::function<void(size_t)> onBox;
  // Called once for each other top-level window that becomes active.
  std::function<void(HWND)> onOtherWindow;
  int button;

private:
  static LRESULT CALLBACK CbtProc(int nCode, WPARAM wParam, LPARAM lParam);
  HHOOK m_hook;
  MessageBoxAnswerer* m_pOuter;
};

// The text of a window.
std::wstring WindowText(HWND hWnd);
// Sends WM_COMMAND for a menu command (notification 0, no control).
void SendMenuCommand(HWND hWnd, UINT id);
// Texts of a list view cell.
std::wstring ListText(HWND hList, int row, int column);
int ListImage(HWND hList, int row);
LPARAM ListData(HWND hList, int row);
// Format and image of a header item.
int HeaderFormat(HWND hHeader, int item);
int HeaderImage(HWND hHeader, int item);
// Sends a column-click notification as the list would.
void ClickColumn(HWND hPage, HWND hList, int column);
// Clicks a list's column header with the mouse (the list then notifies its parent).
void ClickHeader(HWND hList, int column);
// Clicks a button the way the user does (BM_CLICK).
void ClickButton(HWND hButton);
// A save-file dialog that came up on this thread is answered from a thread timer
// inside its own loop: `path` typed into its file-name field and OK pressed. Still
// up seconds later (the name was refused), it is cancelled and the test fails.
void AnswerFileDialog(HWND hDialog, const std::wstring& path);
// Presses Ctrl+key in hTarget as a sheet's or dialog's modal loop handles the key:
// IsDialogMessage on hDialog first, then translated and dispatched.
void PressCtrlKey(HWND hDialog, HWND hTarget, UINT vk);
// The clipboard's Unicode text (empty when it has none); and a text put there for
// hOwner (the clipboard takes no data from a null owner).
std::wstring ClipboardText();
void SetClipboardText(HWND hOwner, const std::wstring& text);

}  // namespace gui_test
