// Every resource the program loads by id is present in each language's resource
// module, with the right kind, the controls and commands the pages address, and
// the inserts the messages fill.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <cwctype>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "resources/resource.h"

namespace {

struct Language {
  const wchar_t* folder;
  LANGID langId;
  const wchar_t* versionBlock;
};

std::ostream& operator<<(std::ostream& os, const Language& language) {
  for (const wchar_t* p = language.folder; *p; ++p) os << static_cast<char>(*p);
  return os;
}

std::wstring BinDirectory() {
  wchar_t exe[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring path(exe, length);
  return path.substr(0, path.find_last_of(L'\\') + 1);
}

// Every string id of the table; the value is the inserts it must carry.
const std::map<UINT, std::vector<std::wstring>>& StringTable() {
  static const std::map<UINT, std::vector<std::wstring>> table = {
      {IDS_ERROR_HELP, {}},          {IDS_STOP_LOGGING, {}},         {IDS_ERROR_FILE_OPEN, {L"%s"}},
      {IDS_COL_DEVICE, {}},          {IDS_COL_START_TIME, {}},       {IDS_COL_END_TIME, {}},
      {IDS_COL_ADDRESS, {}},         {IDS_COL_ADDRESS_PORT, {}},     {IDS_COL_PORT, {}},
      {IDS_COL_DURATION, {}},        {IDS_COL_AVERAGE, {}},          {IDS_LOG_LABEL_OPEN, {}},
      {IDS_LOG_LABEL_CLOSED, {}},    {IDS_LOG_NOTE_OPEN, {}},        {IDS_LOG_NOTE_CLOSED, {}},
      {IDS_PROMPT_OVERWRITE, {L"%1"}}, {IDS_VALUE_RANGE, {L"%1", L"%2"}}, {IDS_COL_STATE, {}},
      {IDS_STATE_RUNNING, {}},       {IDS_FAILED_QUERY_DRIVER, {L"%1", L"%2", L"%3", L"%4"}},
      {IDS_COL_COUNTER, {}},         {IDS_NO_PACKETS, {}},           {IDS_START_LOGGING, {}},
      {IDS_STATUS_LOGGING, {}},      {IDS_STATUS_NOT_LOGGING, {}},   {IDS_CODEC_PCM, {}},
      {IDS_CODEC_G711_MULAW, {}},    {IDS_CODEC_G711_ALAW, {}},      {IDS_CODEC_G729, {}},
      {IDS_CODEC_OTHER, {L"%1"}},    {IDS_COL_CODEC, {}},            {IDS_ERROR_FILE_WRITE, {L"%1", L"%2"}},
      {IDS_STATUS_WRITE_FAILED, {}},    {IDS_STATE_NOT_ANSWERING, {}},  {IDS_MORE_FAILED_DEVICES, {L"%1"}},
      {IDS_NO_DEVICES, {L"%1"}},     {IDS_STATUS_LOGGING_TO, {L"%1"}}, {IDS_DRIVER_NOT_ANSWERING, {L"%1"}},
      {IDS_RECORDER_RUNNING, {L"%1"}}, {IDS_RECORDER_STOPPED, {}},     {IDS_RECORDER_NOT_INSTALLED, {}},
      {IDS_RECORDER_PENDING, {}},    {IDS_RECORDER_UNKNOWN, {L"%1"}}, {IDS_ERROR_OPEN_FOLDER, {L"%1", L"%2"}},
      {IDS_HISTORY_TIME, {}},        {IDS_HISTORY_ACTIVE, {}},       {IDS_HISTORY_ENDED, {}},
      {IDS_HISTORY_PACKETS, {}},     {IDS_HISTORY_LOST, {}},         {IDS_HISTORY_UPTIME, {}},
      {IDS_HISTORY_STARTED_G711, {}}, {IDS_HISTORY_STARTED_G729, {}}, {IDS_HISTORY_STARTED_OTHER, {}},
      {IDS_HISTORY_TALK_G711, {}},   {IDS_HISTORY_TALK_G729, {}},    {IDS_HISTORY_TALK_OTHER, {}},
      {IDS_HISTORY_ENDED_PER_MINUTE, {}}, {IDS_HISTORY_PACKETS_PER_SECOND, {}}, {IDS_HISTORY_LOST_PER_SECOND, {}},
      {IDS_GRAPH_MINUTES_AGO, {L"%1!d!"}}, {IDS_GRAPH_NOW, {}},      {IDS_GRAPH_NO_VALUE, {}},
      {IDS_GRAPH_NO_ANSWER, {L"%1"}},
      {IDS_FILTER_CUE, {}},          {IDS_FILTER_COUNT, {L"%1", L"%2"}}, {IDS_SAVE_TITLE_ALL, {L"%1"}},
      {IDS_SAVE_TITLE_FILTERED, {L"%1", L"%2"}}, {IDS_ERROR_SAVE_HISTORY, {L"%1", L"%2"}},
  };
  return table;
}

// The % sequences of a text, each as written: message inserts ("%1", "%12",
// "%1!d!") and printf conversions ("%s", "%-5ld", "%%").
std::vector<std::wstring> PercentSequences(const std::wstring& text) {
  std::vector<std::wstring> found;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'%') continue;
    size_t end = i + 1;
    if (end < text.size() && text[end] >= L'1' && text[end] <= L'9') {
      ++end;
      if (end < text.size() && iswdigit(text[end])) ++end;
      if (end < text.size() && text[end] == L'!') {
        const size_t close = text.find(L'!', end + 1);
        end = close == std::wstring::npos ? text.size() : close + 1;
      }
    } else {
      while (end < text.size() && (iswdigit(text[end]) || wcschr(L"-+ #.lhI", text[end]))) ++end;
      if (end < text.size()) ++end;
    }
    found.push_back(text.substr(i, end - i));
    i = end - 1;
  }
  return found;
}

