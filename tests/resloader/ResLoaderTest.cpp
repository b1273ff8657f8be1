// The resource loader as the program meets it: registered with regsvr32 (the
// test fixture), created in the multithreaded apartment, called by slot number.

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <string>
#include <thread>

#include "resloader/TqResLoader.h"
#include "support/ComOwner.h"

namespace {

const wchar_t kEnglishHelpError[] = L"Unable to open the help page.";
const wchar_t kGermanHelpError[] = L"Die Hilfeseite kann nicht ge\u00F6ffnet werden.";

class Bstr {
public:
  explicit Bstr(const wchar_t* text = nullptr) : m_bstr(text ? SysAllocString(text) : nullptr) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(m_bstr); }
  BSTR Get() const { return m_bstr; }
  BSTR* Receive() {
    SysFreeString(m_bstr);
    m_bstr = nullptr;
    return &m_bstr;
  }
  std::wstring Text() const { return m_bstr ? std::wstring(m_bstr, SysStringLen(m_bstr)) : std::wstring(); }

private:
  BSTR m_bstr;
};

// The function at `slot` of an interface's table, as a caller that knows only slots sees it.
template <typename Fn>
Fn Slot(IUnknown* p, int slot) {
  return reinterpret_cast<Fn>((*reinterpret_cast<void***>(p))[slot]);
}
using GetCurrentLanguageFn = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, LONG*);
using LoadResStringFn = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, LONG, BSTR, LONG, BSTR*);
using GetResModuleFn = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, LONG, BSTR, VARIANT*);
using GetGuiLanguageFn = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, BSTR*);

std::wstring LoadText(HMODULE hModule, UINT id) {
  wchar_t buffer[512];
  const int length = LoadStringW(hModule, id, buffer, 512);
  return std::wstring(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

std::wstring BinDirectory() {
  wchar_t exe[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring path(exe, length);
  return path.substr(0, path.find_last_of(L'\\'));
}

class ResLoader : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_GE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), 0);
    SetLanguageOverride(L"enu");
  }
  void TearDown() override {
    SetEnvironmentVariableW(TQRESLOADER_LANGUAGE_ENV, nullptr);
    CoUninitialize();
  }
  static void SetLanguageOverride(const wchar_t* code) { SetEnvironmentVariableW(TQRESLOADER_LANGUAGE_ENV, code); }

  // The start-up sequence: create, ask the language, probe string 102, get the module.
  struct StartUp {
    HRESULT hrCreate = E_FAIL;
    LONG selector = 0;
    HRESULT hrString = E_FAIL;
    std::wstring text;
    HRESULT hrModule = E_FAIL;
    VARTYPE type = VT_EMPTY;
    HMODULE hModule = nullptr;
  };
  static StartUp RunStartUp() {
    StartUp result;
    CComOwner<IUnknown> loader;
    result.hrCreate =
        CoCreateInstance(CLSID_TqResLoader, nullptr, CLSCTX_INPROC_SERVER, IID_ITqResLoader, loader.Receive());
    if (FAILED(result.hrCreate) || loader.get() == nullptr) return result;
    Slot<GetCurrentLanguageFn>(loader.get(), 15)(loader.get(), &result.selector);
    Bstr name(L"DelvoraRes");
    Bstr text;
    result.hrString = Slot<LoadResStringFn>(loader.get(), 9)(loader.get(), result.selector, name.Get(), 102,
                                                             text.Receive());
    result.text = text.Text();
    VARIANT module;
    ZeroMemory(&module, sizeof(module));
    result.hrModule = Slot<GetResModuleFn>(loader.get(), 13)(loader.get(), result.selector, name.Get(), &module);
    result.type = module.vt;
    result.hModule = ResModuleFromVariant(module);
    VariantClear(&module);
    return result;
  }
  static std::wstring GuiLanguageBySlot() {
    CComOwner<IUnknown> languages;
    if (FAILED(CoCreateInstance(CLSID_TqResLoader, nullptr, CLSCTX_INPROC_SERVER, IID_ITqGuiLanguages,
                                languages.Receive()))) {
      return L"<not created>";
    }
    Bstr code;
    Slot<GetGuiLanguageFn>(languages.get(), 7)(languages.get(), code.Receive());
    return code.Text();
  }
};

