// Start-up and the main sheet, run through the framework's main function with a
// fake resource loader registered in-process: each start-up failure shows its
// message and ends the program without a sheet; a good start-up opens the sheet
// on the device page and the exit command ends the program. The help command's
// messages come from the registry's root path and the shell's answer. As a
// desktop window the sheet runs with common controls 6, resizes its pages, shows
// the program's icon, ignores Enter and Esc, follows DPI changes, and keeps within
// the work area of its screen, also where its design is larger (144 DPI). It
// samples the global history whichever page shows, and the global page's graphs
// keep a usable size and share what the page gains.

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <array>
#include <cwctype>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/MainSheet.h"
#include "app/StatsApp.h"
#include "framework/App.h"
#include "framework/Dpi.h"
#include "framework/Resource.h"
#include "resloader/TqResLoader.h"
#include "resources/resource.h"
#include "stats/Formatting.h"
#include "tests/framework_windows/GuiHarness.h"

using namespace gui_test;

namespace {

// What the fake loader does; every field is one way start-up can go.
struct LoaderScript {
  HRESULT createLoader = S_OK;
  bool nullLoader = false;
  HRESULT createLanguages = S_OK;
  LONG currentLanguage = 0x0409;
  HRESULT loadResString = S_OK;
  HRESULT getResModule = S_OK;
  HMODULE module = nullptr;
  // How GetResModule gives the handle: VT_I8 with `module`, or a 32-bit type with `value32`.
  VARTYPE moduleType = VT_I8;
  ULONG value32 = 0;
  const wchar_t* guiLanguage = L"DEU";

  // What start-up did.
  int loaderMethodCalls = 0;
  int languagesCreated = 0;
  std::vector<LONG> selectors;
  std::vector<std::wstring> baseNames;
};

LoaderScript* g_script = nullptr;

class FakeLoader final : public ITqResLoader, public ITqGuiLanguages {
public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_ITqResLoader) {
      *ppv = static_cast<ITqResLoader*>(this);
    } else if (riid == IID_ITqGuiLanguages) {
      *ppv = static_cast<ITqGuiLanguages*>(this);
    } else {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG n = InterlockedDecrement(&m_refs);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }

  HRESULT STDMETHODCALLTYPE GetInstalledLanguageCount(BSTR, LONG*) override { return Called(E_NOTIMPL); }
  HRESULT STDMETHODCALLTYPE GetInstalledLanguage(BSTR, LONG, LONG*) override { return Called(E_NOTIMPL); }
  HRESULT STDMETHODCALLTYPE GetLanguageCode(LONG, BSTR*) override { return Called(E_NOTIMPL); }
  HRESULT STDMETHODCALLTYPE GetLanguageName(LONG, BSTR*) override { return Called(E_NOTIMPL); }
  HRESULT STDMETHODCALLTYPE SetCurrentLanguage(LONG) override { return Called(E_NOTIMPL); }
  HRESULT STDMETHODCALLTYPE GetModulePath(LONG, BSTR, BSTR*) override { return Called(E_NOTIMPL); }
  HRESULT STDMETHODCALLTYPE LoadResString(LONG selector, BSTR baseName, LONG id, BSTR* pText) override {
    Record(selector, baseName);
    if (FAILED(g_script->loadResString)) return Called(g_script->loadResString);
    CString text;
    if (!text.LoadString(g_script->module, static_cast<UINT>(id))) return Called(E_FAIL);
    *pText = ::SysAllocString(text.GetString());
    return Called(S_OK);
  }
  HRESULT STDMETHODCALLTYPE GetLoaderDirectory(BSTR*) override { return Called(E_NOTIMPL); }
  HRESULT STDMETHODCALLTYPE FindLanguage(BSTR, LONG*) override { return Called(E_NOTIMPL); }
  HRESULT STDMETHODCALLTYPE GetResolvedLanguage(LONG, BSTR, LONG*) override { return Called(E_NOTIMPL); }
  HRESULT STDMETHODCALLTYPE GetResModule(LONG selector, BSTR baseName, VARIANT* pModule) override {
    Record(selector, baseName);
    if (FAILED(g_script->getResModule)) return Called(g_script->getResModule);
    pModule->vt = g_script->moduleType;
    if (g_script->moduleType == VT_I8) {
      pModule->llVal = reinterpret_cast<LONGLONG>(g_script->module);
    } else {
      pModule->ulVal = g_script->value32;
    }
    return Called(S_OK);
  }
  HRESULT STDMETHODCALLTYPE GetDefaultLanguage(LONG*) override { return Called(E_NOTIMPL); }
  HRESULT STDMETHODCALLTYPE GetCurrentLanguage(LONG* pSelector) override {
    *pSelector = g_script->currentLanguage;
    return Called(S_OK);
  }

