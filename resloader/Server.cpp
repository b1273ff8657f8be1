// The in-process server: entry point, class factory and self-registration.

#include <windows.h>
#include <olectl.h>

#include <atomic>
#include <new>
#include <string>

#include "resloader/Languages.h"
#include "resloader/ResLoader.h"
#include "support/UniqueHandle.h"
#include "support/Win32Result.h"

namespace {

std::atomic<long> g_nServerLocks{0};

constexpr wchar_t kClsidKey[] = L"CLSID\\{BEF050CF-1519-11D3-B47F-00C04FAD6B54}";
constexpr wchar_t kProgId[] = L"TqResLoader.ResLoader.1";
constexpr wchar_t kProgIdIndependent[] = L"TqResLoader.ResLoader";
constexpr wchar_t kClsidText[] = L"{BEF050CF-1519-11D3-B47F-00C04FAD6B54}";
constexpr wchar_t kDescription[] = L"Resource module loader";

LONG SetText(HKEY hRoot, const std::wstring& subKey, const wchar_t* pszName, const std::wstring& value) {
  CKeyHandle key;
  LONG status = RegCreateKeyExW(hRoot, subKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.Receive(), nullptr);
  if (status != ERROR_SUCCESS) return status;
  return RegSetValueExW(key.Get(), pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// RegDeleteTreeW given a sub-key removes that key too; one already gone is no failure.
LONG DeleteTree(HKEY hRoot, const wchar_t* pszSubKey) {
  const LONG status = RegDeleteTreeW(hRoot, pszSubKey);
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

class CClassFactory final : public IClassFactory {
public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *ppv = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  // The factory is a static object: its life is the module's.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (pOuter != nullptr) return CLASS_E_NOAGGREGATION;
    try {
      auto* object = new tqres::CResLoader();
      const HRESULT hr = object->QueryInterface(riid, ppv);
      object->Release();  // the interface asked for holds the only reference, or none
      return hr;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_UNEXPECTED;
    }
  }

  HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override {
    if (fLock) {
      ++g_nServerLocks;
    } else {
      --g_nServerLocks;
    }
    return S_OK;
  }
};

CClassFactory g_factory;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID) {
  if (dwReason == DLL_PROCESS_ATTACH) {
    tqres::SetLoaderModule(hInstance);
    DisableThreadLibraryCalls(hInstance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualCLSID(rclsid, CLSID_TqResLoader)) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(riid, ppv);
}

STDAPI DllCanUnloadNow() {
  return tqres::LiveObjectCount() == 0 && g_nServerLocks.load() == 0 ? S_OK : S_FALSE;
}

// Registers the class under HKEY_CLASSES_ROOT as an in-process server usable from
// any apartment ("Both"), with a version-independent ProgID.
STDAPI DllRegisterServer() {
  try {
    const std::wstring path = tqres::LoaderPath();
    if (path.empty()) return HResultFromError(GetLastError());
    const std::wstring clsidKey(kClsidKey);
    LONG status = SetText(HKEY_CLASSES_ROOT, clsidKey, nullptr, kDescription);
    if (status == ERROR_SUCCESS) status = SetText(HKEY_CLASSES_ROOT, clsidKey + L"\\InprocServer32", nullptr, path);
    if (status == ERROR_SUCCESS) {
      status = SetText(HKEY_CLASSES_ROOT, clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Both");
    }
    if (status == ERROR_SUCCESS) status = SetText(HKEY_CLASSES_ROOT, clsidKey + L"\\ProgID", nullptr, kProgId);
    if (status == ERROR_SUCCESS) {
      status = SetText(HKEY_CLASSES_ROOT, clsidKey + L"\\VersionIndependentProgID", nullptr, kProgIdIndependent);
    }
    if (status == ERROR_SUCCESS) status = SetText(HKEY_CLASSES_ROOT, kProgId, nullptr, kDescription);
    if (status == ERROR_SUCCESS) {
      status = SetText(HKEY_CLASSES_ROOT, std::wstring(kProgId) + L"\\CLSID", nullptr, kClsidText);
    }
    if (status == ERROR_SUCCESS) status = SetText(HKEY_CLASSES_ROOT, kProgIdIndependent, nullptr, kDescription);
    if (status == ERROR_SUCCESS) {
      status = SetText(HKEY_CLASSES_ROOT, std::wstring(kProgIdIndependent) + L"\\CLSID", nullptr, kClsidText);
    }
    if (status == ERROR_SUCCESS) {
      status = SetText(HKEY_CLASSES_ROOT, std::wstring(kProgIdIndependent) + L"\\CurVer", nullptr, kProgId);
    }
    return status == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDAPI DllUnregisterServer() {
  LONG status = DeleteTree(HKEY_CLASSES_ROOT, kClsidKey);
  if (status == ERROR_SUCCESS) status = DeleteTree(HKEY_CLASSES_ROOT, kProgId);
  if (status == ERROR_SUCCESS) status = DeleteTree(HKEY_CLASSES_ROOT, kProgIdIndependent);
  return status == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}