TEST_F(ResLoader, RegisteredAsInProcessServerForBothApartments) {
  HKEY hKey = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT,
                                         L"CLSID\\{BEF050CF-1519-11D3-B47F-00C04FAD6B54}\\InprocServer32", 0,
                                         KEY_READ, &hKey))
      << "run regsvr32 TqResLoader.dll first (the test fixture does)";
  wchar_t value[MAX_PATH] = {};
  DWORD size = sizeof(value) - sizeof(wchar_t);
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(hKey, L"ThreadingModel", nullptr, nullptr,
                                            reinterpret_cast<BYTE*>(value), &size));
  EXPECT_STREQ(L"Both", value);
  ZeroMemory(value, sizeof(value));
  size = sizeof(value) - sizeof(wchar_t);
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(hKey, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size));
  RegCloseKey(hKey);
  const std::wstring server(value);
  ASSERT_GE(server.size(), 16u);
  EXPECT_EQ(0, _wcsicmp(L"\\TqResLoader.dll", server.substr(server.size() - 16).c_str()));
}

TEST_F(ResLoader, EnglishStartUpThroughTheFixedSlots) {
  const StartUp start = RunStartUp();
  ASSERT_EQ(S_OK, start.hrCreate);
  EXPECT_EQ(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), start.selector);
  EXPECT_EQ(S_OK, start.hrString);
  EXPECT_EQ(kEnglishHelpError, start.text);
  ASSERT_EQ(S_OK, start.hrModule);
  EXPECT_EQ(VT_I8, start.type) << "the full handle, not 32 bits of it";
  ASSERT_NE(nullptr, start.hModule);
  EXPECT_EQ(kEnglishHelpError, LoadText(start.hModule, 102)) << "the handle serves resource loads";
  EXPECT_EQ(GetModuleHandleW((BinDirectory() + L"\\enu\\DelvoraRes.dll").c_str()), start.hModule);
  EXPECT_EQ(L"enu", GuiLanguageBySlot());
}

TEST_F(ResLoader, GermanInterfaceChoosesTheGermanModule) {
  SetLanguageOverride(L"DEU");
  EXPECT_EQ(L"deu", GuiLanguageBySlot());
  const StartUp start = RunStartUp();
  ASSERT_EQ(S_OK, start.hrCreate);
  EXPECT_EQ(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), start.selector);
  EXPECT_EQ(kGermanHelpError, start.text);
  ASSERT_EQ(S_OK, start.hrModule);
  EXPECT_EQ(kGermanHelpError, LoadText(start.hModule, 102));
  EXPECT_EQ(GetModuleHandleW((BinDirectory() + L"\\deu\\DelvoraRes.dll").c_str()), start.hModule);

  // The same choice through the user's registry value when no variable is set.
  SetEnvironmentVariableW(TQRESLOADER_LANGUAGE_ENV, nullptr);
  HKEY hKey = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, TQRESLOADER_LANGUAGE_KEY, 0, nullptr, 0,
                                           KEY_READ | KEY_WRITE, nullptr, &hKey, nullptr));
  const wchar_t deu[] = L"deu";
  RegSetValueExW(hKey, TQRESLOADER_LANGUAGE_VALUE, 0, REG_SZ, reinterpret_cast<const BYTE*>(deu), sizeof(deu));
  const std::wstring viaRegistry = GuiLanguageBySlot();
  RegDeleteValueW(hKey, TQRESLOADER_LANGUAGE_VALUE);
  RegCloseKey(hKey);
  EXPECT_EQ(L"deu", viaRegistry);

  // An override naming no language is ignored.
  SetLanguageOverride(L"xx!");
  const std::wstring ignored = GuiLanguageBySlot();
  EXPECT_EQ(3u, ignored.size());
  EXPECT_NE(L"xx!", ignored);
}