// --- dialog templates ----------------------------------------------------------

struct DialogControl {
  DWORD id;
  DWORD style;
  std::wstring className;  // "Button", "Edit", "Static" for the predefined ordinals
  std::wstring text;
  short x, y, cx, cy;
};

struct DialogTemplate {
  DWORD style = 0;
  short cx = 0, cy = 0;
  WORD pointSize = 0;
  std::wstring typeface;
  std::vector<DialogControl> controls;
};

const WORD* SkipSzOrOrd(const WORD* p, std::wstring* text) {
  if (*p == 0x0000) return p + 1;
  if (*p == 0xFFFF) {
    if (text) {
      switch (p[1]) {
        case 0x80: *text = L"Button"; break;
        case 0x81: *text = L"Edit"; break;
        case 0x82: *text = L"Static"; break;
        case 0x83: *text = L"ListBox"; break;
        case 0x85: *text = L"ComboBox"; break;
        default: *text = L"#" + std::to_wstring(p[1]); break;
      }
    }
    return p + 2;
  }
  const wchar_t* s = reinterpret_cast<const wchar_t*>(p);
  if (text) *text = s;
  return p + wcslen(s) + 1;
}

const WORD* AlignDword(const WORD* p) {
  return reinterpret_cast<const WORD*>((reinterpret_cast<ULONG_PTR>(p) + 3) & ~ULONG_PTR(3));
}

