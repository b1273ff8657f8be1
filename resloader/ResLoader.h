#pragma once
// The loader's COM object: answers ITqResLoader and ITqGuiLanguages. Reference
// counts and the current language are atomic: the class is registered as
// "Both", so any apartment may call it.

#include <windows.h>

#include <atomic>
#include <string>

#include "resloader/TqResLoader.h"

namespace tqres {

// Objects alive in the process (DllCanUnloadNow).
long LiveObjectCount();

class CResLoader final : public ITqResLoader, public ITqGuiLanguages {
public:
  CResLoader();
  CResLoader(const CResLoader&) = delete;
  CResLoader& operator=(const CResLoader&) = delete;

  // IUnknown (shared by both interfaces).
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // ITqResLoader.
  HRESULT STDMETHODCALLTYPE GetInstalledLanguageCount(BSTR baseName, LONG* pnCount) override;
  HRESULT STDMETHODCALLTYPE GetInstalledLanguage(BSTR baseName, LONG index, LONG* pSelector) override;
  HRESULT STDMETHODCALLTYPE GetLanguageCode(LONG selector, BSTR* pCode) override;
  HRESULT STDMETHODCALLTYPE GetLanguageName(LONG selector, BSTR* pName) override;
  HRESULT STDMETHODCALLTYPE SetCurrentLanguage(LONG selector) override;
  HRESULT STDMETHODCALLTYPE GetModulePath(LONG selector, BSTR baseName, BSTR* pPath) override;
  HRESULT STDMETHODCALLTYPE LoadResString(LONG selector, BSTR baseName, LONG id, BSTR* pText) override;
  HRESULT STDMETHODCALLTYPE GetLoaderDirectory(BSTR* pDirectory) override;
  HRESULT STDMETHODCALLTYPE FindLanguage(BSTR code, LONG* pSelector) override;
  HRESULT STDMETHODCALLTYPE GetResolvedLanguage(LONG selector, BSTR baseName, LONG* pResolved) override;
  HRESULT STDMETHODCALLTYPE GetResModule(LONG selector, BSTR baseName, VARIANT* pModule) override;
  HRESULT STDMETHODCALLTYPE GetDefaultLanguage(LONG* pSelector) override;
  HRESULT STDMETHODCALLTYPE GetCurrentLanguage(LONG* pSelector) override;

  // ITqGuiLanguages.
  HRESULT STDMETHODCALLTYPE GetGuiLanguageId(LONG* pLangId) override;
  HRESULT STDMETHODCALLTYPE GetLanguageOverride(BSTR* pCode) override;
  HRESULT STDMETHODCALLTYPE GetCodeForLanguageId(LONG langId, BSTR* pCode) override;
  HRESULT STDMETHODCALLTYPE GetSystemLanguage(BSTR* pCode) override;
  HRESULT STDMETHODCALLTYPE GetGuiLanguage(BSTR* pCode) override;

private:
  ~CResLoader();
  // The language a selector stands for: 0 is the current language. Returns 0 for
  // a selector that is no language id (negative or wider than 16 bits).
  LANGID Selected(LONG selector) const;
  HRESULT ResolveModulePath(LONG selector, BSTR baseName, std::wstring& path) const;
  // The module that serves the selector, loaded once per process.
  HRESULT LoadSelectedModule(LONG selector, BSTR baseName, HMODULE& hModule) const;

  std::atomic<long> m_nRefs{1};
  std::atomic<LONG> m_current;
};

}  // namespace tqres
