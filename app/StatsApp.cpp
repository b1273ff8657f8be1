#include "app/StatsApp.h"

#include <objbase.h>
#include <oleauto.h>

#include <cwctype>

#include "app/MainSheet.h"
#include "framework/MessageBox.h"
#include "framework/Resource.h"
#include "framework/String.h"
#include "resloader/TqResLoader.h"
#include "resources/resource.h"
#include "stats/Formatting.h"
#include "support/ComOwner.h"

namespace {

const wchar_t kModuleBaseName[] = L"DelvoraRes";

// Clears a VARIANT on every path.
class CVariantOwner {
public:
  CVariantOwner() { ::VariantInit(&m_var); }
  CVariantOwner(const CVariantOwner&) = delete;
  CVariantOwner& operator=(const CVariantOwner&) = delete;
  ~CVariantOwner() { ::VariantClear(&m_var); }
  VARIANT* operator&() { return &m_var; }
  const VARIANT& Get() const { return m_var; }

private:
  VARIANT m_var;
};

void ShowCreateFailure(const wchar_t* pszInterface, HRESULT hr) {
  CString message;
  message.Format(L"Unable to CoCreateInstance(CLSID_TqResLoader,%s). Error %s.", pszInterface,
                 GetSystemErrorText(hr).GetString());
  AfxMessageBox(message, MB_OK);
}

void ShowModuleFailure(const wchar_t* pszFormat) {
  CWideString message;
  if (FAILED(FormatString(message, pszFormat, kModuleBaseName))) message = pszFormat;
  message.MakeNonNull();
  AfxMessageBox(message.GetText(), MB_OK);
}

}  // namespace

BEGIN_MESSAGE_MAP(CStatsApp, CWinApp)
  ON_COMMAND(ID_HELP, OnHelp)
END_MESSAGE_MAP()

CStatsApp::CStatsApp() : CWinApp(nullptr) {}

CStatsApp::~CStatsApp() {
  if (m_bComInitialized) ::CoUninitialize();
}

BOOL CStatsApp::InitApplication() {
  const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (FAILED(hr)) {
    AfxMessageBox(L"Failed to initialize COM", MB_ICONERROR);
    return FALSE;
  }
  m_bComInitialized = true;
  if (!LoadResourceModule()) return FALSE;
  return CWinApp::InitApplication();
}

BOOL CStatsApp::InitInstance() {
  AfxEnableControlContainer();
  Enable3dControls();
  CMainSheet sheet(L"Delvora", nullptr, 0);
  m_pMainWnd = &sheet;
  sheet.DoModal();
  m_pMainWnd = nullptr;
  return FALSE;
}

BOOL CStatsApp::LoadResourceModule() {
  CComOwner<ITqResLoader> spResLoader;
  HRESULT hr = ::CoCreateInstance(CLSID_TqResLoader, nullptr, CLSCTX_INPROC_SERVER, IID_ITqResLoader,
                                  spResLoader.Receive());
  if (FAILED(hr)) {
    ShowCreateFailure(L"IID_ITqResLoader", hr);
    return FALSE;
  }
  if (spResLoader.get() == nullptr) {
    AfxMessageBox(L"spResLoader.get() == NULL", MB_OK);
    return FALSE;
  }

  LONG selector = 0;
  spResLoader->GetCurrentLanguage(&selector);

  CWideString strBaseName(kModuleBaseName);
  CWideString strProbe;
  hr = spResLoader->LoadResString(selector, strBaseName.GetBSTR(), IDS_ERROR_HELP, strProbe.Receive());
  if (FAILED(hr)) {
    ShowModuleFailure(L"Failed to get resource from resource file %s.");
    return FALSE;
  }
  strProbe = nullptr;

  CVariantOwner varModule;
  hr = spResLoader->GetResModule(selector, strBaseName.GetBSTR(), &varModule);
  if (FAILED(hr)) {
    ShowModuleFailure(L"Failed to get handle to resource file %s.DLL");
    return FALSE;
  }
  // The handle is pointer-wide: the loader gives it as VT_I8, and a 32-bit read
  // would cut a 64-bit handle; a 32-bit one counts only when it names a loaded module.
  HMODULE hModule = ResModuleFromVariant(varModule.Get());
  if (!hModule) {
    ShowModuleFailure(L"Failed to get handle to resource file %s.DLL");
    return FALSE;
  }
  AfxSetResourceHandle(hModule);

  CComOwner<ITqGuiLanguages> spLanguages;
  hr = ::CoCreateInstance(CLSID_TqResLoader, nullptr, CLSCTX_INPROC_SERVER, IID_ITqGuiLanguages,
                          spLanguages.Receive());
  if (FAILED(hr) || spLanguages.get() == nullptr) {
    ShowCreateFailure(L"IID_ITqGuiLanguages", FAILED(hr) ? hr : E_POINTER);
    return FALSE;
  }
  CWideString strCode;
  spLanguages->GetGuiLanguage(strCode.Receive());
  m_strLanguage = strCode;
  if (m_strLanguage.IsEmpty()) m_strLanguage = L"enu";
  // Lower case, in place of the BSTR's own characters.
  CString lower(m_strLanguage.GetText());
  lower.MakeLower();
  m_strLanguage = lower.GetString();
  return TRUE;
}
