// The loader object: one COM class answering both interfaces.

#include "resloader/ResLoader.h"

#include <new>

#include "resloader/Languages.h"
#include "support/Win32Result.h"

namespace tqres {
namespace {

std::atomic<long> g_nLiveObjects{0};

// A caller-owned BSTR copy of `text`.
HRESULT ReturnText(const std::wstring& text, BSTR* pOut) {
  *pOut = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *pOut != nullptr ? S_OK : E_OUTOFMEMORY;
}

std::wstring TextOf(BSTR bstr) { return bstr ? std::wstring(bstr, SysStringLen(bstr)) : std::wstring(); }

// The language's code, or English's when the system knows no code for it.
std::wstring CodeOrDefault(LANGID langId) {
  std::wstring code = CodeForLanguage(langId);
  return code.empty() ? CodeForLanguage(kDefaultLanguage) : code;
}

// Runs `body` and turns any exception into a result code: none may cross a COM call.
template <typename Body>
HRESULT Guarded(Body body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace

long LiveObjectCount() { return g_nLiveObjects.load(); }

CResLoader::CResLoader() : m_current(GuiLanguage()) { ++g_nLiveObjects; }

CResLoader::~CResLoader() { --g_nLiveObjects; }

HRESULT STDMETHODCALLTYPE CResLoader::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ITqResLoader)) {
    *ppv = static_cast<ITqResLoader*>(this);
  } else if (IsEqualIID(riid, IID_ITqGuiLanguages)) {
    *ppv = static_cast<ITqGuiLanguages*>(this);
  } else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE CResLoader::AddRef() { return static_cast<ULONG>(++m_nRefs); }

ULONG STDMETHODCALLTYPE CResLoader::Release() {
  const long remaining = --m_nRefs;
  if (remaining == 0) delete this;
  return static_cast<ULONG>(remaining);
}

LANGID CResLoader::Selected(LONG selector) const {
  // Cutting a wider value to 16 bits would turn it into some other language.
  if (selector < 0 || selector > 0xFFFF) return 0;
  return selector == 0 ? static_cast<LANGID>(m_current.load()) : static_cast<LANGID>(selector);
}

HRESULT CResLoader::ResolveModulePath(LONG selector, BSTR baseName, std::wstring& path) const {
  const std::wstring name = TextOf(baseName);
  const LANGID langId = Selected(selector);
  if (!IsPlainBaseName(name) || langId == 0) return E_INVALIDARG;
  path = ModulePath(LoaderDirectory(), langId, name);
  return path.empty() ? HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND) : S_OK;
}

HRESULT CResLoader::LoadSelectedModule(LONG selector, BSTR baseName, HMODULE& hModule) const {
  std::wstring path;
  const HRESULT hr = ResolveModulePath(selector, baseName, path);
  return FAILED(hr) ? hr : LoadModuleOnce(path, hModule);
}

