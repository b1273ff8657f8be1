#pragma once
// CWinApp: the one application object. The framework's entry (wWinMain, link
// with -municode) runs the global object that the program defines:
// InitApplication, then InitInstance; when InitInstance returns FALSE the
// program ends through ExitInstance without a message loop of its own, else Run
// pumps messages until WM_QUIT and then calls ExitInstance.

#include <windows.h>

#include "framework/MessageMap.h"
#include "framework/String.h"
#include "framework/Window.h"

#ifndef ID_HELP
#define ID_HELP 0xE146
#endif

class CWinApp : public CCmdTarget {
  DECLARE_DYNAMIC(CWinApp)
public:
  // No name: the executable's file name without its extension.
  explicit CWinApp(const wchar_t* pszAppName = nullptr);
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;
  ~CWinApp() override;

  // Before InitInstance. Nonzero = go on, zero = end the program at once.
  virtual BOOL InitApplication();
  // Nonzero = run the message loop (Run), zero = end through ExitInstance.
  virtual BOOL InitInstance();
  // Last call of the program's life; its result is the process exit code.
  virtual int ExitInstance();
  // The message loop: until WM_QUIT, then ExitInstance's result.
  virtual int Run();

  // Thread messages (no window) that are WM_COMMAND reach the application's map.
  // Returns true when the map took the message.
  bool PreTranslateThreadMessage(const MSG& msg);

  // ID_HELP: the framework keeps no help file of its own, so the command only
  // acknowledges itself with the default beep.
  void OnHelp();

  // Kept for the callers' sake: three-dimensional controls are the system's own look.
  BOOL Enable3dControls() { return TRUE; }

  CWnd* m_pMainWnd = nullptr;     // the main window (borrowed), or null
  HINSTANCE m_hInstance = nullptr;
  const wchar_t* m_pszAppName;    // never null
  int m_nCmdShow = SW_SHOWNORMAL;

private:
  CString m_strAppName;

  DECLARE_MESSAGE_MAP()
};

// The application object, or null before it is built and after it is gone.
CWinApp* AfxGetApp();
// The application's name, "" when there is no application object.
const wchar_t* AfxGetAppName();
// The main window's object, or null.
CWnd* AfxGetMainWnd();
// The program has no ActiveX controls to host: nothing needs setting up.
void AfxEnableControlContainer();

// The framework's main function: runs the application object and returns the exit code.
int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow);