bool ParseDialog(HMODULE hModule, UINT id, DialogTemplate& dialog) {
  HRSRC hInfo = FindResourceW(hModule, MAKEINTRESOURCEW(id), RT_DIALOG);
  if (hInfo == nullptr) return false;
  const auto* p = static_cast<const WORD*>(LockResource(LoadResource(hModule, hInfo)));
  if (p == nullptr || p[0] != 1 || p[1] != 0xFFFF) return false;  // DIALOGEX only
  const BYTE* b = reinterpret_cast<const BYTE*>(p);
  dialog.style = *reinterpret_cast<const DWORD*>(b + 12);
  const WORD count = *reinterpret_cast<const WORD*>(b + 16);
  dialog.cx = *reinterpret_cast<const short*>(b + 22);
  dialog.cy = *reinterpret_cast<const short*>(b + 24);
  p = reinterpret_cast<const WORD*>(b + 26);
  p = SkipSzOrOrd(p, nullptr);  // menu
  p = SkipSzOrOrd(p, nullptr);  // class
  p += wcslen(reinterpret_cast<const wchar_t*>(p)) + 1;  // title
  if (dialog.style & DS_SETFONT) {
    dialog.pointSize = p[0];
    p += 3;  // point size, weight, italic + charset
    dialog.typeface = reinterpret_cast<const wchar_t*>(p);
    p += dialog.typeface.size() + 1;
  }
  for (WORD n = 0; n < count; ++n) {
    p = AlignDword(p);
    const BYTE* item = reinterpret_cast<const BYTE*>(p);
    DialogControl control;
    control.style = *reinterpret_cast<const DWORD*>(item + 8);
    control.x = *reinterpret_cast<const short*>(item + 12);
    control.y = *reinterpret_cast<const short*>(item + 14);
    control.cx = *reinterpret_cast<const short*>(item + 16);
    control.cy = *reinterpret_cast<const short*>(item + 18);
    control.id = *reinterpret_cast<const DWORD*>(item + 20);
    p = reinterpret_cast<const WORD*>(item + 24);
    p = SkipSzOrOrd(p, &control.className);
    p = SkipSzOrOrd(p, &control.text);
    const WORD extra = *p++;
    p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p) + extra);
    dialog.controls.push_back(control);
  }
  return true;
}

const DialogControl* FindControl(const DialogTemplate& dialog, DWORD id) {
  for (const DialogControl& control : dialog.controls) {
    if (control.id == id) return &control;
  }
  return nullptr;
}

// --- the tests --------------------------------------------------------------------

class ResourceModule : public ::testing::TestWithParam<Language> {
protected:
  void SetUp() override {
    m_path = BinDirectory() + GetParam().folder + L"\\DelvoraRes.dll";
    m_hModule = LoadLibraryW(m_path.c_str());
    ASSERT_NE(nullptr, m_hModule) << "module missing: " << GetParam();
  }
  void TearDown() override {
    if (m_hModule) FreeLibrary(m_hModule);
  }

  std::wstring LoadText(UINT id) {
    wchar_t buffer[1024];
    const int length = LoadStringW(m_hModule, id, buffer, 1024);
    return std::wstring(buffer, length > 0 ? static_cast<size_t>(length) : 0);
  }

  std::wstring m_path;
  HMODULE m_hModule = nullptr;
};

TEST_P(ResourceModule, StringTableHoldsEveryIdWithItsInserts) {
  for (const auto& entry : StringTable()) {
    const std::wstring text = LoadText(entry.first);
    ASSERT_FALSE(text.empty()) << "string " << entry.first;
    const std::vector<std::wstring> found = PercentSequences(text);
    const std::set<std::wstring> foundSet(found.begin(), found.end());
    const std::set<std::wstring> wanted(entry.second.begin(), entry.second.end());
    EXPECT_EQ(wanted, foundSet) << "inserts of string " << entry.first;
    EXPECT_EQ(entry.second.size(), found.size()) << "each insert once in string " << entry.first;
  }

  // Nothing beyond the table: the string blocks hold exactly its ids.
  std::set<UINT> present;
  for (UINT id = 0; id < 256; ++id) {
    if (!LoadText(id).empty()) present.insert(id);
  }
  std::set<UINT> expected;
  for (const auto& entry : StringTable()) expected.insert(entry.first);
  EXPECT_EQ(expected, present);
}

TEST_P(ResourceModule, ResourcesAreInTheModulesLanguage) {
  std::set<LANGID> languages;
  EnumResourceLanguagesW(
      m_hModule, RT_STRING, MAKEINTRESOURCEW(IDS_ERROR_HELP / 16 + 1),
      [](HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) -> BOOL {
        reinterpret_cast<std::set<LANGID>*>(param)->insert(language);
        return TRUE;
      },
      reinterpret_cast<LONG_PTR>(&languages));
  EXPECT_EQ(std::set<LANGID>{GetParam().langId}, languages);
}