TEST_F(ResLoader, LanguagesWithoutAModuleFallBack) {
  CComOwner<ITqResLoader> loader;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_TqResLoader, nullptr, CLSCTX_INPROC_SERVER, IID_ITqResLoader,
                                   loader.Receive()));
  Bstr name(L"DelvoraRes");
  LONG resolved = 0;
  // French has no folder: English. Swiss German: its primary language, German.
  EXPECT_EQ(S_OK, loader->GetResolvedLanguage(MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), name.Get(), &resolved));
  EXPECT_EQ(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), resolved);
  EXPECT_EQ(S_OK, loader->GetResolvedLanguage(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN_SWISS), name.Get(), &resolved));
  EXPECT_EQ(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), resolved);
  Bstr text;
  EXPECT_EQ(S_OK, loader->LoadResString(MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), name.Get(), 102, text.Receive()));
  EXPECT_EQ(kEnglishHelpError, text.Text());

  Bstr path;
  EXPECT_EQ(S_OK, loader->GetModulePath(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), name.Get(), path.Receive()));
  EXPECT_EQ(0, _wcsicmp((BinDirectory() + L"\\deu\\DelvoraRes.dll").c_str(), path.Get()));

  LONG count = 0;
  ASSERT_EQ(S_OK, loader->GetInstalledLanguageCount(name.Get(), &count));
  ASSERT_EQ(2, count);
  LONG first = 0, second = 0;
  EXPECT_EQ(S_OK, loader->GetInstalledLanguage(name.Get(), 0, &first));
  EXPECT_EQ(S_OK, loader->GetInstalledLanguage(name.Get(), 1, &second));
  EXPECT_EQ(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), first) << "ordered by code: deu, enu";
  EXPECT_EQ(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), second);
  EXPECT_EQ(E_INVALIDARG, loader->GetInstalledLanguage(name.Get(), 2, &first));

  // Switching the object's language changes what selector 0 means.
  EXPECT_EQ(S_OK, loader->SetCurrentLanguage(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN)));
  EXPECT_EQ(S_OK, loader->LoadResString(0, name.Get(), 102, text.Receive()));
  EXPECT_EQ(kGermanHelpError, text.Text());
  Bstr code;
  EXPECT_EQ(S_OK, loader->GetLanguageCode(0, code.Receive()));
  EXPECT_EQ(L"deu", code.Text());
  EXPECT_EQ(E_INVALIDARG, loader->SetCurrentLanguage(0));
}

TEST_F(ResLoader, BadRequestsFailCleanly) {
  CComOwner<ITqResLoader> loader;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_TqResLoader, nullptr, CLSCTX_INPROC_SERVER, IID_ITqResLoader,
                                   loader.Receive()));
  Bstr text(L"stale");
  Bstr name(L"DelvoraRes");
  for (const wchar_t* bad : {L"..\\enu\\DelvoraRes", L"C:DelvoraRes", L"sub/DelvoraRes", L""}) {
    Bstr badName(bad);
    EXPECT_EQ(E_INVALIDARG, loader->LoadResString(0, badName.Get(), 102, text.Receive()));
    EXPECT_EQ(nullptr, text.Get());
  }
  EXPECT_EQ(E_INVALIDARG, loader->LoadResString(0, nullptr, 102, text.Receive()));
  Bstr missing(L"NoSuchModule");
  EXPECT_LT(loader->LoadResString(0, missing.Get(), 102, text.Receive()), 0);
  VARIANT module;
  VariantInit(&module);
  EXPECT_LT(loader->GetResModule(0, missing.Get(), &module), 0);
  EXPECT_EQ(VT_EMPTY, module.vt);
  EXPECT_LT(loader->LoadResString(0, name.Get(), 103, text.Receive()), 0) << "no string 103";
  EXPECT_EQ(nullptr, text.Get());
  EXPECT_EQ(E_INVALIDARG, loader->LoadResString(0, name.Get(), -1, text.Receive()));
  // A selector beyond 16 bits is no language id, not English with a high bit set.
  EXPECT_EQ(E_INVALIDARG, loader->GetLanguageCode(0x10409, text.Receive()));
  EXPECT_EQ(E_INVALIDARG, loader->GetLanguageName(0x10409, text.Receive()));
  EXPECT_EQ(E_POINTER, loader->LoadResString(0, name.Get(), 102, nullptr));
  EXPECT_EQ(E_POINTER, loader->GetResModule(0, name.Get(), nullptr));
  EXPECT_EQ(E_POINTER, loader->GetCurrentLanguage(nullptr));

  // No aggregation; both interfaces are one object.
  CComOwner<IUnknown> outer;
  EXPECT_EQ(CLASS_E_NOAGGREGATION,
            CoCreateInstance(CLSID_TqResLoader, reinterpret_cast<IUnknown*>(loader.get()), CLSCTX_INPROC_SERVER,
                             IID_IUnknown, outer.Receive()));
  CComOwner<ITqGuiLanguages> languages;
  ASSERT_EQ(S_OK, loader->QueryInterface(IID_ITqGuiLanguages, languages.Receive()));
  CComOwner<IUnknown> a, b;
  loader->QueryInterface(IID_IUnknown, a.Receive());
  languages->QueryInterface(IID_IUnknown, b.Receive());
  EXPECT_EQ(a.get(), b.get());
}