  HRESULT STDMETHODCALLTYPE GetGuiLanguageId(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetLanguageOverride(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCodeForLanguageId(LONG, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSystemLanguage(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetGuiLanguage(BSTR* pCode) override {
    *pCode = g_script->guiLanguage ? ::SysAllocString(g_script->guiLanguage) : nullptr;
    return S_OK;
  }

private:
  HRESULT Called(HRESULT hr) {
    ++g_script->loaderMethodCalls;
    return hr;
  }
  void Record(LONG selector, BSTR baseName) {
    g_script->selectors.push_back(selector);
    g_script->baseNames.push_back(baseName ? baseName : L"(null)");
  }
  LONG m_refs = 1;

public:
  virtual ~FakeLoader() = default;
};

class FakeFactory : public IClassFactory {
public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *ppv = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (pOuter) return CLASS_E_NOAGGREGATION;
    if (riid == IID_ITqGuiLanguages) {
      ++g_script->languagesCreated;
      if (FAILED(g_script->createLanguages)) return g_script->createLanguages;
    } else {
      if (FAILED(g_script->createLoader)) return g_script->createLoader;
      if (g_script->nullLoader) return S_OK;
    }
    FakeLoader* p = new FakeLoader;
    const HRESULT hr = p->QueryInterface(riid, ppv);
    p->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

FakeFactory g_factory;

class StartUp : public ::testing::Test {
protected:
  void SetUp() override {
    m_hModule = UseResourceModule();
    ASSERT_NE(nullptr, m_hModule) << "bin\\enu\\DelvoraRes.dll is missing";
    m_script.module = m_hModule;
    g_script = &m_script;
    ASSERT_HRESULT_SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    ASSERT_HRESULT_SUCCEEDED(::CoRegisterClassObject(CLSID_TqResLoader, &g_factory, CLSCTX_INPROC_SERVER,
                                                     REGCLS_MULTIPLEUSE, &m_cookie));
    // Start-up must take its resources from the module the loader names.
    AfxSetResourceHandle(::GetModuleHandleW(nullptr));
  }
  void TearDown() override {
    if (m_cookie) ::CoRevokeClassObject(m_cookie);
    ::CoUninitialize();
    g_script = nullptr;
    AfxSetResourceHandle(m_hModule);
  }

  // Runs the program's main function once; the answerer sees every message box.
  // A window other than a message box is closed at once when closeOthers is set.
  int RunProgram(CStatsApp& app, MessageBoxAnswerer& answerer, bool closeOthers = true) {
    if (closeOthers) answerer.onOtherWindow = [](HWND hWnd) { ::PostMessageW(hWnd, WM_CLOSE, 0, 0); };
    (void)app;
    return AfxWinMain(::GetModuleHandleW(nullptr), nullptr, const_cast<wchar_t*>(L""), SW_SHOWNORMAL);
  }

  void ExpectOneMessageAndNoSheet(const std::wstring& text) {
    CStatsApp app;
    MessageBoxAnswerer answerer;
    EXPECT_EQ(0, RunProgram(app, answerer));
    ASSERT_EQ(1u, answerer.boxes.size()) << "expected: " << std::string(text.begin(), text.end());
    EXPECT_EQ(text, answerer.boxes[0].text);
    for (const std::wstring& cls : answerer.otherClasses) {
      ADD_FAILURE() << "a window opened although start-up failed: class " << std::string(cls.begin(), cls.end());
    }
  }

  HMODULE m_hModule = nullptr;
  DWORD m_cookie = 0;
  LoaderScript m_script;
};

std::wstring SystemText(HRESULT hr) { return GetSystemErrorText(hr).GetString(); }

TEST_F(StartUp, ALoaderThatCannotBeCreatedEndsTheProgramWithItsMessage) {
  // An unregistered loader; Wine has no text for the code: the message names it then.
  m_script.createLoader = REGDB_E_CLASSNOTREG;
  ASSERT_FALSE(SystemText(REGDB_E_CLASSNOTREG).empty());
  ExpectOneMessageAndNoSheet(L"Unable to CoCreateInstance(CLSID_TqResLoader,IID_ITqResLoader). Error " +
                             SystemText(REGDB_E_CLASSNOTREG) + L".");
  EXPECT_EQ(0, m_script.languagesCreated);
}

TEST_F(StartUp, ALoaderCreatedAsANullPointerIsNeverCalled) {
  m_script.nullLoader = true;
  ExpectOneMessageAndNoSheet(L"spResLoader.get() == NULL");
  EXPECT_EQ(0, m_script.loaderMethodCalls);
}

TEST_F(StartUp, AModuleThatDoesNotAnswerEndsTheProgram) {
  m_script.loadResString = HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
  ExpectOneMessageAndNoSheet(L"Failed to get resource from resource file DelvoraRes.");

  m_script = LoaderScript();
  m_script.module = m_hModule;
  m_script.getResModule = HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
  ExpectOneMessageAndNoSheet(L"Failed to get handle to resource file DelvoraRes.DLL");
  EXPECT_EQ(0, m_script.languagesCreated);
  // The probe and the module request both name the module and pass the loader's selector.
  EXPECT_EQ((std::vector<LONG>{0x0409, 0x0409}), m_script.selectors);
  EXPECT_EQ((std::vector<std::wstring>{L"DelvoraRes", L"DelvoraRes"}), m_script.baseNames);
}

TEST_F(StartUp, A32BitModuleHandleCountsOnlyWhenItIsTheHandleOfALoadedModule) {
  HMODULE hLow = ::LoadLibraryW(L"LowModule.dll");
  ASSERT_NE(nullptr, hLow) << "bin\\LowModule.dll is missing";
  const ULONG_PTR low = reinterpret_cast<ULONG_PTR>(hLow);
  ASSERT_EQ(0x90000000u, low) << "the module was not placed at its fixed base";
  // Both 32-bit types, the top bit set: the value is zero-extended.
  for (VARTYPE type : {VT_I4, VT_UI4}) {
    m_script.moduleType = type;
    m_script.value32 = static_cast<ULONG>(low);
    CStatsApp app;
    EXPECT_TRUE(app.LoadResourceModule()) << "type " << type;
    EXPECT_EQ(hLow, AfxGetResourceHandle()) << "type " << type;
    AfxSetResourceHandle(::GetModuleHandleW(nullptr));
  }
  // An address inside the module, and one where nothing is loaded: today's message.
  for (ULONG value : {static_cast<ULONG>(low + 0x1000), 0x12340000ul}) {
    m_script.moduleType = VT_I4;
    m_script.value32 = value;
    ExpectOneMessageAndNoSheet(L"Failed to get handle to resource file DelvoraRes.DLL");
  }
  ::FreeLibrary(hLow);
}

TEST_F(StartUp, AFailingLanguagesInterfaceEndsTheProgram) {
  m_script.createLanguages = E_NOINTERFACE;
  ExpectOneMessageAndNoSheet(L"Unable to CoCreateInstance(CLSID_TqResLoader,IID_ITqGuiLanguages). Error " +
                             SystemText(E_NOINTERFACE) + L".");
}

TEST_F(StartUp, TheSheetOpensOnTheDevicePageWithoutButtonsAndTheExitCommandEndsTheProgram) {
  m_script.currentLanguage = 0x0407;
  CStatsApp app;
  MessageBoxAnswerer answerer;
  std::vector<std::wstring> pageKinds;
  std::wstring caption;
  int selectedAtStart = -1;
  int tabCount = 0;
  bool okVisible = true, cancelVisible = true, applyVisible = true, helpVisible = true;
  bool deviceMenuHasExit = false, recordMenuHasSettings = false, deviceMenuHasSettings = true;
  HMODULE hResourceDuringRun = nullptr;
  const ModalScript inLoop([&] {
    CWnd* pMain = AfxGetMainWnd();
    ASSERT_NE(nullptr, pMain);
    HWND hSheet = pMain->m_hWnd;
    hResourceDuringRun = AfxGetResourceHandle();
    caption = WindowText(hSheet);
    HWND hTab = reinterpret_cast<HWND>(::SendMessageW(hSheet, PSM_GETTABCONTROL, 0, 0));
    tabCount = static_cast<int>(::SendMessageW(hTab, TCM_GETITEMCOUNT, 0, 0));
    selectedAtStart = static_cast<int>(::SendMessageW(hTab, TCM_GETCURSEL, 0, 0));
    auto visible = [&](int id) {
      HWND h = ::GetDlgItem(hSheet, id);
      return h != nullptr && ::IsWindowVisible(h);
    };
    okVisible = visible(IDOK);
    cancelVisible = visible(IDCANCEL);
    applyVisible = visible(0x3021);
    helpVisible = visible(IDHELP);
    auto menuHas = [&](UINT id) {
      MENUITEMINFOW info = {};
      info.cbSize = sizeof(info);
      info.fMask = MIIM_ID;
      return ::GetMenuItemInfoW(::GetMenu(hSheet), id, FALSE, &info) != FALSE;
    };
    deviceMenuHasExit = menuHas(ID_EXIT);
    deviceMenuHasSettings = menuHas(ID_LOG_SETTINGS);
    // The tabs in order: which page holds which control.
    for (int tab = 0; tab < 3; ++tab) {
      ::SendMessageW(hSheet, PSM_SETCURSEL, static_cast<WPARAM>(tab), 0);
      HWND hPage = reinterpret_cast<HWND>(::SendMessageW(hSheet, PSM_GETCURRENTPAGEHWND, 0, 0));
      // Control ids repeat between templates: the kind of control tells the pages apart.
      auto classOf = [&](int id) {
        wchar_t cls[64] = {};
        HWND h = ::GetDlgItem(hPage, id);
        if (h) ::GetClassNameW(h, cls, 64);
        return std::wstring(cls);
      };
      if (classOf(IDC_DEVICE_LIST) == WC_LISTVIEWW) {
        pageKinds.push_back(L"device");
      } else if (classOf(IDC_RECORD_LIST) == WC_LISTVIEWW) {
        pageKinds.push_back(L"record log");
      } else if (classOf(IDC_RESET_COUNTERS) == L"Button") {
        pageKinds.push_back(L"global");
      } else {
        pageKinds.push_back(L"?");
      }
      if (tab == 2) recordMenuHasSettings = menuHas(ID_LOG_SETTINGS);
    }
    SendMenuCommand(hSheet, ID_EXIT);
  });
  EXPECT_EQ(0, RunProgram(app, answerer, false));
  EXPECT_TRUE(answerer.boxes.empty());
  EXPECT_EQ(m_hModule, hResourceDuringRun);
  EXPECT_EQ(L"Delvora", caption);
  EXPECT_EQ(3, tabCount);
  EXPECT_EQ(1, selectedAtStart);
  EXPECT_FALSE(okVisible);
  EXPECT_FALSE(cancelVisible);
  EXPECT_FALSE(applyVisible);
  EXPECT_FALSE(helpVisible);
  EXPECT_TRUE(deviceMenuHasExit);
  EXPECT_FALSE(deviceMenuHasSettings);
  EXPECT_TRUE(recordMenuHasSettings);
  EXPECT_EQ((std::vector<std::wstring>{L"global", L"device", L"record log"}), pageKinds);
  EXPECT_EQ(nullptr, AfxGetMainWnd());
  EXPECT_STREQ(L"deu", app.GetLanguage().GetText());
  EXPECT_EQ((std::vector<LONG>{0x0407, 0x0407}), m_script.selectors);
}

TEST_F(StartUp, AnEmptyOrMissingLanguageCodeCountsAsEnglish) {
  for (const wchar_t* code : {L"", static_cast<const wchar_t*>(nullptr)}) {
    m_script.guiLanguage = code;
    CStatsApp app;
    EXPECT_TRUE(app.LoadResourceModule());
    EXPECT_STREQ(L"enu", app.GetLanguage().GetText());
  }
}

// ---- the help command ---------------------------------------------------------------------

class HelpCommand : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_NE(nullptr, UseResourceModule());
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Tarquel\\Orrindale\\1.0", 0, nullptr,
                                               0, KEY_ALL_ACCESS, nullptr, &m_hKey, nullptr));
    CString text;
    ASSERT_TRUE(text.LoadString(IDS_ERROR_HELP));
    m_strHelpError = text.GetString();
  }
  void TearDown() override {
    ::RegDeleteValueW(m_hKey, L"Root Path");
    ::RegCloseKey(m_hKey);
  }
  void SetRoot(const std::wstring& root) {
    ::RegSetValueExW(m_hKey, L"Root Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(root.c_str()),
                     static_cast<DWORD>((root.size() + 1) * sizeof(wchar_t)));
  }
  // Runs the help command on a main sheet; the texts of the boxes it showed.
  std::vector<std::wstring> ShowHelp() {
    CMainSheet sheet(L"Delvora");
    MessageBoxAnswerer answerer;
    const ModalScript inLoop([&] {
      SendMenuCommand(sheet.m_hWnd, ID_HELP);
      SendMenuCommand(sheet.m_hWnd, ID_EXIT);
    });
    sheet.DoModal();
    std::vector<std::wstring> texts;
    for (const auto& box : answerer.boxes) texts.push_back(box.text);
    return texts;
  }
  HKEY m_hKey = nullptr;
  std::wstring m_strHelpError;
};

TEST_F(HelpCommand, AMissingRootPathShowsTheRegistryFailure) {
  ::RegDeleteValueW(m_hKey, L"Root Path");
  const HRESULT hr = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  EXPECT_EQ((std::vector<std::wstring>{m_strHelpError + L" " + SystemText(hr) + L" (0x80070002) [LoadOrrindaleRootPath]"}),
            ShowHelp());
}

TEST_F(HelpCommand, AMissingHelpFileNamesThePathWithOneBackslashBeforeTheTail) {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  std::wstring root = std::wstring(temp) + L"DelvoraHelpTest";
  ::CreateDirectoryW(root.c_str(), nullptr);
  const std::wstring expectedPath = root + L"\\Utilities\\Audio\\Delvora.htm";

  for (const std::wstring& given : {root, root + L"\\"}) {
    SetRoot(given);
    const std::vector<std::wstring> texts = ShowHelp();
    ASSERT_EQ(1u, texts.size());
    // The file (and its folder) are missing: the shell says 2 or 3, both shown with the system text.
    const std::wstring notFound = m_strHelpError + L" " + SystemText(HRESULT_FROM_WIN32(2)) + L" [" + expectedPath + L"]";
    const std::wstring noPath = m_strHelpError + L" " + SystemText(HRESULT_FROM_WIN32(3)) + L" [" + expectedPath + L"]";
    EXPECT_TRUE(texts[0] == notFound || texts[0] == noPath) << std::string(texts[0].begin(), texts[0].end());
  }
  ::RemoveDirectoryW(root.c_str());
}

}  // namespace

