// The window framework on real windows: message maps, runtime classes, modal
// dialogs with data exchange, the property sheet's command routing, page
// notifications and keys, list and header controls, owning image lists and menus,
// and message boxes.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "framework/App.h"
#include "framework/DataExchange.h"
#include "framework/Dialog.h"
#include "framework/Dpi.h"
#include "framework/ImageList.h"
#include "framework/ListCtrl.h"
#include "framework/Menu.h"
#include "framework/MessageBox.h"
#include "framework/MessageMap.h"
#include "framework/PropertySheet.h"
#include "resources/resource.h"
#include "tests/framework_windows/GuiHarness.h"

using namespace gui_test;

namespace {

const UINT kSheetCommand = 40001;
const UINT kPageCommand = 40002;
const UINT kRangeFirst = 40010;
const UINT kRangeLast = 40019;

// ---- DPI ---------------------------------------------------------------------------

TEST(Dpi, DesignPixelsScaleRoundedAndAWindowWithoutItsOwnDpiHasTheScreens) {
  // 125 % and 150 %: rounded to the nearest pixel, not cut (75 x 1.25 = 93.75).
  EXPECT_EQ(94, ScaleToDpi(75, 120));
  EXPECT_EQ(20, ScaleToDpi(16, 120));
  EXPECT_EQ(113, ScaleToDpi(75, 144));
  EXPECT_EQ(24, ScaleToDpi(16, 144));
  EXPECT_EQ(48, ScaleToDpi(32, 144));
  EXPECT_EQ(75, ScaleToDpi(75, 96));

  HDC hdc = ::GetDC(nullptr);
  const UINT screenDpi = static_cast<UINT>(::GetDeviceCaps(hdc, LOGPIXELSX));
  ::ReleaseDC(nullptr, hdc);
  EXPECT_EQ(screenDpi, GetWindowDpi(::GetDesktopWindow()));
  EXPECT_EQ(screenDpi, GetWindowDpi(nullptr));
  EXPECT_EQ(24, GetSystemMetricForDpi(SM_CXSMICON, 144));
  EXPECT_EQ(48, GetSystemMetricForDpi(SM_CXICON, 144));
}

// ---- message maps without windows ---------------------------------------------------

class CBaseTarget : public CCmdTarget {
public:
  std::vector<std::string> calls;
  void OnBaseCommand() { calls.push_back("base"); }
  void OnOverridden() { calls.push_back("base-overridden"); }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CBaseTarget, CCmdTarget)
  ON_COMMAND(100, OnBaseCommand)
  ON_COMMAND(101, OnOverridden)
END_MESSAGE_MAP()

class CDerivedTarget : public CBaseTarget {
public:
  void OnOverriddenHere() { calls.push_back("derived-overridden"); }
  void OnRange(UINT id) { calls.push_back("range " + std::to_string(id)); }
  void OnClicked() { calls.push_back("clicked"); }
  void OnNotifyHere(NMHDR* pHdr, LRESULT* pResult) {
    calls.push_back("notify " + std::to_string(pHdr->idFrom));
    *pResult = 77;
  }
  LRESULT OnUser(WPARAM w, LPARAM l) {
    calls.push_back("user");
    return static_cast<LRESULT>(w + static_cast<WPARAM>(l));
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDerivedTarget, CBaseTarget)
  ON_COMMAND(101, OnOverriddenHere)
  ON_COMMAND_RANGE(kRangeFirst, kRangeLast, OnRange)
  ON_CONTROL(EN_CHANGE, 200, OnClicked)
  ON_NOTIFY(NM_CLICK, 300, OnNotifyHere)
  ON_MESSAGE(WM_APP + 1, OnUser)
END_MESSAGE_MAP()

TEST(MessageMap, DispatchWalksFromTheMostDerivedTableToTheBase) {
  CDerivedTarget t;
  LRESULT r = -1;
  EXPECT_TRUE(t.DispatchMessageMap(WM_COMMAND, MAKEWPARAM(100, 0), 0, &r));
  EXPECT_TRUE(t.DispatchMessageMap(WM_COMMAND, MAKEWPARAM(101, 0), 0, &r));
  // An accelerator (code 1, no control) is the menu command.
  EXPECT_TRUE(t.DispatchMessageMap(WM_COMMAND, MAKEWPARAM(kRangeFirst + 3, 1), 0, &r));
  EXPECT_TRUE(t.DispatchMessageMap(WM_COMMAND, MAKEWPARAM(200, EN_CHANGE), 0x1234, &r));
  // Same id, other code: no entry; an id past the range: no entry; no entry at all.
  EXPECT_FALSE(t.DispatchMessageMap(WM_COMMAND, MAKEWPARAM(200, EN_KILLFOCUS), 0x1234, &r));
  EXPECT_FALSE(t.DispatchMessageMap(WM_COMMAND, MAKEWPARAM(kRangeLast + 1, 0), 0, &r));
  EXPECT_FALSE(t.DispatchMessageMap(WM_TIMER, 1, 0, &r));

  NMHDR hdr = {nullptr, 300, static_cast<UINT>(NM_CLICK)};
  r = 0;
  EXPECT_TRUE(t.DispatchMessageMap(WM_NOTIFY, 300, reinterpret_cast<LPARAM>(&hdr), &r));
  EXPECT_EQ(77, r);
  hdr.idFrom = 301;
  EXPECT_FALSE(t.DispatchMessageMap(WM_NOTIFY, 301, reinterpret_cast<LPARAM>(&hdr), &r));
  EXPECT_TRUE(t.DispatchMessageMap(WM_APP + 1, 5, 6, &r));
  EXPECT_EQ(11, r);

  const std::vector<std::string> expected = {"base", "derived-overridden", "range 40013", "clicked", "notify 300",
                                             "user"};
  EXPECT_EQ(expected, t.calls);

  CBaseTarget base;
  EXPECT_TRUE(base.DispatchMessageMap(WM_COMMAND, MAKEWPARAM(101, 0), 0, &r));
  EXPECT_EQ(std::vector<std::string>{"base-overridden"}, base.calls);
}

// ---- runtime classes ------------------------------------------------------------------

class CMadeByName : public CObject {
  DECLARE_DYNCREATE(CMadeByName)
public:
  int value = 7;
};
IMPLEMENT_DYNCREATE(CMadeByName, CObject)

class CNotCreatable : public CMadeByName {
  DECLARE_DYNAMIC(CNotCreatable)
};
IMPLEMENT_DYNAMIC(CNotCreatable, CMadeByName)

TEST(RuntimeClass, NamesKindsAndDynamicCreation) {
  CNotCreatable obj;
  EXPECT_STREQ("CNotCreatable", obj.GetRuntimeClass()->m_lpszClassName);
  EXPECT_TRUE(obj.IsKindOf(RUNTIME_CLASS(CMadeByName)));
  EXPECT_TRUE(obj.IsKindOf(&CObject::classCObject));
  EXPECT_FALSE(obj.IsKindOf(RUNTIME_CLASS(CWnd)));

  CObject* made = RUNTIME_CLASS(CMadeByName)->CreateObject();
  ASSERT_NE(nullptr, made);
  EXPECT_TRUE(made->IsKindOf(RUNTIME_CLASS(CMadeByName)));
  EXPECT_EQ(7, static_cast<CMadeByName*>(made)->value);
  delete made;
  EXPECT_EQ(nullptr, RUNTIME_CLASS(CNotCreatable)->CreateObject());
  EXPECT_TRUE(RUNTIME_CLASS(CDialog)->IsDerivedFrom(RUNTIME_CLASS(CWnd)));
  EXPECT_TRUE(RUNTIME_CLASS(CPropertyPage)->IsDerivedFrom(RUNTIME_CLASS(CDialog)));
}

// ---- windows ----------------------------------------------------------------------------

class FrameworkWindows : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_NE(nullptr, UseResourceModule()) << "bin\\enu\\DelvoraRes.dll is missing"; }
};