TEST_P(ResourceModule, DialogsCarryTheControlsThePagesAddress) {
  struct Expected {
    UINT dialog;
    bool page;
    std::vector<std::pair<DWORD, const wchar_t*>> controls;
  };
  const std::vector<Expected> dialogs = {
      {IDD_ABOUTBOX, false, {{IDOK, L"Button"}}},
      {IDD_GLOBAL_PAGE,
       true,
       {{IDC_RESET_COUNTERS, L"Button"}, {IDC_GROUP_A0, L"Edit"}, {IDC_GROUP_B0, L"Edit"},
        {IDC_GROUP_A1, L"Edit"}, {IDC_GROUP_B1, L"Edit"}, {IDC_GROUP_A2, L"Edit"}, {IDC_GROUP_B2, L"Edit"},
        {IDC_TIMESTAMP, L"Edit"}, {IDC_COUNTER1, L"Edit"}, {IDC_COUNTER2, L"Edit"}, {IDC_COUNTER3, L"Edit"},
        {IDC_COUNTER4, L"Edit"}, {IDC_COUNTER5, L"Edit"}, {IDC_GRAPH_SPAN_10, L"Button"},
        {IDC_GRAPH_SPAN_60, L"Button"}, {IDC_GRAPH_COUNTS, L"Static"}, {IDC_GRAPH_TRAFFIC, L"Static"}}},
      {IDD_DEVICE_PAGE, true,
       {{IDC_DEVICE_LIST, WC_LISTVIEWW}, {IDC_DETAILS, L"Button"}, {IDC_NO_DEVICES, L"Static"}}},
      {IDD_RECORD_LOG_PAGE,
       true,
       {{IDC_RECORD_LIST, WC_LISTVIEWW}, {IDC_CLEAR_RECORDS, L"Button"}, {IDC_START_STOP, L"Button"},
        {IDC_LOG_STATUS, L"Static"}, {IDC_RECORDER_STATUS, L"Static"}}},
      {IDD_LOG_SETTINGS,
       false,
       {{IDC_LOG_PATH, L"Edit"}, {IDC_BROWSE, L"Button"}, {IDC_LOG_LABEL, L"Static"}, {IDC_LOG_NOTE, L"Static"},
        {IDC_START_LOGGING, L"Button"}, {IDC_WRITE_HISTORY, L"Button"}, {IDC_STOP_LOGGING, L"Button"},
        {IDOK, L"Button"}, {IDCANCEL, L"Button"}}},
      {IDD_HISTORY_SIZE, false, {{IDC_HISTORY_SIZE, L"Edit"}, {IDOK, L"Button"}}},
  };
  for (const Expected& expected : dialogs) {
    DialogTemplate dialog;
    ASSERT_TRUE(ParseDialog(m_hModule, expected.dialog, dialog)) << "dialog " << expected.dialog;
    EXPECT_EQ(8, dialog.pointSize) << "dialog " << expected.dialog;
    EXPECT_EQ(L"MS Shell Dlg", dialog.typeface) << "dialog " << expected.dialog;
    if (expected.page) {
      EXPECT_EQ(static_cast<DWORD>(WS_CHILD | DS_CONTROL | WS_CAPTION),
                dialog.style & (WS_CHILD | WS_POPUP | DS_CONTROL | WS_CAPTION))
          << "property page template " << expected.dialog;
    } else {
      EXPECT_TRUE(dialog.style & WS_POPUP) << "dialog " << expected.dialog;
    }
    for (const auto& want : expected.controls) {
      const DialogControl* control = FindControl(dialog, want.first);
      ASSERT_NE(nullptr, control) << "dialog " << expected.dialog << " control " << want.first;
      EXPECT_EQ(0, _wcsicmp(want.second, control->className.c_str()))
          << "dialog " << expected.dialog << " control " << want.first;
    }
    std::set<DWORD> ids;
    for (const DialogControl& control : dialog.controls) {
      // Every control lies inside its dialog.
      EXPECT_GE(control.x, 0);
      EXPECT_GE(control.y, 0);
      EXPECT_LE(control.x + control.cx, dialog.cx) << "dialog " << expected.dialog << " control " << control.id;
      EXPECT_LE(control.y + control.cy, dialog.cy) << "dialog " << expected.dialog << " control " << control.id;
      // Addressed controls have one id each (labels share IDC_STATIC).
      if (control.id != static_cast<DWORD>(IDC_STATIC) && control.id != 0xFFFF) {
        EXPECT_TRUE(ids.insert(control.id).second) << "dialog " << expected.dialog << " repeats " << control.id;
      }
    }
  }

  DialogTemplate device;
  ASSERT_TRUE(ParseDialog(m_hModule, IDD_DEVICE_PAGE, device));
  EXPECT_EQ(static_cast<DWORD>(LVS_REPORT), FindControl(device, IDC_DEVICE_LIST)->style & LVS_TYPEMASK);
  EXPECT_EQ(static_cast<DWORD>(BS_AUTOCHECKBOX), FindControl(device, IDC_DETAILS)->style & BS_TYPEMASK);
  // 690 pixels of columns and a scroll bar need about 470 dialog units at 8 pt.
  EXPECT_GE(FindControl(device, IDC_DEVICE_LIST)->cx, 470);
  DialogTemplate log;
  ASSERT_TRUE(ParseDialog(m_hModule, IDD_RECORD_LOG_PAGE, log));
  EXPECT_EQ(0u, FindControl(log, IDC_RECORD_LIST)->style & (LVS_SORTASCENDING | LVS_SORTDESCENDING))
      << "rows are placed by the page, not sorted by the list";
  // Select All needs lists that take more than one row.
  EXPECT_EQ(0u, FindControl(log, IDC_RECORD_LIST)->style & LVS_SINGLESEL);
  EXPECT_EQ(0u, FindControl(device, IDC_DEVICE_LIST)->style & LVS_SINGLESEL);
  DialogTemplate settings;
  ASSERT_TRUE(ParseDialog(m_hModule, IDD_LOG_SETTINGS, settings));
  EXPECT_EQ(static_cast<DWORD>(BS_AUTOCHECKBOX), FindControl(settings, IDC_WRITE_HISTORY)->style & BS_TYPEMASK);
  DialogTemplate history;
  ASSERT_TRUE(ParseDialog(m_hModule, IDD_HISTORY_SIZE, history));
  EXPECT_TRUE(FindControl(history, IDC_HISTORY_SIZE)->style & ES_NUMBER);
}

