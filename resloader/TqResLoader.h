#pragma once
// The resource loader: an in-process COM server that finds the language-specific
// resource module of a program ("<base>.dll" in a folder named by the language's
// three-letter code beside the loader, e.g. <dir>\deu\DelvoraRes.dll, English as
// the fallback) and reports the user's interface language.
//
// The vtable order below is part of the contract: programs call the methods by
// slot (0 to 2 are IUnknown's). Do not reorder; add new methods at the end.
//
// Language selector: a Windows language id (LANGID, e.g. 0x0409 English, 0x0407
// German) in a 32-bit value; 0 stands for the loader object's current language.
//
// GetResModule returns the module handle as VT_I8 (the full 64-bit handle; a
// 32-bit value would cut it in a 64-bit process). Read it with
// ResModuleFromVariant below.

#include <windows.h>
#include <oaidl.h>
#include <unknwn.h>

// {BEF050CF-1519-11D3-B47F-00C04FAD6B54}
constexpr CLSID CLSID_TqResLoader = {0xBEF050CF, 0x1519, 0x11D3, {0xB4, 0x7F, 0x00, 0xC0, 0x4F, 0xAD, 0x6B, 0x54}};
// {BEF050CE-1519-11D3-B47F-00C04FAD6B54}
constexpr IID IID_ITqResLoader = {0xBEF050CE, 0x1519, 0x11D3, {0xB4, 0x7F, 0x00, 0xC0, 0x4F, 0xAD, 0x6B, 0x54}};
// {59AA9140-CD1A-11D3-ADE1-00C04FAD6C39}
constexpr IID IID_ITqGuiLanguages = {0x59AA9140, 0xCD1A, 0x11D3, {0xAD, 0xE1, 0x00, 0xC0, 0x4F, 0xAD, 0x6C, 0x39}};

// Environment variable and registry value (HKEY_CURRENT_USER) that override the
// interface language with a three-letter code such as "deu"; the variable wins.
#define TQRESLOADER_LANGUAGE_ENV L"TQRESLOADER_GUI_LANGUAGE"
#define TQRESLOADER_LANGUAGE_KEY L"Software\\Tarquel\\TqResLoader"
#define TQRESLOADER_LANGUAGE_VALUE L"GuiLanguage"

// All methods: E_POINTER for a null out pointer, E_INVALIDARG for a module base name
// that is empty or holds a path (\ / : or ".."), HRESULT_FROM_WIN32 of the failing
// call otherwise. Out-BSTRs are caller-owned.
struct ITqResLoader : public IUnknown {
  // 3: number of installed languages of module `baseName` (folders holding it).
  virtual HRESULT STDMETHODCALLTYPE GetInstalledLanguageCount(BSTR baseName, LONG* pnCount) = 0;
  // 4: selector of installed language `index` (0-based, ordered by code).
  virtual HRESULT STDMETHODCALLTYPE GetInstalledLanguage(BSTR baseName, LONG index, LONG* pSelector) = 0;
  // 5: three-letter lower-case code of a selector ("enu").
  virtual HRESULT STDMETHODCALLTYPE GetLanguageCode(LONG selector, BSTR* pCode) = 0;
  // 6: the language's name in that language ("Deutsch").
  virtual HRESULT STDMETHODCALLTYPE GetLanguageName(LONG selector, BSTR* pName) = 0;
  // 7: makes `selector` this object's current language (E_INVALIDARG when unknown).
  virtual HRESULT STDMETHODCALLTYPE SetCurrentLanguage(LONG selector) = 0;
  // 8: full path of the module file that serves `selector` after the fallbacks.
  virtual HRESULT STDMETHODCALLTYPE GetModulePath(LONG selector, BSTR baseName, BSTR* pPath) = 0;
  // 9: string resource `id` of the module; a failure when the module or string is missing.
  virtual HRESULT STDMETHODCALLTYPE LoadResString(LONG selector, BSTR baseName, LONG id, BSTR* pText) = 0;
  // 10: folder of the loader itself, without a trailing backslash.
  virtual HRESULT STDMETHODCALLTYPE GetLoaderDirectory(BSTR* pDirectory) = 0;
  // 11: selector of a three-letter code (any case); E_INVALIDARG when unknown.
  virtual HRESULT STDMETHODCALLTYPE FindLanguage(BSTR code, LONG* pSelector) = 0;
  // 12: selector of the language whose folder actually serves `selector`.
  virtual HRESULT STDMETHODCALLTYPE GetResolvedLanguage(LONG selector, BSTR baseName, LONG* pResolved) = 0;
  // 13: the loaded module as VT_I8 (full handle). The module stays loaded for the
  //     life of the process; callers never free it.
  virtual HRESULT STDMETHODCALLTYPE GetResModule(LONG selector, BSTR baseName, VARIANT* pModule) = 0;
  // 14: the fallback language (English, 0x0409).
  virtual HRESULT STDMETHODCALLTYPE GetDefaultLanguage(LONG* pSelector) = 0;
  // 15: this object's current language; starts as the interface language.
  virtual HRESULT STDMETHODCALLTYPE GetCurrentLanguage(LONG* pSelector) = 0;
};

struct ITqGuiLanguages : public IUnknown {
  // 3: the interface language's id (after the override).
  virtual HRESULT STDMETHODCALLTYPE GetGuiLanguageId(LONG* pLangId) = 0;
  // 4: the override in effect ("" when none).
  virtual HRESULT STDMETHODCALLTYPE GetLanguageOverride(BSTR* pCode) = 0;
  // 5: three-letter lower-case code of a language id.
  virtual HRESULT STDMETHODCALLTYPE GetCodeForLanguageId(LONG langId, BSTR* pCode) = 0;
  // 6: code of the system's default interface language.
  virtual HRESULT STDMETHODCALLTYPE GetSystemLanguage(BSTR* pCode) = 0;
  // 7: code of the user's interface language, lower case ("enu", "deu").
  virtual HRESULT STDMETHODCALLTYPE GetGuiLanguage(BSTR* pCode) = 0;
};

// The module handle carried by GetResModule's VARIANT, or null. VT_I8 is the full
// handle. A 32-bit value (VT_I4, VT_UI4: a 32-bit loader's, for a module the
// system placed low) could be a cut-off handle: it is taken, zero-extended, only
// when it is exactly the handle of a module loaded in this process.
inline HMODULE ResModuleFromVariant(const VARIANT& var) {
  if (var.vt == VT_I8) return reinterpret_cast<HMODULE>(static_cast<INT_PTR>(var.llVal));
  if (var.vt != VT_I4 && var.vt != VT_UI4) return nullptr;
  const ULONG_PTR value = var.vt == VT_I4 ? static_cast<ULONG>(var.lVal) : var.ulVal;
  HMODULE hLoaded = nullptr;
  if (!value || !::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                          GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                      reinterpret_cast<LPCWSTR>(value), &hLoaded)) {
    return nullptr;
  }
  // An address inside a module names the module too; only its base is its handle.
  return reinterpret_cast<ULONG_PTR>(hLoaded) == value ? hLoaded : nullptr;
}