// The history size dialog's template: an edit 1015 and OK.
class CNumberDialog : public CDialog {
public:
  CNumberDialog() : CDialog(IDD_HISTORY_SIZE) {}
  int m_nValue = 500;
  int m_nInitCalls = 0;
  BOOL OnInitDialog() override {
    ++m_nInitCalls;
    return CDialog::OnInitDialog();
  }
  void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, IDC_HISTORY_SIZE, m_nValue); }
};

TEST_F(FrameworkWindows, ModalDialogExchangesDataAndRefusesTextThatIsNotANumber) {
  CNumberDialog dlg;
  MessageBoxAnswerer answerer;
  std::wstring shown;
  HWND hDialogSeen = nullptr;
  const ModalScript inLoop([&] {
    HWND hDlg = ::GetActiveWindow();
    hDialogSeen = hDlg;
    HWND hEdit = ::GetDlgItem(hDlg, IDC_HISTORY_SIZE);
    shown = WindowText(hEdit);
    ::SetWindowTextW(hEdit, L"12x");
    ClickButton(::GetDlgItem(hDlg, IDOK));  // refused: a message, the dialog stays
    ::SetWindowTextW(hEdit, L" 42 ");
    ClickButton(::GetDlgItem(hDlg, IDOK));
  });
  const INT_PTR result = dlg.DoModal();
  EXPECT_EQ(IDOK, result);
  EXPECT_EQ(1, dlg.m_nInitCalls);
  EXPECT_EQ(L"500", shown);  // members -> controls at initialisation
  EXPECT_EQ(42, dlg.m_nValue);
  ASSERT_EQ(1u, answerer.boxes.size());
  EXPECT_EQ(L"Please enter an integer.", answerer.boxes[0].text);
  EXPECT_EQ(hDialogSeen, answerer.boxes[0].owner);  // owner: the active window
  EXPECT_EQ(nullptr, dlg.m_hWnd);                   // the tie ends with the window
}