// Command ids of a menu and its popups, with every item's text.
void CollectMenu(HMENU hMenu, std::map<UINT, std::wstring>& commands, std::vector<std::wstring>& popups) {
  const int count = GetMenuItemCount(hMenu);
  for (int i = 0; i < count; ++i) {
    wchar_t text[256] = {};
    MENUITEMINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_FTYPE | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = 255;
    ASSERT_TRUE(GetMenuItemInfoW(hMenu, static_cast<UINT>(i), TRUE, &info));
    if (info.fType & MFT_SEPARATOR) continue;
    if (info.hSubMenu) {
      popups.push_back(text);
      CollectMenu(info.hSubMenu, commands, popups);
    } else {
      commands[info.wID] = text;
    }
  }
}

TEST_P(ResourceModule, MenusCarryTheCommandsWithMnemonics) {
  // Each list page sorts by any of its ten columns from the menu.
  std::set<UINT> sheetCommands = {ID_EXIT, ID_EDIT_COPY, ID_EDIT_SELECT_ALL, ID_EDIT_FIND, ID_HELP, ID_ABOUT};
  for (UINT id = ID_SORT_BY_FIRST; id <= ID_SORT_BY_LAST; ++id) sheetCommands.insert(id);
  std::set<UINT> logCommands = sheetCommands;
  logCommands.insert({ID_LOG_SETTINGS, ID_HISTORY_SIZE, ID_OPEN_RECORDER_FOLDER, ID_SAVE_HISTORY_AS});
  for (const auto& expected : {std::make_pair(IDR_PAGE_MENU, sheetCommands),
                               std::make_pair(IDR_RECORD_LOG_MENU, logCommands)}) {
    HMENU hMenu = LoadMenuW(m_hModule, MAKEINTRESOURCEW(expected.first));
    ASSERT_NE(nullptr, hMenu) << "menu " << expected.first;
    std::map<UINT, std::wstring> commands;
    std::vector<std::wstring> popups;
    CollectMenu(hMenu, commands, popups);
    DestroyMenu(hMenu);
    std::set<UINT> ids;
    for (const auto& command : commands) ids.insert(command.first);
    EXPECT_EQ(expected.second, ids) << "menu " << expected.first;
    for (const auto& command : commands) {
      EXPECT_NE(std::wstring::npos, command.second.find(L'&')) << "mnemonic of command " << command.first;
    }
    for (const std::wstring& popup : popups) EXPECT_NE(std::wstring::npos, popup.find(L'&'));
    // The Edit items name their keys (Ctrl+C, Strg+C, ...).
    for (const auto& shortcut :
         {std::make_pair(ID_EDIT_COPY, L"+C"), std::make_pair(ID_EDIT_SELECT_ALL, L"+A")}) {
      const std::wstring& text = commands[shortcut.first];
      const size_t tab = text.find(L'\t');
      ASSERT_NE(std::wstring::npos, tab) << "shortcut of command " << shortcut.first;
      EXPECT_EQ(shortcut.second, text.substr(text.size() - 2)) << "shortcut of command " << shortcut.first;
    }
  }
}