namespace {

TEST(MainSheetMenu, SelectAllIsGrayedOnTheGlobalPageOnlyAndEveryOtherItemIsEnabled) {
  ASSERT_NE(nullptr, UseResourceModule());
  CMainSheet sheet(L"Delvora");
  // Per page: whether each command's item is grayed when its popup opens.
  std::vector<std::vector<std::pair<UINT, bool>>> grayed(3);
  const ModalScript inLoop([&] {
    for (int tab = 0; tab < 3; ++tab) {
      ::SendMessageW(sheet.m_hWnd, PSM_SETCURSEL, static_cast<WPARAM>(tab), 0);
      HMENU hBar = ::GetMenu(sheet.m_hWnd);
      for (int pos = 0; pos < ::GetMenuItemCount(hBar); ++pos) {
        HMENU hPopup = ::GetSubMenu(hBar, pos);
        const WPARAM popup = reinterpret_cast<WPARAM>(hPopup);
        ::SendMessageW(sheet.m_hWnd, WM_INITMENUPOPUP, popup, MAKELPARAM(pos, FALSE));
        for (int item = 0; item < ::GetMenuItemCount(hPopup); ++item) {
          const UINT id = ::GetMenuItemID(hPopup, item);
          if (id == 0) continue;  // a separator
          const bool bGrayed = (::GetMenuState(hPopup, id, MF_BYCOMMAND) & MF_GRAYED) != 0;
          grayed[static_cast<size_t>(tab)].emplace_back(id, bGrayed);
        }
      }
    }
    SendMenuCommand(sheet.m_hWnd, ID_EXIT);
  });
  sheet.DoModal();
  typedef std::vector<std::pair<UINT, bool>> Items;
  // The View menu's Sort by popup is an item without an id (-1).
  const UINT kSortBy = static_cast<UINT>(-1);
  EXPECT_EQ((Items{{ID_EXIT, false}, {ID_EDIT_COPY, false}, {ID_EDIT_SELECT_ALL, true}, {ID_EDIT_FIND, true},
                   {kSortBy, true}, {ID_HELP, false}, {ID_ABOUT, false}}),
            grayed[0]);
  EXPECT_EQ((Items{{ID_EXIT, false}, {ID_EDIT_COPY, false}, {ID_EDIT_SELECT_ALL, false}, {ID_EDIT_FIND, false},
                   {kSortBy, true}, {ID_HELP, false}, {ID_ABOUT, false}}),
            grayed[1]);
  EXPECT_EQ((Items{{ID_SAVE_HISTORY_AS, false}, {ID_EXIT, false}, {ID_EDIT_COPY, false},
                   {ID_EDIT_SELECT_ALL, false}, {ID_EDIT_FIND, false}, {kSortBy, true}, {ID_LOG_SETTINGS, false},
                   {ID_HISTORY_SIZE, false}, {ID_OPEN_RECORDER_FOLDER, false}, {ID_HELP, false}, {ID_ABOUT, false}}),
            grayed[2]);
}

TEST(MainSheetAbout, TheAboutCommandShowsTheAboutBoxOwnedByTheSheetOnAnyPage) {
  ASSERT_NE(nullptr, UseResourceModule());
  CMainSheet sheet(L"Delvora");
  MessageBoxAnswerer answerer;
  std::vector<HWND> owners;
  HWND hSheet = nullptr;
  answerer.onOtherWindow = [&](HWND hWnd) {
    if (!::GetDlgItem(hWnd, IDC_ABOUT_ICON)) return;  // the sheet itself
    owners.push_back(::GetWindow(hWnd, GW_OWNER));
    ::PostMessageW(hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  };
  const ModalScript inLoop([&] {
    hSheet = sheet.m_hWnd;
    SendMenuCommand(sheet.m_hWnd, ID_ABOUT);
    ::SendMessageW(sheet.m_hWnd, PSM_SETCURSEL, 2, 0);
    SendMenuCommand(sheet.m_hWnd, ID_ABOUT);
    SendMenuCommand(sheet.m_hWnd, ID_EXIT);
  });
  sheet.DoModal();
  EXPECT_TRUE(answerer.boxes.empty());
  ASSERT_EQ(2u, owners.size());
  EXPECT_EQ(hSheet, owners[0]);
  EXPECT_EQ(hSheet, owners[1]);
}

}  // namespace

// ---- the sheet as a desktop window: size, icon, keys, DPI ---------------------------------

namespace {

// A control's distances to its parent's client edges: left, top, right, bottom.
std::array<LONG, 4> Margins(HWND hControl) {
  RECT rc = {}, client = {};
  ::GetWindowRect(hControl, &rc);
  ::MapWindowPoints(nullptr, ::GetParent(hControl), reinterpret_cast<POINT*>(&rc), 2);
  ::GetClientRect(::GetParent(hControl), &client);
  return {rc.left, rc.top, client.right - rc.right, client.bottom - rc.bottom};
}

SIZE WindowSize(HWND hWnd) {
  RECT rc = {};
  ::GetWindowRect(hWnd, &rc);
  return {rc.right - rc.left, rc.bottom - rc.top};
}

SIZE MinTrackSize(HWND hWnd) {
  MINMAXINFO info = {};
  ::SendMessageW(hWnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  return {info.ptMinTrackSize.x, info.ptMinTrackSize.y};
}

int IconWidth(HICON hIcon) {
  ICONINFO info = {};
  if (!hIcon || !::GetIconInfo(hIcon, &info)) return 0;
  BITMAP bm = {};
  ::GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bm), &bm);
  if (info.hbmColor) ::DeleteObject(info.hbmColor);
  if (info.hbmMask) ::DeleteObject(info.hbmMask);
  return bm.bmWidth;
}

int ImageSize(HIMAGELIST hImages) {
  int cx = 0, cy = 0;
  return hImages && ImageList_GetIconSize(hImages, &cx, &cy) ? cx : 0;
}

std::vector<int> ColumnWidths(const CListCtrl& list) {
  std::vector<int> widths;
  for (int col = 0; col < CHeaderCtrl(list.GetHeaderCtrl()).GetItemCount(); ++col) {
    widths.push_back(list.GetColumnWidth(col));
  }
  return widths;
}

std::vector<int> Scaled(const std::vector<int>& widths, int from, int to) {
  std::vector<int> scaled;
  for (int w : widths) scaled.push_back(::MulDiv(w, to, from));
  return scaled;
}

// The size of a page's dialog template in the page's pixels.
SIZE TemplateSize(HWND hPage, UINT nIDTemplate) {
  HMODULE hModule = AfxGetResourceHandle();
  HRSRC hRes = ::FindResourceW(hModule, MAKEINTRESOURCEW(nIDTemplate), reinterpret_cast<LPCWSTR>(RT_DIALOG));
  const WORD* p = hRes ? static_cast<const WORD*>(::LockResource(::LoadResource(hModule, hRes))) : nullptr;
  if (!p || p[1] != 0xFFFF) return {0, 0};
  RECT rc = {0, 0, static_cast<SHORT>(p[11]), static_cast<SHORT>(p[12])};  // DLGTEMPLATEEX cx, cy
  ::MapDialogRect(hPage, &rc);
  return {rc.right, rc.bottom};
}

// Whether the window lies within the work area (the test screen has one monitor).
bool WithinWorkArea(HWND hWnd) {
  RECT rc = {}, work = {}, both = {};
  ::GetWindowRect(hWnd, &rc);
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  return ::IntersectRect(&both, &rc, &work) && ::EqualRect(&both, &rc);
}

// A key pressed while the window has the focus, as the sheet's own loop reads it.
void PostKey(HWND hWnd, UINT vk) {
  ::PostMessageW(hWnd, WM_KEYDOWN, vk, 0x00000001);
  ::PostMessageW(hWnd, WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
}

TEST(MainSheetWindow, TheProgramRunsWithTheCommonControlsOfItsManifest) {
  // Version 6 is the side-by-side assembly: the manifest's dependency brings it
  // in place of the system folder's version 5.
  HMODULE hComctl = ::GetModuleHandleW(L"comctl32.dll");
  ASSERT_NE(nullptr, hComctl);
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(hComctl, path, MAX_PATH);
  std::wstring file(path);
  for (wchar_t& c : file) c = static_cast<wchar_t>(::towlower(c));
  EXPECT_NE(std::wstring::npos, file.find(L"\\winsxs\\")) << std::string(file.begin(), file.end());
  EXPECT_NE(std::wstring::npos, file.find(L"common-controls_6595b64144ccf1df_6.0."));
}

TEST(MainSheetWindow, ListsFollowTheSheetsSizeWhileButtonsKeepTheirCornersAndTheOpeningSizeIsTheMinimum) {
  ASSERT_NE(nullptr, UseResourceModule());
  CMainSheet sheet(L"Delvora");
  const ModalScript inLoop([&] {
    HWND hSheet = sheet.m_hWnd;
    const DWORD style = static_cast<DWORD>(::GetWindowLongW(hSheet, GWL_STYLE));
    EXPECT_EQ(static_cast<DWORD>(WS_THICKFRAME | WS_MINIMIZEBOX), style & (WS_THICKFRAME | WS_MINIMIZEBOX));
    // The sheet opens with the whole page showing: its menu bar took no room from it.
    RECT page = {};
    ::GetClientRect(sheet.m_pageDevice.m_hWnd, &page);
    const SIZE design = TemplateSize(sheet.m_pageDevice.m_hWnd, IDD_DEVICE_PAGE);
    EXPECT_EQ(design.cx, page.right);
    EXPECT_EQ(design.cy, page.bottom);
    const SIZE open = WindowSize(hSheet);
    const SIZE minimum = MinTrackSize(hSheet);
    EXPECT_EQ(open.cx, minimum.cx);
    EXPECT_EQ(open.cy, minimum.cy);

    // The executable's icon, big and small, at the sizes of the window's DPI.
    const UINT dpi = GetWindowDpi(hSheet);
    const HICON hBig = reinterpret_cast<HICON>(::SendMessageW(hSheet, WM_GETICON, ICON_BIG, 0));
    const HICON hSmall = reinterpret_cast<HICON>(::SendMessageW(hSheet, WM_GETICON, ICON_SMALL, 0));
    EXPECT_EQ(GetSystemMetricForDpi(SM_CXICON, dpi), IconWidth(hBig));
    EXPECT_EQ(GetSystemMetricForDpi(SM_CXSMICON, dpi), IconWidth(hSmall));

    // The other pages exist from their first visit on; they are hidden while the sheet is resized.
    ::SendMessageW(hSheet, PSM_SETCURSEL, 0, 0);
    ::SendMessageW(hSheet, PSM_SETCURSEL, 2, 0);
    ::SendMessageW(hSheet, PSM_SETCURSEL, 1, 0);
    HWND hDevicePage = sheet.m_pageDevice.m_hWnd, hRecordPage = sheet.m_pageRecordLog.m_hWnd;
    const std::vector<HWND> lists = {sheet.m_pageDevice.m_listDevices.m_hWnd,
                                     sheet.m_pageRecordLog.m_listRecords.m_hWnd};
    const std::vector<HWND> fixed = {
        ::GetDlgItem(hDevicePage, IDC_DETAILS), ::GetDlgItem(hRecordPage, IDC_LOG_STATUS),
        ::GetDlgItem(hRecordPage, IDC_RECORDER_STATUS), ::GetDlgItem(hRecordPage, IDC_START_STOP), ::GetDlgItem(hRecordPage, IDC_CLEAR_RECORDS),
        ::GetDlgItem(sheet.m_pageGlobal.m_hWnd, IDC_RESET_COUNTERS)};
    std::vector<SIZE> listSizes;
    std::vector<std::array<LONG, 4>> listMargins, fixedMargins;
    for (HWND h : lists) {
      listSizes.push_back(WindowSize(h));
      listMargins.push_back(Margins(h));
    }
    for (HWND h : fixed) {
      ASSERT_NE(nullptr, h);
      fixedMargins.push_back(Margins(h));
    }
    const std::array<LONG, 4> detailsAt = fixedMargins[0];

    // Larger, then smaller again (never below the opening size).
    // Wine keeps a window within the screen's maximum track size.
    ASSERT_LE(open.cx + 120, ::GetSystemMetrics(SM_CXMAXTRACK)) << "no room on the screen to grow the sheet";
    ASSERT_LE(open.cy + 90, ::GetSystemMetrics(SM_CYMAXTRACK)) << "no room on the screen to grow the sheet";
    for (SIZE grow : {SIZE{120, 90}, SIZE{40, 30}}) {
      ::SetWindowPos(hSheet, nullptr, 0, 0, open.cx + grow.cx, open.cy + grow.cy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      for (size_t i = 0; i < lists.size(); ++i) {
        const SIZE size = WindowSize(lists[i]);
        EXPECT_EQ(listSizes[i].cx + grow.cx, size.cx) << "list " << i << " grown by " << grow.cx;
        EXPECT_EQ(listSizes[i].cy + grow.cy, size.cy) << "list " << i << " grown by " << grow.cy;
        EXPECT_EQ(listMargins[i], Margins(lists[i])) << "list " << i;
      }
      // Each keeps its distance to the edges it is anchored to.
      const std::array<LONG, 4> details = Margins(fixed[0]);
      EXPECT_EQ(detailsAt[0], details[0]);
      EXPECT_EQ(detailsAt[3], details[3]);
      for (size_t i = 1; i <= 2; ++i) {
        const std::array<LONG, 4> status = Margins(fixed[i]);
        EXPECT_EQ(fixedMargins[i][0], status[0]) << "status " << i;
        EXPECT_EQ(fixedMargins[i][3], status[3]) << "status " << i;
      }
      for (size_t i = 3; i < fixed.size(); ++i) {
        const std::array<LONG, 4> button = Margins(fixed[i]);
        EXPECT_EQ(fixedMargins[i][2], button[2]) << "button " << i;
        EXPECT_EQ(fixedMargins[i][3], button[3]) << "button " << i;
        EXPECT_EQ(fixedMargins[i][0] + grow.cx, button[0]) << "button " << i;
      }
    }
    // The hidden page shows at the sheet's size when it is chosen.
    ::SendMessageW(hSheet, PSM_SETCURSEL, 2, 0);
    EXPECT_EQ(listSizes[1].cx + 40, WindowSize(lists[1]).cx);
    SendMenuCommand(hSheet, ID_EXIT);
  });
  sheet.DoModal();
}

TEST(MainSheetWindow, EnterAndEscapeLeaveTheSheetOpenWhileTheCloseBoxAndTheExitCommandEndIt) {
  ASSERT_NE(nullptr, UseResourceModule());
  const std::vector<std::function<void(HWND)>> closers = {
      [](HWND hSheet) { SendMenuCommand(hSheet, ID_EXIT); },
      [](HWND hSheet) { ::SendMessageW(hSheet, WM_SYSCOMMAND, SC_CLOSE, 0); },  // close box, Alt+F4
  };
  for (size_t n = 0; n < closers.size(); ++n) {
    CMainSheet sheet(L"Delvora");
    MessageBoxAnswerer answerer;
    int aboutBoxes = 0;
    // The about box's own Cancel still answers Esc.
    answerer.onOtherWindow = [&](HWND hWnd) {
      if (!::GetDlgItem(hWnd, IDC_ABOUT_ICON)) return;
      ++aboutBoxes;
      PostKey(hWnd, VK_ESCAPE);
    };
    bool openAfterKeys = false;
    std::unique_ptr<ModalScript> thenClose;
    const ModalScript keys([&] {
      HWND hSheet = sheet.m_hWnd;
      SendMenuCommand(hSheet, ID_ABOUT);
      HWND hList = sheet.m_pageDevice.m_listDevices.m_hWnd;
      ::SetFocus(hList);
      for (HWND hTarget : {hList, hSheet}) {
        PostKey(hTarget, VK_RETURN);
        PostKey(hTarget, VK_ESCAPE);
      }
      // What the dialog manager makes of those keys, and the same commands from a menu.
      ::SendMessageW(hSheet, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(::GetDlgItem(hSheet, IDOK)));
      ::SendMessageW(hSheet, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(::GetDlgItem(hSheet, IDCANCEL)));
      SendMenuCommand(hSheet, IDOK);
      SendMenuCommand(hSheet, IDCANCEL);
      // Runs in the sheet's loop after the keys: only if the sheet is still there.
      thenClose = std::make_unique<ModalScript>([&, hSheet] {
        openAfterKeys = ::IsWindowVisible(hSheet) != FALSE;
        closers[n](hSheet);
      });
    });
    sheet.DoModal();
    EXPECT_TRUE(openAfterKeys) << "closer " << n;
    EXPECT_EQ(1, aboutBoxes);
    EXPECT_EQ(nullptr, sheet.m_hWnd) << "closer " << n << " left the sheet open";
  }
}

TEST(MainSheetWindow, ADpiChangeTakesTheSuggestedRectangleWithinTheWorkAreaAndRescalesColumnsImagesIconsAndTheMinimum) {
  ASSERT_NE(nullptr, UseResourceModule());
  CMainSheet sheet(L"Delvora");
  const ModalScript inLoop([&] {
    HWND hSheet = sheet.m_hWnd;
    ::SendMessageW(hSheet, PSM_SETCURSEL, 2, 0);
    ::SendMessageW(hSheet, PSM_SETCURSEL, 1, 0);
    const UINT dpi = GetWindowDpi(hSheet);
    const CListCtrl& devices = sheet.m_pageDevice.m_listDevices;
    const CListCtrl& records = sheet.m_pageRecordLog.m_listRecords;
    const std::vector<int> deviceWidths = ColumnWidths(devices), recordWidths = ColumnWidths(records);
    ASSERT_EQ(10u, deviceWidths.size());
    ASSERT_EQ(10u, recordWidths.size());
    const SIZE minimum = MinTrackSize(hSheet);
    RECT rc = {};
    ::GetWindowRect(hSheet, &rc);
    // Where the design is wider than the screen (app_tests_at_144_dpi), the sheet opens fitted to the work area.
    EXPECT_TRUE(WithinWorkArea(hSheet));
    EXPECT_EQ(Margins(sheet.GetTabControl())[0], Margins(sheet.GetTabControl())[2]);

    // To 150 %, then to 125 %: each change scales from the DPI before it.
    int from = static_cast<int>(dpi);
    std::vector<int> expectDevices = deviceWidths, expectRecords = recordWidths;
    for (int to : {144, 120}) {
      RECT suggested = {rc.left, rc.top, rc.left + ::MulDiv(rc.right - rc.left, to, from),
                        rc.top + ::MulDiv(rc.bottom - rc.top, to, from)};
      ::SendMessageW(hSheet, WM_DPICHANGED, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&suggested));
      RECT now = {};
      ::GetWindowRect(hSheet, &now);
      // The suggestion as far as the work area allows: its height fits, its width may not.
      EXPECT_TRUE(WithinWorkArea(hSheet) && now.top == suggested.top && now.bottom == suggested.bottom) << to;
      expectDevices = Scaled(expectDevices, from, to);
      expectRecords = Scaled(expectRecords, from, to);
      EXPECT_EQ(expectDevices, ColumnWidths(devices)) << "at " << to << " DPI";
      EXPECT_EQ(expectRecords, ColumnWidths(records)) << "at " << to << " DPI";
      EXPECT_EQ(::MulDiv(16, to, 96), ImageSize(CHeaderCtrl(devices.GetHeaderCtrl()).GetImageList()));
      EXPECT_EQ(::MulDiv(16, to, 96), ImageSize(CHeaderCtrl(records.GetHeaderCtrl()).GetImageList()));
      EXPECT_EQ(::MulDiv(16, to, 96), ImageSize(devices.GetImageList(LVSIL_SMALL)));
      EXPECT_EQ(::MulDiv(32, to, 96), ImageSize(devices.GetImageList(LVSIL_NORMAL)));
      const HICON hSmall = reinterpret_cast<HICON>(::SendMessageW(hSheet, WM_GETICON, ICON_SMALL, 0));
      EXPECT_EQ(GetSystemMetricForDpi(SM_CXSMICON, static_cast<UINT>(to)), IconWidth(hSmall));
      const SIZE scaledMinimum = MinTrackSize(hSheet);
      EXPECT_EQ(::MulDiv(minimum.cy, to, static_cast<int>(dpi)), scaledMinimum.cy) << "at " << to << " DPI";
      from = to;
      rc = now;
    }
    SendMenuCommand(hSheet, ID_EXIT);
  });
  sheet.DoModal();
}

// Answers every driver-wide request with the count of requests as its active
// streams, two seconds of driver time apart; no devices.
class CCountingDriver : public CDeviceAccess {
public:
  int GetDeviceCount() override { return 0; }
  HRESULT QueryGlobalCounters(GlobalCounters& record, FILETIME& stamp) override {
    record = GlobalCounters{};
    record.Counter1 = ++nRequests;
    stamp = {nRequests * 20000000u, 0};
    return S_OK;
  }
  unsigned int nRequests = 0;
};

// A control's rectangle in its parent's client area.
RECT RectIn(HWND hParent, int nID) {
  RECT rc = {};
  ::GetWindowRect(::GetDlgItem(hParent, nID), &rc);
  ::MapWindowPoints(nullptr, hParent, reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

TEST(MainSheetWindow, TheHistoryIsSampledWhicheverPageShowsAndItsGraphsShareWhatTheGlobalPageGains) {
  ASSERT_NE(nullptr, UseResourceModule());
  CCountingDriver driver;
  CMainSheet sheet(L"Delvora");
  sheet.SetDeviceAccess(&driver);
  const ModalScript inLoop([&] {
    const HWND hSheet = sheet.m_hWnd;
    // The device page shows: the sheet's own timer samples, one request every two seconds.
    const DWORD start = ::GetTickCount();
    PumpMessages(7000, [&] { return sheet.GetHistory().GetCount() >= 2; });
    EXPECT_GE(::GetTickCount() - start, 3500u);
    EXPECT_EQ(2, sheet.GetHistory().GetCount());
    EXPECT_EQ(2u, driver.nRequests);

    // At the sheet's smallest size the graphs lie between the counters and the
    // note, side by side, each large enough to read; they show the samples.
    ::SendMessageW(hSheet, PSM_SETCURSEL, 0, 0);
    const HWND hPage = sheet.m_pageGlobal.m_hWnd;
    EXPECT_EQ(L"Active streams: 2; Streams ended per minute: 0.0", sheet.m_pageGlobal.m_graphCounts.GetValueText());
    const UINT dpi = GetWindowDpi(hSheet);
    RECT page = {};
    ::GetClientRect(hPage, &page);
    const RECT counts = RectIn(hPage, IDC_GRAPH_COUNTS), traffic = RectIn(hPage, IDC_GRAPH_TRAFFIC);
    EXPECT_GT(counts.top, RectIn(hPage, IDC_COUNTER5).bottom);
    EXPECT_LT(counts.bottom, RectIn(hPage, IDC_GLOBAL_NOTE).top);
    EXPECT_LT(counts.right, traffic.left);
    EXPECT_LE(traffic.right, page.right);
    for (const RECT& rc : {counts, traffic}) {
      EXPECT_GE(rc.right - rc.left, ScaleToDpi(250, dpi));
      EXPECT_GE(rc.bottom - rc.top, ScaleToDpi(120, dpi));
    }

    // The codec group keeps its place: on a page narrower than it (at 144 DPI) the
    // page scrolls to it, with the scroll bars and as the focus moves there.
    auto rectOf = [&](HWND h) {
      RECT rc = {};
      ::GetWindowRect(h, &rc);
      ::MapWindowPoints(nullptr, hPage, reinterpret_cast<POINT*>(&rc), 2);
      return rc;
    };
    auto within = [](const RECT& inner, const RECT& outer) {
      RECT both = {};
      return ::IntersectRect(&both, &inner, &outer) && ::EqualRect(&both, &inner);
    };
    auto inView = [&](HWND h) {
      RECT client = {};
      ::GetClientRect(hPage, &client);
      return within(rectOf(h), client);
    };
    std::vector<HWND> shares;  // the group box around the first value, then what lies within it
    for (HWND h = ::GetWindow(hPage, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
      const bool bGroupBox = (::GetWindowLongW(h, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
      if (shares.empty() ? bGroupBox && within(RectIn(hPage, IDC_GROUP_A0), rectOf(h))
                         : within(rectOf(h), rectOf(shares[0]))) {
        shares.push_back(h);
      }
    }
    ASSERT_GE(shares.size(), 7u) << "the group box and its six values";
    ::SendMessageW(hPage, WM_HSCROLL, SB_RIGHT, 0);
    ::SendMessageW(hPage, WM_VSCROLL, SB_BOTTOM, 0);
    for (HWND h : shares) EXPECT_TRUE(inView(h)) << "scrolled to the end at " << dpi << " DPI";
    ::SendMessageW(hPage, WM_HSCROLL, SB_LEFT, 0);
    ::SendMessageW(hPage, WM_VSCROLL, SB_TOP, 0);
    const RECT countsAgain = RectIn(hPage, IDC_GRAPH_COUNTS);
    EXPECT_TRUE(::EqualRect(&counts, &countsAgain)) << "scrolled back";
    const HWND hLast = ::GetDlgItem(hPage, IDC_GROUP_B2);
    ::SendMessageW(hSheet, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(hLast), TRUE);
    EXPECT_TRUE(inView(hLast)) << "the focus moved there at " << dpi << " DPI";
    ::SendMessageW(hPage, WM_HSCROLL, SB_LEFT, 0);

    // Larger (as far as the screen allows): the graphs take all the height gained
    // and half the width each, keeping the gap between them.
    const SIZE open = WindowSize(hSheet);
    ::SetWindowPos(hSheet, nullptr, 0, 0, open.cx + 60, open.cy + 40, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT grown = {};
    ::GetClientRect(hPage, &grown);
    const LONG cxGain = grown.right - page.right, cyGain = grown.bottom - page.bottom;
    EXPECT_GT(cxGain + cyGain, 0);
    const RECT counts2 = RectIn(hPage, IDC_GRAPH_COUNTS), traffic2 = RectIn(hPage, IDC_GRAPH_TRAFFIC);
    EXPECT_EQ(cxGain, (counts2.right - counts.right) + (traffic2.right - traffic.right) - (traffic2.left - traffic.left));
    EXPECT_LE(std::abs((counts2.right - counts.right) - (traffic2.right - traffic2.left - traffic.right + traffic.left)), 1);
    EXPECT_EQ(traffic.left - counts.right, traffic2.left - counts2.right);
    EXPECT_EQ(counts.bottom + cyGain, counts2.bottom);
    EXPECT_EQ(traffic.bottom + cyGain, traffic2.bottom);
    SendMenuCommand(hSheet, ID_EXIT);
  });
  sheet.DoModal();
}

}  // namespace