TEST_F(FrameworkWindows, CancelLeavesTheMembersAndAMissingTemplateFails) {
  CNumberDialog dlg;
  const ModalScript inLoop([&] {
    HWND hDlg = ::GetActiveWindow();
    ::SetWindowTextW(::GetDlgItem(hDlg, IDC_HISTORY_SIZE), L"9");
    ::SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  });
  EXPECT_EQ(IDCANCEL, dlg.DoModal());
  EXPECT_EQ(500, dlg.m_nValue);

  CDialog missing(4999);
  EXPECT_EQ(-1, missing.DoModal());
}

class CBoundDialog : public CDialog {
public:
  CBoundDialog() : CDialog(IDD_HISTORY_SIZE) {}
  CWnd m_edit;
  void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, IDC_HISTORY_SIZE, m_edit); }
};

TEST_F(FrameworkWindows, ABoundControlFollowsTheDialogIntoItsNextWindow) {
  CBoundDialog dlg;
  for (int run = 0; run < 2; ++run) {
    bool bound = false;
    const ModalScript inLoop([&] {
      bound = dlg.m_edit.m_hWnd != nullptr && dlg.m_edit.m_hWnd == ::GetDlgItem(dlg.m_hWnd, IDC_HISTORY_SIZE);
      dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_TRUE(bound) << "run " << run;
  }
}

class CThrowingDialog : public CDialog {
public:
  CThrowingDialog() : CDialog(IDD_HISTORY_SIZE) {}
  void OnBoom() { throw std::runtime_error("boom"); }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CThrowingDialog, CDialog)
  ON_COMMAND(kPageCommand, OnBoom)
END_MESSAGE_MAP()

TEST_F(FrameworkWindows, AnExceptionInAHandlerEndsTheLoopAndLeavesDoModalAfterwards) {
  CThrowingDialog dlg;
  const ModalScript inLoop([&] { SendMenuCommand(::GetActiveWindow(), kPageCommand); });
  try {
    dlg.DoModal();
    ADD_FAILURE() << "DoModal returned normally";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ("boom", e.what());
  }
  // The quit message that ended the loop must not leak into the next test.
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

// A page that logs its notifications and commands.
class CLoggingPage : public CPropertyPage {
public:
  CLoggingPage(UINT nTemplate, std::vector<std::string>& log, const char* name)
      : CPropertyPage(nTemplate), m_log(log), m_name(name) {}
  BOOL m_bAllowActivate = TRUE;
  BOOL m_bAllowLeave = TRUE;
  BOOL OnSetActive() override {
    m_log.push_back(m_name + " set-active");
    CPropertyPage::OnSetActive();
    return m_bAllowActivate;
  }
  BOOL OnKillActive() override {
    m_log.push_back(m_name + " kill-active");
    return m_bAllowLeave;
  }
  void OnPageCommand() { m_log.push_back(m_name + " command"); }
  void OnSheetCommandInPage() { m_log.push_back(m_name + " stole the sheet's command"); }
  void OnTimer(UINT_PTR id) {
    m_log.push_back(m_name + " timer " + std::to_string(id));
    CPropertyPage::OnTimer(id);
  }

private:
  std::vector<std::string>& m_log;
  std::string m_name;
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CLoggingPage, CPropertyPage)
  ON_COMMAND(kPageCommand, OnPageCommand)
  ON_COMMAND(kSheetCommand, OnSheetCommandInPage)
  ON_WM_TIMER()
END_MESSAGE_MAP()

class CLoggingSheet : public CPropertySheet {
public:
  explicit CLoggingSheet(std::vector<std::string>& log)
      : CPropertySheet(L"Routing"), m_log(log), m_first(IDD_GLOBAL_PAGE, log, "first"),
        m_second(IDD_RECORD_LOG_PAGE, log, "second") {
    AddPage(&m_first);
    AddPage(&m_second);
  }
  BOOL OnInitDialog() override {
    m_log.push_back("sheet init");
    return CPropertySheet::OnInitDialog();
  }
  void OnSheetCommand() { m_log.push_back("sheet command"); }
  std::vector<std::string>& m_log;
  CLoggingPage m_first;
  CLoggingPage m_second;
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CLoggingSheet, CPropertySheet)
  ON_COMMAND(kSheetCommand, OnSheetCommand)
END_MESSAGE_MAP()

TEST_F(FrameworkWindows, SheetTakesItsOwnCommandsAndPassesTheRestToTheActivePageOnly) {
  std::vector<std::string> log;
  CLoggingSheet sheet(log);
  EXPECT_TRUE(sheet.SetActivePage(1));  // before the window: the start page
  EXPECT_FALSE(sheet.SetActivePage(2));
  int activeAtStart = -1;
  CPropertyPage* pActive = nullptr;
  bool tiedToWindow = false;
  const ModalScript inLoop([&] {
    activeAtStart = sheet.GetActiveIndex();
    pActive = sheet.GetActivePage();
    tiedToWindow = CWnd::FromHandlePermanent(sheet.m_hWnd) == &sheet &&
                   sheet.m_second.GetParent() == &sheet;
    log.push_back("--");
    SendMenuCommand(sheet.m_hWnd, kSheetCommand);
    SendMenuCommand(sheet.m_hWnd, kPageCommand);
    ::SendMessageW(sheet.m_second.m_hWnd, WM_TIMER, 5, 0);
    log.push_back("--");
    // A page that refuses to be left keeps the sheet where it is.
    sheet.m_second.m_bAllowLeave = FALSE;
    EXPECT_FALSE(sheet.SetActivePage(0) && sheet.GetActiveIndex() == 0);
    EXPECT_EQ(1, sheet.GetActiveIndex());
    sheet.m_second.m_bAllowLeave = TRUE;
    sheet.SetActivePage(0);
    SendMenuCommand(sheet.m_hWnd, kPageCommand);
    log.push_back("--");
    ::PostMessageW(sheet.m_hWnd, WM_CLOSE, 0, 0);
  });
  sheet.DoModal();
  EXPECT_EQ(1, activeAtStart);
  EXPECT_EQ(&sheet.m_second, pActive);
  EXPECT_TRUE(tiedToWindow);
  EXPECT_EQ(nullptr, sheet.m_hWnd);

  const std::vector<std::string> expected = {
      "second set-active", "sheet init", "--", "sheet command", "second command", "second timer 5", "--",
      "second kill-active", "second kill-active", "first set-active", "first command", "--"};
  // The sheet callback may come before or after the first page's activation.
  std::vector<std::string> got = log;
  if (got.size() >= 2 && got[0] == "sheet init") std::swap(got[0], got[1]);
  EXPECT_EQ(expected, got);
}

TEST_F(FrameworkWindows, APageSwitchTakesTheFocusAlongAndCtrlTabTurnsThePages) {
  std::vector<std::string> log;
  CLoggingSheet sheet(log);
  sheet.SetActivePage(1);
  const auto focusInShownPage = [&] { return ::IsChild(sheet.GetActivePage()->m_hWnd, ::GetFocus()); };
  std::thread watch;
  std::unique_ptr<ModalScript> thenClose;
  const ModalScript inLoop([&] {
    ::SetFocus(::GetDlgItem(sheet.m_second.m_hWnd, IDC_CLEAR_RECORDS));
    sheet.SetActivePage(0);
    EXPECT_TRUE(focusInShownPage());
    log.push_back("--");
    // Typed (a negative key is let go), so that the sheet's own loop reads them: Q, Ctrl+Tab, Ctrl+Shift+Tab.
    for (int key : {int{'Q'}, -'Q', VK_CONTROL, VK_TAB, -VK_TAB, VK_SHIFT, VK_TAB, -VK_TAB, -VK_SHIFT, -VK_CONTROL}) {
      ::keybd_event(static_cast<BYTE>(key < 0 ? -key : key), 0, key < 0 ? KEYEVENTF_KEYUP : 0, 0);
    }
    // A stuck loop cannot end its own test: this thread ends the process instead.
    watch = std::thread([hSheet = sheet.m_hWnd] {
      while (::SendMessageTimeoutW(hSheet, WM_NULL, 0, 0, SMTO_NORMAL, 1000, nullptr)) ::Sleep(10);
      if (!::IsWindow(hSheet)) return;  // the sheet has ended
      std::fputs("the sheet stopped answering after a key\n", stderr);
      std::fflush(stderr);
      ::TerminateProcess(::GetCurrentProcess(), 3);
    });
    thenClose = std::make_unique<ModalScript>([&] {
      EXPECT_TRUE(focusInShownPage());
      ::PostMessageW(sheet.m_hWnd, WM_CLOSE, 0, 0);
    });
  });
  sheet.DoModal();
  watch.join();
  const std::vector<std::string> expected = {"--", "first kill-active", "second set-active", "second kill-active",
                                             "first set-active"};
  EXPECT_EQ(expected, std::vector<std::string>(std::find(log.begin(), log.end(), "--"), log.end()));
}

TEST_F(FrameworkWindows, ListAndHeaderWrappersReadBackWhatTheySet) {
  CNumberDialog host;
  const ModalScript inLoop([&] {
    HWND hDlg = ::GetActiveWindow();
    HWND hList = ::CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT, 0, 0, 300, 200, hDlg,
                                   reinterpret_cast<HMENU>(2000), nullptr, nullptr);
    CListCtrl list(hList);
    EXPECT_EQ(0, list.InsertColumn(0, L"Name", LVCFMT_LEFT, 80, 0));
    EXPECT_EQ(1, list.InsertColumn(1, L"Value", LVCFMT_LEFT, 60, 1));
    EXPECT_EQ(80, list.GetColumnWidth(0));
    for (int i = 0; i < 3; ++i) {
      const wchar_t* names[] = {L"b", L"c", L"a"};
      EXPECT_EQ(i, list.InsertItem(LVIF_TEXT | LVIF_PARAM | LVIF_IMAGE, i, names[i], 0, 0, i, 10 + i));
    }
    EXPECT_EQ(3, list.GetItemCount());
    EXPECT_TRUE(list.SetItemText(1, 1, std::wstring(600, L'x').c_str()));
    EXPECT_EQ(600, list.GetItemText(1, 1).GetLength());  // longer than one buffer
    EXPECT_EQ(L"c", std::wstring(list.GetItemText(1, 0).GetString()));
    EXPECT_EQ(11u, list.GetItemData(1));
    EXPECT_EQ(2, list.GetImage(2));
    EXPECT_TRUE(list.SetItemData(2, 99));
    LVFINDINFOW find = {};
    find.flags = LVFI_PARAM;
    find.lParam = 99;
    EXPECT_EQ(2, list.FindItem(&find));
    // Sorting by item data, descending.
    list.SortItems([](LPARAM a, LPARAM b, LPARAM) -> int { return a > b ? -1 : a < b ? 1 : 0; }, 0);
    EXPECT_EQ(99u, list.GetItemData(0));
    EXPECT_EQ(10u, list.GetItemData(2));
    EXPECT_TRUE(list.DeleteItem(0));
    EXPECT_EQ(2, list.GetItemCount());

    CHeaderCtrl header(list.GetHeaderCtrl());
    EXPECT_EQ(2, header.GetItemCount());
    HDITEMW item = {};
    item.mask = HDI_FORMAT | HDI_IMAGE;
    item.fmt = HDF_STRING | HDF_IMAGE | HDF_BITMAP_ON_RIGHT;
    item.iImage = 1;
    EXPECT_TRUE(header.SetItem(1, &item));
    EXPECT_EQ(HDF_STRING | HDF_IMAGE | HDF_BITMAP_ON_RIGHT, HeaderFormat(header.m_hWnd, 1) & ~HDF_JUSTIFYMASK);
    EXPECT_EQ(1, HeaderImage(header.m_hWnd, 1));

    EXPECT_TRUE(list.ModifyStyle(LVS_TYPEMASK, LVS_LIST));
    EXPECT_EQ(static_cast<DWORD>(LVS_LIST), list.GetStyle() & LVS_TYPEMASK);
    EXPECT_FALSE(list.ModifyStyle(0, LVS_LIST));  // nothing changes
    ::DestroyWindow(hList);
    ::EndDialog(hDlg, IDOK);
  });
  host.DoModal();
}

TEST_F(FrameworkWindows, ImageListsAndMenusReleaseWhatTheyOwnAndHandOverOnDetach) {
  CImageList images;
  ASSERT_TRUE(images.Create(16, 16, ILC_COLOR32 | ILC_MASK, 1, 1));
  EXPECT_EQ(0, images.AddResourceIcon(IDR_SORT_ASCENDING));
  EXPECT_EQ(1, images.AddResourceIcon(IDR_SORT_DESCENDING));
  EXPECT_EQ(-1, images.AddResourceIcon(4998));  // no such icon
  EXPECT_EQ(2, images.GetImageCount());
  CImageList moved(std::move(images));
  EXPECT_EQ(nullptr, images.GetSafeHandle());
  EXPECT_EQ(2, moved.GetImageCount());

  HMENU hKept = nullptr;
  HMENU hDestroyed = nullptr;
  {
    CMenu kept;
    ASSERT_TRUE(kept.LoadMenu(IDR_PAGE_MENU));
    CMenu destroyed;
    ASSERT_TRUE(destroyed.LoadMenu(IDR_RECORD_LOG_MENU));
    hDestroyed = destroyed.GetSafeHmenu();
    hKept = kept.Detach();
    CMenu missing;
    EXPECT_FALSE(missing.LoadMenu(4997));
  }
  EXPECT_TRUE(::IsMenu(hKept));
  EXPECT_FALSE(::IsMenu(hDestroyed));
  ::DestroyMenu(hKept);
}

TEST_F(FrameworkWindows, MessageBoxesUseTheAppNameAndTheResourceTextOrSayWhichIdIsMissing) {
  CWinApp app(L"Framework Test");
  MessageBoxAnswerer answerer;
  EXPECT_EQ(IDOK, AfxMessageBox(L"plain"));
  EXPECT_EQ(IDOK, AfxMessageBox(IDS_COL_DEVICE));
  AfxMessageBox(4996u);
  ASSERT_EQ(3u, answerer.boxes.size());
  EXPECT_EQ(L"plain", answerer.boxes[0].text);
  EXPECT_EQ(L"Framework Test", answerer.boxes[0].caption);
  CString device;
  ASSERT_TRUE(device.LoadString(IDS_COL_DEVICE));
  EXPECT_EQ(std::wstring(device.GetString()), answerer.boxes[1].text);
  EXPECT_EQ(L"Error loading string 4996", answerer.boxes[2].text);
}

class CCountingApp : public CWinApp {
public:
  CCountingApp() : CWinApp(L"Counting") {}
  int m_nHelp = 0;
  int m_nExit = 0;
  void OnHelpHere() { ++m_nHelp; }
  int ExitInstance() override {
    ++m_nExit;
    return 17;
  }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CCountingApp, CWinApp)
  ON_COMMAND(ID_HELP, OnHelpHere)
END_MESSAGE_MAP()

TEST(Application, RunGivesThreadCommandsToTheAppMapAndEndsThroughExitInstance) {
  {
    CCountingApp app;
    EXPECT_EQ(&app, AfxGetApp());
    EXPECT_STREQ(L"Counting", AfxGetAppName());
    ::PostThreadMessageW(::GetCurrentThreadId(), WM_COMMAND, MAKEWPARAM(ID_HELP, 0), 0);
    ::PostThreadMessageW(::GetCurrentThreadId(), WM_COMMAND, MAKEWPARAM(ID_HELP + 1, 0), 0);
    ::PostQuitMessage(0);
    EXPECT_EQ(17, app.Run());
    EXPECT_EQ(1, app.m_nHelp);
    EXPECT_EQ(1, app.m_nExit);
  }
  EXPECT_EQ(nullptr, AfxGetApp());
  EXPECT_STREQ(L"", AfxGetAppName());
}

}  // namespace