// The mnemonic of a text ('&' before it, "&&" is a literal '&'), upper case; 0 for none.
wchar_t Mnemonic(const std::wstring& text) {
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != L'&') continue;
    if (text[i + 1] != L'&') return static_cast<wchar_t>(towupper(text[i + 1]));
    ++i;
  }
  return 0;
}

std::string Narrow(const std::wstring& text) {
  std::string narrow;
  for (wchar_t ch : text) narrow += ch < 128 ? static_cast<char>(ch) : '?';
  return narrow;
}

// The mnemonics of one menu level: the menu bar's popups, or one popup's items.
// Expects each once; returns them.
std::set<wchar_t> ExpectUniqueMnemonics(HMENU hMenu, UINT menuId) {
  std::set<wchar_t> seen;
  const int count = GetMenuItemCount(hMenu);
  for (int i = 0; i < count; ++i) {
    wchar_t text[256] = {};
    GetMenuStringW(hMenu, static_cast<UINT>(i), text, 255, MF_BYPOSITION);
    const wchar_t mnemonic = Mnemonic(text);
    if (mnemonic) {
      EXPECT_TRUE(seen.insert(mnemonic).second) << "menu " << menuId << " repeats &" << Narrow(text);
    }
    if (HMENU hPopup = GetSubMenu(hMenu, i)) ExpectUniqueMnemonics(hPopup, menuId);
  }
  return seen;
}