HRESULT STDMETHODCALLTYPE CResLoader::GetInstalledLanguageCount(BSTR baseName, LONG* pnCount) {
  if (pnCount == nullptr) return E_POINTER;
  *pnCount = 0;
  return Guarded([&] {
    const std::wstring name = TextOf(baseName);
    if (!IsPlainBaseName(name)) return E_INVALIDARG;
    *pnCount = static_cast<LONG>(InstalledLanguages(LoaderDirectory(), name).size());
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE CResLoader::GetInstalledLanguage(BSTR baseName, LONG index, LONG* pSelector) {
  if (pSelector == nullptr) return E_POINTER;
  *pSelector = 0;
  return Guarded([&] {
    const std::wstring name = TextOf(baseName);
    if (!IsPlainBaseName(name)) return E_INVALIDARG;
    const std::vector<LANGID> languages = InstalledLanguages(LoaderDirectory(), name);
    if (index < 0 || static_cast<size_t>(index) >= languages.size()) return E_INVALIDARG;
    *pSelector = languages[static_cast<size_t>(index)];
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE CResLoader::GetLanguageCode(LONG selector, BSTR* pCode) {
  if (pCode == nullptr) return E_POINTER;
  *pCode = nullptr;
  return Guarded([&] {
    const std::wstring code = CodeForLanguage(Selected(selector));
    return code.empty() ? E_INVALIDARG : ReturnText(code, pCode);
  });
}

HRESULT STDMETHODCALLTYPE CResLoader::GetLanguageName(LONG selector, BSTR* pName) {
  if (pName == nullptr) return E_POINTER;
  *pName = nullptr;
  return Guarded([&] {
    const std::wstring name = NativeLanguageName(Selected(selector));
    return name.empty() ? E_INVALIDARG : ReturnText(name, pName);
  });
}

HRESULT STDMETHODCALLTYPE CResLoader::SetCurrentLanguage(LONG selector) {
  return Guarded([&] {
    if (selector <= 0 || selector > 0xFFFF || CodeForLanguage(static_cast<LANGID>(selector)).empty()) {
      return E_INVALIDARG;
    }
    m_current = selector;
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE CResLoader::GetModulePath(LONG selector, BSTR baseName, BSTR* pPath) {
  if (pPath == nullptr) return E_POINTER;
  *pPath = nullptr;
  return Guarded([&] {
    std::wstring path;
    const HRESULT hr = ResolveModulePath(selector, baseName, path);
    return FAILED(hr) ? hr : ReturnText(path, pPath);
  });
}

HRESULT STDMETHODCALLTYPE CResLoader::LoadResString(LONG selector, BSTR baseName, LONG id, BSTR* pText) {
  if (pText == nullptr) return E_POINTER;
  *pText = nullptr;
  return Guarded([&] {
    if (id < 0 || id > 0xFFFF) return E_INVALIDARG;
    HMODULE hModule = nullptr;
    HRESULT hr = LoadSelectedModule(selector, baseName, hModule);
    std::wstring text;
    if (SUCCEEDED(hr)) hr = LoadModuleString(hModule, static_cast<UINT>(id), text);
    return FAILED(hr) ? hr : ReturnText(text, pText);
  });
}

HRESULT STDMETHODCALLTYPE CResLoader::GetLoaderDirectory(BSTR* pDirectory) {
  if (pDirectory == nullptr) return E_POINTER;
  *pDirectory = nullptr;
  return Guarded([&] {
    const std::wstring directory = LoaderDirectory();
    return directory.empty() ? HResultFromError(GetLastError()) : ReturnText(directory, pDirectory);
  });
}

HRESULT STDMETHODCALLTYPE CResLoader::FindLanguage(BSTR code, LONG* pSelector) {
  if (pSelector == nullptr) return E_POINTER;
  *pSelector = 0;
  return Guarded([&] {
    const LANGID langId = LanguageForCode(TextOf(code));
    if (langId == 0) return E_INVALIDARG;
    *pSelector = langId;
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE CResLoader::GetResolvedLanguage(LONG selector, BSTR baseName, LONG* pResolved) {
  if (pResolved == nullptr) return E_POINTER;
  *pResolved = 0;
  return Guarded([&] {
    const std::wstring name = TextOf(baseName);
    const LANGID langId = Selected(selector);
    if (!IsPlainBaseName(name) || langId == 0) return E_INVALIDARG;
    const LANGID resolved = ResolveLanguage(LoaderDirectory(), langId, name);
    if (resolved == 0) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    *pResolved = resolved;
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE CResLoader::GetResModule(LONG selector, BSTR baseName, VARIANT* pModule) {
  if (pModule == nullptr) return E_POINTER;
  return Guarded([&] {
    HMODULE hModule = nullptr;
    const HRESULT hr = LoadSelectedModule(selector, baseName, hModule);
    if (FAILED(hr)) return hr;
    VariantClear(pModule);
    pModule->vt = VT_I8;
    pModule->llVal = static_cast<LONGLONG>(reinterpret_cast<INT_PTR>(hModule));
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE CResLoader::GetDefaultLanguage(LONG* pSelector) {
  if (pSelector == nullptr) return E_POINTER;
  *pSelector = kDefaultLanguage;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CResLoader::GetCurrentLanguage(LONG* pSelector) {
  if (pSelector == nullptr) return E_POINTER;
  *pSelector = m_current.load();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CResLoader::GetGuiLanguageId(LONG* pLangId) {
  if (pLangId == nullptr) return E_POINTER;
  *pLangId = 0;
  return Guarded([&] {
    *pLangId = GuiLanguage();
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE CResLoader::GetLanguageOverride(BSTR* pCode) {
  if (pCode == nullptr) return E_POINTER;
  *pCode = nullptr;
  return Guarded([&] { return ReturnText(LanguageOverride(), pCode); });
}

HRESULT STDMETHODCALLTYPE CResLoader::GetCodeForLanguageId(LONG langId, BSTR* pCode) {
  if (pCode == nullptr) return E_POINTER;
  *pCode = nullptr;
  return Guarded([&] {
    if (langId <= 0 || langId > 0xFFFF) return E_INVALIDARG;
    const std::wstring code = CodeForLanguage(static_cast<LANGID>(langId));
    return code.empty() ? E_INVALIDARG : ReturnText(code, pCode);
  });
}

HRESULT STDMETHODCALLTYPE CResLoader::GetSystemLanguage(BSTR* pCode) {
  if (pCode == nullptr) return E_POINTER;
  *pCode = nullptr;
  return Guarded([&] {
    return ReturnText(CodeOrDefault(GetSystemDefaultUILanguage()), pCode);
  });
}

HRESULT STDMETHODCALLTYPE CResLoader::GetGuiLanguage(BSTR* pCode) {
  if (pCode == nullptr) return E_POINTER;
  *pCode = nullptr;
  return Guarded([&] {
    return ReturnText(CodeOrDefault(GuiLanguage()), pCode);
  });
}

}  // namespace tqres
