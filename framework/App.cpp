#include "framework/App.h"

#include <commctrl.h>

#include <vector>

namespace {

// The one application object (the framework's state; set by its constructor). A
// constant, so it is in place before any static object is built and needs no
// place in support/InitOrder.h.
CWinApp* g_pApp = nullptr;

CString ExecutableBaseName() {
  std::vector<wchar_t> buf(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return CString();
    if (n < buf.size()) break;
    buf.resize(buf.size() * 2);
  }
  CString path(buf.data());
  const int slash = path.ReverseFind(L'\\');
  CString name = path.Mid(slash + 1);
  const int dot = name.ReverseFind(L'.');
  return dot > 0 ? name.Left(dot) : name;
}

}  // namespace

IMPLEMENT_DYNAMIC(CWinApp, CCmdTarget)

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp::CWinApp(const wchar_t* pszAppName)
    : m_pszAppName(L""), m_strAppName(pszAppName ? CString(pszAppName) : ExecutableBaseName()) {
  m_pszAppName = m_strAppName.GetString();
  m_hInstance = ::GetModuleHandleW(nullptr);
  g_pApp = this;
}

CWinApp::~CWinApp() {
  if (g_pApp == this) g_pApp = nullptr;
}

BOOL CWinApp::InitApplication() { return TRUE; }

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() { return 0; }

bool CWinApp::PreTranslateThreadMessage(const MSG& msg) {
  if (msg.hwnd != nullptr || msg.message != WM_COMMAND) return false;
  LRESULT result = 0;
  try {
    return DispatchMessageMap(msg.message, msg.wParam, msg.lParam, &result);
  } catch (...) {
    AfxStorePendingException(std::current_exception());
    return true;
  }
}

int CWinApp::Run() {
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (PreTranslateThreadMessage(msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  AfxRethrowPendingException();
  return ExitInstance();
}

void CWinApp::OnHelp() { ::MessageBeep(MB_OK); }

CWinApp* AfxGetApp() { return g_pApp; }

const wchar_t* AfxGetAppName() { return g_pApp ? g_pApp->m_pszAppName : L""; }

CWnd* AfxGetMainWnd() { return g_pApp ? g_pApp->m_pMainWnd : nullptr; }

void AfxEnableControlContainer() {}

int AfxWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int nCmdShow) {
  CWinApp* pApp = AfxGetApp();
  if (!pApp) return -1;
  pApp->m_hInstance = hInstance;
  pApp->m_nCmdShow = nCmdShow;

  // The common controls the sheets and lists need.
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&icc);

  if (!pApp->InitApplication()) return 0;
  if (!pApp->InitInstance()) return pApp->ExitInstance();
  return pApp->Run();
}

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow) {
  return AfxWinMain(hInstance, hPrevInstance, lpCmdLine, nCmdShow);
}