// Every command and control is reachable from the keyboard: mnemonics are unique
// on each menu level and within each dialog, a page's own never take its menu
// bar's letters (Alt+letter would work the control instead of opening the menu),
// and Tab walks each dialog in reading order (the global page goes its own way).
TEST_P(ResourceModule, KeyboardReachesEveryCommandAndControl) {
  struct Page {
    UINT dialog;
    UINT menu;  // 0: a dialog of its own without a menu
    std::vector<std::pair<DWORD, UINT>> runtimeTexts;  // (control, string) the page puts on a control
    bool readingOrder;
  };
  const std::vector<Page> pages = {
      {IDD_GLOBAL_PAGE, IDR_PAGE_MENU, {}, false},
      {IDD_DEVICE_PAGE, IDR_PAGE_MENU, {}, true},
      {IDD_RECORD_LOG_PAGE,
       IDR_RECORD_LOG_MENU,
       {{IDC_START_STOP, IDS_START_LOGGING}, {IDC_START_STOP, IDS_STOP_LOGGING}},
       true},
      {IDD_LOG_SETTINGS, 0, {}, true},
      {IDD_HISTORY_SIZE, 0, {}, true},
      {IDD_ABOUTBOX, 0, {}, true},
  };
  for (const Page& page : pages) {
    std::set<wchar_t> barMnemonics;
    if (page.menu) {
      HMENU hMenu = LoadMenuW(m_hModule, MAKEINTRESOURCEW(page.menu));
      ASSERT_NE(nullptr, hMenu) << "menu " << page.menu;
      barMnemonics = ExpectUniqueMnemonics(hMenu, page.menu);
      DestroyMenu(hMenu);
    }
    DialogTemplate dialog;
    ASSERT_TRUE(ParseDialog(m_hModule, page.dialog, dialog)) << "dialog " << page.dialog;
    // Which control (by place in the template) owns each letter; a control may
    // carry several texts in turn.
    std::map<wchar_t, size_t> owners;
    for (size_t index = 0; index < dialog.controls.size(); ++index) {
      std::vector<std::wstring> texts = {dialog.controls[index].text};
      for (const auto& runtime : page.runtimeTexts) {
        if (runtime.first == dialog.controls[index].id) texts.push_back(LoadText(runtime.second));
      }
      for (const std::wstring& text : texts) {
        const wchar_t mnemonic = Mnemonic(text);
        if (!mnemonic) continue;
        EXPECT_EQ(0u, barMnemonics.count(mnemonic))
            << "dialog " << page.dialog << ": &" << Narrow(text) << " takes a letter of menu " << page.menu;
        const auto owner = owners.emplace(mnemonic, index);
        EXPECT_EQ(index, owner.first->second) << "dialog " << page.dialog << ": &" << Narrow(text)
                                              << " repeats the mnemonic of control " << owner.first->second;
      }
    }
    if (!page.readingOrder) continue;
    // Top to bottom, and left to right on one line (tops within 6 units), among
    // the controls that show from the start (a hidden text laid over a list comes
    // first so that it paints above it, and takes no part in the Tab order).
    std::vector<DialogControl> shown;
    for (const DialogControl& control : dialog.controls) {
      if (control.style & WS_VISIBLE) shown.push_back(control);
    }
    for (size_t i = 1; i < shown.size(); ++i) {
      const DialogControl& before = shown[i - 1];
      const DialogControl& after = shown[i];
      const bool sameLine = std::abs(after.y - before.y) <= 6;
      EXPECT_TRUE(sameLine ? after.x > before.x : after.y > before.y)
          << "dialog " << page.dialog << ": control " << after.id << " comes after " << before.id
          << " in the Tab order but not in the layout";
    }
  }
}

INT_PTR CALLBACK NoDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// In the dialog's own font, each push button's text (and the texts the program
// puts on it) leaves room to the button's frame on both sides.
TEST_P(ResourceModule, PushButtonTextsFitInsideTheirButtons) {
  const std::map<DWORD, std::vector<UINT>> runtimeTexts = {{IDC_START_STOP, {IDS_START_LOGGING, IDS_STOP_LOGGING}}};
  HWND hParent = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 800, 600, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, hParent);
  for (UINT id : {IDD_GLOBAL_PAGE, IDD_DEVICE_PAGE, IDD_RECORD_LOG_PAGE, IDD_LOG_SETTINGS, IDD_HISTORY_SIZE}) {
    HWND hDlg = CreateDialogParamW(m_hModule, MAKEINTRESOURCEW(id), hParent, &NoDialogProc, 0);
    ASSERT_NE(nullptr, hDlg) << "dialog " << id;
    HDC hDC = GetDC(hDlg);
    HGDIOBJ hOldFont = SelectObject(hDC, reinterpret_cast<HFONT>(SendMessageW(hDlg, WM_GETFONT, 0, 0)));
    // The frame and the focus rectangle take about 4 pixels a side at 96 DPI; two
    // more keep the text off them.
    const int margin = MulDiv(6, GetDeviceCaps(hDC, LOGPIXELSX), 96);
    for (HWND hChild = GetWindow(hDlg, GW_CHILD); hChild; hChild = GetWindow(hChild, GW_HWNDNEXT)) {
      wchar_t className[16] = {};
      GetClassNameW(hChild, className, 16);
      const DWORD type = static_cast<DWORD>(GetWindowLongW(hChild, GWL_STYLE)) & BS_TYPEMASK;
      if (_wcsicmp(className, L"Button") != 0 || (type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON)) continue;
      wchar_t text[256] = {};
      GetWindowTextW(hChild, text, 256);
      std::vector<std::wstring> texts = {text};
      const auto runtime = runtimeTexts.find(static_cast<DWORD>(GetDlgCtrlID(hChild)));
      if (runtime != runtimeTexts.end()) {
        for (UINT textId : runtime->second) texts.push_back(LoadText(textId));
      }
      RECT client = {};
      GetClientRect(hChild, &client);
      for (const std::wstring& shown : texts) {
        RECT extent = {};
        DrawTextW(hDC, shown.c_str(), -1, &extent, DT_CALCRECT | DT_SINGLELINE);
        EXPECT_LE(extent.right + 2 * margin, client.right) << "dialog " << id << ": " << Narrow(shown);
      }
    }
    SelectObject(hDC, hOldFont);
    ReleaseDC(hDlg, hDC);
    DestroyWindow(hDlg);
  }
  DestroyWindow(hParent);
}