TEST_F(ResLoader, OtherThreadsOfTheApartmentShareTheObject) {
  CComOwner<ITqResLoader> loader;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_TqResLoader, nullptr, CLSCTX_INPROC_SERVER, IID_ITqResLoader,
                                   loader.Receive()));
  HRESULT results[4] = {E_FAIL, E_FAIL, E_FAIL, E_FAIL};
  std::wstring texts[4];
  std::thread threads[4];
  for (int n = 0; n < 4; ++n) {
    threads[n] = std::thread([&, n] {
      CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      Bstr name(L"DelvoraRes");
      Bstr text;
      const LONG selector = n % 2 ? MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN) : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
      results[n] = loader->LoadResString(selector, name.Get(), 102, text.Receive());
      texts[n] = text.Text();
      CoUninitialize();
    });
  }
  for (auto& thread : threads) thread.join();
  for (int n = 0; n < 4; ++n) {
    EXPECT_EQ(S_OK, results[n]);
    EXPECT_EQ(n % 2 ? kGermanHelpError : kEnglishHelpError, texts[n]);
  }
}

// Without an override the user's interface language decides. ctest runs this
// once more with a German Unix locale, which Wine turns into a German interface
// language, and names the expected code in DELVORA_EXPECT_GUI_LANGUAGE.
TEST(ResLoaderUserLanguage, FollowsTheInterfaceLanguage) {
  wchar_t expected[16] = {};
  if (GetEnvironmentVariableW(L"DELVORA_EXPECT_GUI_LANGUAGE", expected, 16) == 0) {
    GTEST_SKIP() << "run by the resloader_german_interface test";
  }
  ASSERT_GE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), 0);
  SetEnvironmentVariableW(TQRESLOADER_LANGUAGE_ENV, nullptr);
  {
    CComOwner<ITqGuiLanguages> languages;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_TqResLoader, nullptr, CLSCTX_INPROC_SERVER, IID_ITqGuiLanguages,
                                     languages.Receive()));
    Bstr code;
    EXPECT_EQ(S_OK, languages->GetGuiLanguage(code.Receive()));
    EXPECT_EQ(std::wstring(expected), code.Text());
    Bstr override;
    EXPECT_EQ(S_OK, languages->GetLanguageOverride(override.Receive()));
    EXPECT_EQ(L"", override.Text());

    CComOwner<ITqResLoader> loader;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_TqResLoader, nullptr, CLSCTX_INPROC_SERVER, IID_ITqResLoader,
                                     loader.Receive()));
    LONG selector = 0;
    loader->GetCurrentLanguage(&selector);
    Bstr current;
    EXPECT_EQ(S_OK, loader->GetLanguageCode(selector, current.Receive()));
    EXPECT_EQ(std::wstring(expected), current.Text());
  }
  CoUninitialize();
}

}  // namespace