TEST_P(ResourceModule, IconsComeInBothSizesAtEachDpiStep) {
  for (UINT id : {IDR_SORT_ASCENDING, IDR_SORT_DESCENDING, IDR_SORT_NONE, IDR_STREAM_RUNNING, IDR_STREAM_IDLE,
                  IDR_STREAM_NOT_ANSWERING}) {
    HRSRC hGroup = FindResourceW(m_hModule, MAKEINTRESOURCEW(id), RT_GROUP_ICON);
    ASSERT_NE(nullptr, hGroup) << "icon " << id;
    const BYTE* dir = static_cast<const BYTE*>(LockResource(LoadResource(m_hModule, hGroup)));
    ASSERT_NE(nullptr, dir);
    const WORD count = *reinterpret_cast<const WORD*>(dir + 4);
    std::set<int> sizes;
    for (WORD n = 0; n < count; ++n) {
      const BYTE* entry = dir + 6 + n * 14;  // GRPICONDIRENTRY
      sizes.insert(entry[0]);
      const WORD iconId = *reinterpret_cast<const WORD*>(entry + 12);
      EXPECT_NE(nullptr, FindResourceW(m_hModule, MAKEINTRESOURCEW(iconId), RT_ICON)) << "icon " << id;
    }
    // 16 and 32 pixels at 96, 120 and 144 DPI.
    EXPECT_EQ((std::set<int>{16, 20, 24, 32, 40, 48}), sizes) << "icon " << id;
    for (int size : {16, 20, 24, 32, 40, 48}) {
      HICON hIcon = static_cast<HICON>(LoadImageW(m_hModule, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
      EXPECT_NE(nullptr, hIcon) << "icon " << id << " at " << size;
      if (hIcon) DestroyIcon(hIcon);
    }
  }
}

TEST_P(ResourceModule, VersionBlockNamesTheProduct) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(m_path.c_str(), &handle);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> data(size);
  ASSERT_TRUE(GetFileVersionInfoW(m_path.c_str(), 0, size, data.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(0x00010000u, fixed->dwFileVersionMS);
  EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed->dwFileType);
  wchar_t* product = nullptr;
  const std::wstring query = std::wstring(L"\\StringFileInfo\\") + GetParam().versionBlock + L"\\ProductName";
  ASSERT_TRUE(VerQueryValueW(data.data(), query.c_str(), reinterpret_cast<void**>(&product), &length));
  EXPECT_STREQ(L"Delvora", product);
}

INSTANTIATE_TEST_SUITE_P(Languages, ResourceModule,
                         ::testing::Values(Language{L"enu", MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), L"040904B0"},
                                           Language{L"deu", MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), L"040704B0"}),
                         [](const ::testing::TestParamInfo<Language>& info) {
                           return info.param.langId == MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN) ? "German"
                                                                                                  : "English";
                         });

}  // namespace
