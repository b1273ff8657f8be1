// The device page on real windows against a fake driver: rows of idle and
// running devices whose texts come on demand, a stream's start and end, sorting
// by column, the view switch, driver failures, the internal-error stop and a
// list without devices. The page's refresh is driven by sending its timer
// message, never by waiting for the timer (except where the timer is the point).

#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "framework/PropertySheet.h"
#include "framework/Resource.h"
#include "framework/String.h"
#include "resources/resource.h"
#include "stats/DevicePage.h"
#include "stats/Formatting.h"
#include "tests/framework_windows/GuiHarness.h"

using namespace gui_test;

namespace {

const LVITEMW kSelect = [] {
  LVITEMW item = {};
  item.state = item.stateMask = LVIS_SELECTED;
  return item;
}();
const LVITEMW kDeselect = [] {
  LVITEMW item = {};
  item.stateMask = LVIS_SELECTED;
  return item;
}();

class FakeDriver : public CDeviceAccess {
public:
  explicit FakeDriver(int count) : in(count), out(count), inResult(count, S_OK), outResult(count, S_OK), m_count(count) {}
  int GetDeviceCount() override { return m_count; }
  HRESULT QueryWaveInCounters(int n, WaveCounters& record) override {
    ++inCalls;
    if (FAILED(inResult[n])) return inResult[n];
    record = in[n];
    return S_OK;
  }
  HRESULT QueryWaveOutCounters(int n, WaveCounters& record) override {
    ++outCalls;
    if (FAILED(outResult[n])) return outResult[n];
    record = out[n];
    return S_OK;
  }
  // A stream on device n: remote 127.0.0.1:8000, local port 5060, the given average.
  void Start(int n, long long total, unsigned packets) {
    in[n].Active = 1;
    in[n].Total = total;
    in[n].PacketCount = packets;
    in[n].Port = htons(5060);
    in[n].Counter = 42;
    in[n].Codec = 7;
    out[n].Address = 0x0100007F;
    out[n].AddressPort = htons(8000);
  }
  void Stop(int n) { in[n].Active = 0; }

  std::vector<WaveCounters> in;
  std::vector<WaveCounters> out;
  std::vector<HRESULT> inResult;
  std::vector<HRESULT> outResult;
  int inCalls = 0;
  int outCalls = 0;

private:
  int m_count;
};

// The messages that store a cell's text in a list, counted while alive.
class CellTextWrites {
public:
  explicit CellTextWrites(HWND hList) : m_hList(hList) {
    ::SetWindowSubclass(m_hList, &Proc, 1, reinterpret_cast<DWORD_PTR>(this));
  }
  ~CellTextWrites() { ::RemoveWindowSubclass(m_hList, &Proc, 1); }
  CellTextWrites(const CellTextWrites&) = delete;
  CellTextWrites& operator=(const CellTextWrites&) = delete;

  int count = 0;

private:
  static LRESULT CALLBACK Proc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    CellTextWrites* self = reinterpret_cast<CellTextWrites*>(data);
    const LVITEMW* pItem = reinterpret_cast<const LVITEMW*>(lParam);
    switch (msg) {
      case LVM_SETITEMTEXTW:
      case LVM_SETITEMTEXTA:
        ++self->count;
        break;
      case LVM_SETITEMW:
      case LVM_SETITEMA:
      case LVM_INSERTITEMW:
      case LVM_INSERTITEMA:
        if (pItem && (pItem->mask & LVIF_TEXT) && pItem->pszText != LPSTR_TEXTCALLBACKW) ++self->count;
        break;
      default:
        break;
    }
    return ::DefSubclassProc(hWnd, msg, wParam, lParam);
  }

  HWND m_hList;
};

// Rectangles as {left, top, right, bottom}, so that a failed check prints them.
std::vector<LONG> Box(const RECT& rc) { return {rc.left, rc.top, rc.right, rc.bottom}; }

// What of the list waits to be repainted: the box around its update region.
std::vector<LONG> PendingPaint(HWND hList) {
  RECT rc = {};
  ::GetUpdateRect(hList, &rc, FALSE);
  return Box(rc);
}

// A row's rectangle as far as it is on screen.
std::vector<LONG> RowOnScreen(HWND hList, int row) {
  RECT rc = {};
  rc.left = LVIR_BOUNDS;
  ::SendMessageW(hList, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rc));
  RECT client;
  ::GetClientRect(hList, &client);
  ::IntersectRect(&rc, &rc, &client);
  return Box(rc);
}

const std::vector<LONG> kNothing = {0, 0, 0, 0};

// The English driver-failure message as the page forms it.
std::wstring FailureText(int device, const wchar_t* kind, HRESULT hr) {
  wchar_t code[16];
  _snwprintf(code, 16, L"%#8.8x", static_cast<unsigned int>(hr));
  return L"The driver did not answer the " + std::wstring(kind) + L" request for device " +
         std::to_wstring(device) + L".\r\nError " + code + L": " + GetSystemErrorTextBesideCode(hr).GetString();
}

std::wstring MoreText(int count) {
  return L"\r\nOther devices that did not answer: " + std::to_wstring(count);
}

// A sheet holding only the device page, run modally around a test script.
class DevicePageTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_NE(nullptr, UseResourceModule()) << "bin\\enu\\DelvoraRes.dll is missing";
    CDevicePage::m_aItemData.clear();
    g_qEndedStreams.Clear();
  }

  void Run(FakeDriver& driver, const std::function<void(CDevicePage&)>& script) {
    CDevicePage page;
    page.SetDeviceAccess(&driver);
    CPropertySheet sheet(L"Devices");
    sheet.AddPage(&page);
    const ModalScript inLoop([&] {
      m_hList = page.m_listDevices.m_hWnd;
      script(page);
      ::PostMessageW(sheet.m_hWnd, WM_CLOSE, 0, 0);
    });
    sheet.DoModal();
  }

  void Refresh(CDevicePage& page) { ::SendMessageW(page.m_hWnd, WM_TIMER, IDT_REFRESH, 0); }

  // The devices in row order.
  std::vector<LPARAM> RowOrder() const {
    std::vector<LPARAM> order;
    const int n = static_cast<int>(::SendMessageW(m_hList, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < n; ++row) order.push_back(ListData(m_hList, row));
    return order;
  }

  int RowOf(LPARAM device) const {
    const std::vector<LPARAM> order = RowOrder();
    for (size_t i = 0; i < order.size(); ++i) {
      if (order[i] == device) return static_cast<int>(i);
    }
    return -1;
  }

  HWND Header() const { return reinterpret_cast<HWND>(::SendMessageW(m_hList, LVM_GETHEADER, 0, 0)); }
  std::wstring HeaderText(int column) const {
    wchar_t buf[128] = {};
    HDITEMW item = {};
    item.mask = HDI_TEXT;
    item.pszText = buf;
    item.cchTextMax = 128;
    ::SendMessageW(Header(), HDM_GETITEMW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&item));
    return buf;
  }
  bool HasArrow(int column) const { return (HeaderFormat(Header(), column) & HDF_IMAGE) != 0; }

  static std::wstring Res(UINT id) {
    CString s;
    s.LoadString(id);
    return s.GetString();
  }

  HWND m_hList = nullptr;
};

TEST_F(DevicePageTest, IdleRowsThenAStreamStartsRunsAndEnds) {
  FakeDriver driver(3);
  Run(driver, [&](CDevicePage& page) {
    // Three idle devices.
    ASSERT_EQ(3, ::SendMessageW(m_hList, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < 3; ++row) {
      EXPECT_EQ(row, ListData(m_hList, row));
      wchar_t name[8];
      _snwprintf(name, 8, L"%03d", row);
      EXPECT_EQ(name, ListText(m_hList, row, 0));
      EXPECT_EQ(0, ListImage(m_hList, row));
      for (int col = 1; col < 10; ++col) EXPECT_EQ(L"", ListText(m_hList, row, col)) << row << "," << col;
    }
    EXPECT_TRUE(HasArrow(0));
    EXPECT_EQ(0, HeaderImage(Header(), 0));
    for (int col = 1; col < 10; ++col) EXPECT_FALSE(HasArrow(col)) << col;
    EXPECT_EQ(Res(IDS_COL_DEVICE), HeaderText(0));
    EXPECT_EQ(Res(IDS_COL_STATE), HeaderText(1));
    EXPECT_EQ(Res(IDS_COL_CODEC), HeaderText(7));
    EXPECT_EQ(Res(IDS_COL_COUNTER), HeaderText(9));
    EXPECT_TRUE(page.GetSortState().ascending);
    EXPECT_EQ(0, page.GetSortState().column);
    EXPECT_EQ(static_cast<DWORD>(LVS_REPORT), ::GetWindowLongW(m_hList, GWL_STYLE) & LVS_TYPEMASK);
    EXPECT_EQ(BST_CHECKED, ::IsDlgButtonChecked(page.m_hWnd, IDC_DETAILS));

    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(page.m_hWnd, IDC_NO_DEVICES)));

    // From here on no refresh stores a text in the list: the texts read back below
    // are answered on demand. Idle refreshes repaint nothing.
    CellTextWrites writes(m_hList);
    ::UpdateWindow(m_hList);
    Refresh(page);
    EXPECT_EQ(kNothing, PendingPaint(m_hList));
    EXPECT_EQ(3, driver.inCalls);
    EXPECT_EQ(3, driver.outCalls);

    // A stream on device 1.
    driver.Start(1, 200000, 4);
    Refresh(page);
    const int row = RowOf(1);
    ASSERT_EQ(1, row);
    const ItemData& item = CDevicePage::m_aItemData[1];
    EXPECT_EQ(1, ListImage(m_hList, row));
    EXPECT_EQ(L"001", ListText(m_hList, row, 0));
    EXPECT_EQ(Res(IDS_STATE_RUNNING), ListText(m_hList, row, 1));
    EXPECT_EQ(std::wstring(FormatTimeStamp(item.m_timeStart).GetString()), ListText(m_hList, row, 2));
    EXPECT_EQ(L"5.00", ListText(m_hList, row, 3));
    EXPECT_EQ(L"127.0.0.1", ListText(m_hList, row, 4));
    EXPECT_EQ(L"8000", ListText(m_hList, row, 5));
    EXPECT_EQ(L"5060", ListText(m_hList, row, 6));
    EXPECT_EQ(std::wstring(FormatCodecName(7).GetString()), ListText(m_hList, row, 7));
    EXPECT_EQ(L"0", ListText(m_hList, row, 8));
    EXPECT_EQ(L"42", ListText(m_hList, row, 9));
    for (int other : {0, 2}) EXPECT_EQ(L"", ListText(m_hList, RowOf(other), 1));

    // Running on: a new average shows, and only its row is repainted; a refresh
    // that changes nothing repaints at most that row again (its duration may pass
    // a second).
    driver.in[1].PacketCount = 8;
    driver.in[1].Total = 800000;
    ::UpdateWindow(m_hList);
    Refresh(page);
    EXPECT_EQ(RowOnScreen(m_hList, 1), PendingPaint(m_hList));
    EXPECT_EQ(L"10.00", ListText(m_hList, RowOf(1), 3));
    ::UpdateWindow(m_hList);
    Refresh(page);
    const std::vector<LONG> steady = PendingPaint(m_hList);
    EXPECT_TRUE(steady == kNothing || steady == RowOnScreen(m_hList, 1));
    EXPECT_EQ(0u, g_qEndedStreams.GetCount());

    // The stream ends: the row is idle again and exactly one item is queued.
    driver.Stop(1);
    Refresh(page);
    Refresh(page);
    EXPECT_EQ(0, ListImage(m_hList, RowOf(1)));
    for (int col = 1; col < 10; ++col) EXPECT_EQ(L"", ListText(m_hList, RowOf(1), col)) << col;
    ASSERT_EQ(1u, g_qEndedStreams.GetCount());
    ItemData ended;
    ASSERT_TRUE(g_qEndedStreams.TakeFront(ended));
    EXPECT_EQ(1, ended.m_nDevice);
    EXPECT_FALSE(ended.m_bActive);
    EXPECT_EQ(std::wstring(L"127.0.0.1"), ended.m_strAddress.GetString());
    EXPECT_EQ((std::vector<LPARAM>{0, 1, 2}), RowOrder());
    EXPECT_EQ(0, writes.count);
  });
}

TEST_F(DevicePageTest, ColumnClicksSortAndMoveTheArrowWithTiesInDeviceOrder) {
  FakeDriver driver(4);
  Run(driver, [&](CDevicePage& page) {
    // Devices 0 and 3 average 9.00, device 2 averages 3.00, device 1 is idle (0.00).
    driver.Start(0, 90000, 1);
    driver.Start(2, 30000, 1);
    driver.Start(3, 90000, 1);
    Refresh(page);
    ASSERT_EQ(L"9.00", ListText(m_hList, RowOf(0), 3));

    ClickHeader(m_hList, 3);
    EXPECT_EQ((std::vector<LPARAM>{1, 2, 0, 3}), RowOrder());
    EXPECT_FALSE(HasArrow(0));
    EXPECT_TRUE(HasArrow(3));
    EXPECT_EQ(0, HeaderImage(Header(), 3));

    ClickHeader(m_hList, 3);
    // Descending, but equal averages stay in ascending device order.
    EXPECT_EQ((std::vector<LPARAM>{0, 3, 2, 1}), RowOrder());
    EXPECT_EQ(1, HeaderImage(Header(), 3));
    EXPECT_FALSE(page.GetSortState().ascending);

    // The order holds across a refresh.
    Refresh(page);
    EXPECT_EQ((std::vector<LPARAM>{0, 3, 2, 1}), RowOrder());

    // The state column: running devices first, each group in device order.
    ClickHeader(m_hList, 1);
    EXPECT_EQ((std::vector<LPARAM>{0, 2, 3, 1}), RowOrder());
    EXPECT_TRUE(page.GetSortState().ascending);
    EXPECT_FALSE(HasArrow(3));
    EXPECT_TRUE(HasArrow(1));

    // A stream ends while sorted by state: its row moves down with the idle ones.
    driver.Stop(2);
    Refresh(page);
    EXPECT_EQ((std::vector<LPARAM>{0, 3, 1, 2}), RowOrder());
    EXPECT_EQ(0, ListImage(m_hList, RowOf(2)));

    ClickHeader(m_hList, 0);
    EXPECT_EQ((std::vector<LPARAM>{0, 1, 2, 3}), RowOrder());
    ClickHeader(m_hList, 0);
    EXPECT_EQ((std::vector<LPARAM>{3, 2, 1, 0}), RowOrder());
  });
}

TEST_F(DevicePageTest, EditCommandsCopyTheSelectedRowsAsShownInTheListsOrder) {
  FakeDriver driver(3);
  Run(driver, [&](CDevicePage& page) {
    HWND hSheet = ::GetParent(page.m_hWnd);
    driver.Start(2, 90000, 1);
    Refresh(page);
    ClickHeader(m_hList, 0);  // device column, now descending: 2, 1, 0
    ASSERT_EQ((std::vector<LPARAM>{2, 1, 0}), RowOrder());

    // The menu's commands reach the page through the sheet.
    SendMenuCommand(hSheet, ID_EDIT_SELECT_ALL);
    EXPECT_EQ(3, ::SendMessageW(m_hList, LVM_GETSELECTEDCOUNT, 0, 0));
    SendMenuCommand(hSheet, ID_EDIT_COPY);
    std::wstring titles;
    for (int col = 0; col < 10; ++col) titles += (col ? L"\t" : L"") + HeaderText(col);
    titles += L"\r\n";
    std::wstring expected = titles;
    for (int row = 0; row < 3; ++row) {
      for (int col = 0; col < 10; ++col) expected += (col ? L"\t" : L"") + ListText(m_hList, row, col);
      expected += L"\r\n";
    }
    const std::wstring idle = L"\t\t\t\t\t\t\t\t\t\r\n";
    EXPECT_EQ(0u, expected.find(Res(IDS_COL_DEVICE) + L"\t" + Res(IDS_COL_STATE) + L"\t"));
    EXPECT_NE(std::wstring::npos, expected.find(L"\r\n002\t" + Res(IDS_STATE_RUNNING) + L"\t"));
    EXPECT_NE(std::wstring::npos, expected.find(L"\t9.00\t127.0.0.1\t8000\t5060\t"));
    EXPECT_EQ(L"\r\n001" + idle + L"000" + idle, expected.substr(expected.find(L"\r\n001")));
    EXPECT_EQ(expected, ClipboardText());

    // Ctrl+C in the list, as the sheet's loop handles the key: the one selected row.
    ::SendMessageW(m_hList, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&kDeselect));
    ::SendMessageW(m_hList, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&kSelect));
    PressCtrlKey(hSheet, m_hList, 'C');
    EXPECT_EQ(titles + L"001" + idle, ClipboardText());

    // Nothing selected: nothing copied, the clipboard keeps what it had.
    ::SendMessageW(m_hList, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&kDeselect));
    SetClipboardText(hSheet, L"kept");
    SendMenuCommand(hSheet, ID_EDIT_COPY);
    PressCtrlKey(hSheet, m_hList, 'C');
    EXPECT_EQ(L"kept", ClipboardText());
  });
}

TEST_F(DevicePageTest, EveryTitleStaysWholeBesideTheSortMarkAndTheColumnsFitInBothLanguages) {
  static const HMODULE hGerman = ::LoadLibraryW(L"deu\\DelvoraRes.dll");
  ASSERT_NE(nullptr, hGerman) << "bin\\deu\\DelvoraRes.dll is missing";
  for (const HMODULE hModule : {UseResourceModule(), hGerman}) {
    AfxSetResourceHandle(hModule);
    FakeDriver driver(1);
    Run(driver, [&](CDevicePage& page) {
      HWND hHeader = Header();
      int cxImage = 0, cyImage = 0;
      const auto hImages = reinterpret_cast<HIMAGELIST>(::SendMessageW(hHeader, HDM_GETIMAGELIST, 0, 0));
      ASSERT_TRUE(ImageList_GetIconSize(hImages, &cxImage, &cyImage));
      const int margin = static_cast<int>(::SendMessageW(hHeader, HDM_GETBITMAPMARGIN, 0, 0));
      HDC hdc = ::GetDC(hHeader);
      const HFONT hFont = reinterpret_cast<HFONT>(::SendMessageW(hHeader, WM_GETFONT, 0, 0));
      const HGDIOBJ hOldFont = ::SelectObject(hdc, hFont);
      for (int col = 0; col < 10; ++col) {
        page.SetSortColumn(col);
        ASSERT_TRUE(HasArrow(col));
        const std::wstring title = HeaderText(col);
        SIZE text = {};
        ::GetTextExtentPoint32W(hdc, title.c_str(), static_cast<int>(title.size()), &text);
        RECT item = {};
        ::SendMessageW(hHeader, HDM_GETITEMRECT, static_cast<WPARAM>(col), reinterpret_cast<LPARAM>(&item));
        // The header lays out the title and the image with a margin on both sides
        // of each, inside the item's etched right edge; less room ends the title in "...".
        EXPECT_GE(item.right - item.left, text.cx + 2 * margin + cxImage + 2 * margin + 2)
            << "column " << col << " of module " << hModule;
      }
      ::SelectObject(hdc, hOldFont);
      ::ReleaseDC(hHeader, hdc);
      // Widened so, the columns still fit beside a vertical scroll bar.
      int columns = 0;
      for (int col = 0; col < 10; ++col) {
        columns += static_cast<int>(::SendMessageW(m_hList, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(col), 0));
      }
      RECT client = {};
      ::GetClientRect(m_hList, &client);
      EXPECT_LE(columns + ::GetSystemMetrics(SM_CXVSCROLL), client.right) << "module " << hModule;
    });
  }
  UseResourceModule();
}

TEST_F(DevicePageTest, TheCheckBoxSwitchesBetweenReportAndListView) {
  FakeDriver driver(2);
  Run(driver, [&](CDevicePage& page) {
    HWND hCheck = ::GetDlgItem(page.m_hWnd, IDC_DETAILS);
    ClickButton(hCheck);
    EXPECT_EQ(BST_UNCHECKED, ::IsDlgButtonChecked(page.m_hWnd, IDC_DETAILS));
    EXPECT_EQ(static_cast<DWORD>(LVS_LIST), ::GetWindowLongW(m_hList, GWL_STYLE) & LVS_TYPEMASK);
    EXPECT_EQ(L"001", ListText(m_hList, 1, 0));
    ClickButton(hCheck);
    EXPECT_EQ(static_cast<DWORD>(LVS_REPORT), ::GetWindowLongW(m_hList, GWL_STYLE) & LVS_TYPEMASK);
    EXPECT_EQ(2, ::SendMessageW(m_hList, LVM_GETITEMCOUNT, 0, 0));
  });
}

TEST_F(DevicePageTest, FailingDevicesSayNotAnsweringAndAFailureIsToldOnceInOneMessage) {
  FakeDriver driver(64);
  const HRESULT notFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  MessageBoxAnswerer answerer;
  Run(driver, [&](CDevicePage& page) {
    driver.Start(5, 200000, 4);
    Refresh(page);
    ASSERT_TRUE(answerer.boxes.empty());
    const std::wstring counter = ListText(m_hList, RowOf(5), 9);
    CellTextWrites writes(m_hList);
    std::vector<LONG> pendingUnderBox;

    // The driver stops: one message for the whole refresh, naming the first device
    // and counting the others; every state says so, the other cells stay.
    std::fill(driver.inResult.begin(), driver.inResult.end(), notFound);
    const int outCalls = driver.outCalls;
    ::UpdateWindow(m_hList);
    answerer.onBox = [&](size_t) { pendingUnderBox = PendingPaint(m_hList); };
    Refresh(page);
    ASSERT_EQ(1u, answerer.boxes.size());
    // Every row on screen, and nothing else, was marked for repainting before the
    // message came.
    RECT onScreen = {};
    for (int row = 0; row < 64; ++row) {
      const std::vector<LONG> box = RowOnScreen(m_hList, row);
      RECT rc = {box[0], box[1], box[2], box[3]};
      ::UnionRect(&onScreen, &onScreen, &rc);
    }
    EXPECT_EQ(Box(onScreen), pendingUnderBox);
    EXPECT_EQ(FailureText(0, L"WaveInCounters", notFound) + MoreText(63), answerer.boxes[0].text);
    EXPECT_EQ(outCalls, driver.outCalls);  // a failed first request skips the second
    for (int device = 0; device < 64; ++device) {
      EXPECT_EQ(Res(IDS_STATE_NOT_ANSWERING), ListText(m_hList, RowOf(device), 1)) << device;
    }
    EXPECT_EQ(2, ListImage(m_hList, RowOf(5))) << "a stale row is not shown as running";
    EXPECT_EQ(L"127.0.0.1", ListText(m_hList, RowOf(5), 4));
    EXPECT_EQ(counter, ListText(m_hList, RowOf(5), 9));

    // The same failures go on: the timer's next refreshes come by themselves and
    // say nothing.
    const int inCalls = driver.inCalls;
    PumpMessages(3000, [&] { return driver.inCalls >= inCalls + 128; });
    EXPECT_GE(driver.inCalls, inCalls + 128);
    EXPECT_EQ(1u, answerer.boxes.size());

    // Device 3 answers again: its state comes back, no message; it fails once
    // more: a new failure, told anew.
    driver.inResult[3] = S_OK;
    Refresh(page);
    EXPECT_EQ(L"", ListText(m_hList, RowOf(3), 1));
    EXPECT_EQ(1u, answerer.boxes.size());
    driver.inResult[3] = notFound;
    Refresh(page);
    ASSERT_EQ(2u, answerer.boxes.size());
    EXPECT_EQ(FailureText(3, L"WaveInCounters", notFound) + MoreText(63), answerer.boxes[1].text);

    // Another code, here from the playback direction, is a new failure too.
    driver.inResult[7] = S_OK;
    driver.outResult[7] = E_ACCESSDENIED;
    Refresh(page);
    ASSERT_EQ(3u, answerer.boxes.size());
    EXPECT_EQ(FailureText(7, L"WaveOutCounters", E_ACCESSDENIED) + MoreText(63), answerer.boxes[2].text);

    // All answer again: the states come back.
    std::fill(driver.inResult.begin(), driver.inResult.end(), S_OK);
    std::fill(driver.outResult.begin(), driver.outResult.end(), S_OK);
    Refresh(page);
    EXPECT_EQ(Res(IDS_STATE_RUNNING), ListText(m_hList, RowOf(5), 1));
    EXPECT_EQ(L"", ListText(m_hList, RowOf(7), 1));
    EXPECT_EQ(3u, answerer.boxes.size());
    EXPECT_EQ(0, writes.count);
  });
}

TEST_F(DevicePageTest, ABrokenTranslationOfTheFailureMessageGivesTheFallbackTexts) {
  // Its failure message has a malformed insert, and it has no line for the others.
  const HMODULE hBroken = ::LoadLibraryW(L"DevicePageBrokenTexts.dll");
  ASSERT_NE(nullptr, hBroken) << "bin\\DevicePageBrokenTexts.dll is missing";
  FakeDriver driver(3);
  std::fill(driver.inResult.begin(), driver.inResult.end(), E_FAIL);
  MessageBoxAnswerer answerer;
  Run(driver, [&](CDevicePage& page) {
    const HINSTANCE hModule = AfxGetResourceHandle();
    AfxSetResourceHandle(hBroken);
    Refresh(page);
    AfxSetResourceHandle(hModule);
    ASSERT_EQ(1u, answerer.boxes.size());
    EXPECT_EQ(L"Error loading string IDS_FAILED_QUERY_DRIVER" + MoreText(2), answerer.boxes[0].text);
  });
  ::FreeLibrary(hBroken);
}

TEST_F(DevicePageTest, ARowThatCannotBeFoundStopsTheRefreshForGood) {
  // The last row lost: device 2's in device order; device 0's after a descending
  // sort, where a row that is gone must not read as device 0.
  for (const int lost : {2, 0}) {
    SCOPED_TRACE(lost);
    CDevicePage::m_aItemData.clear();
    FakeDriver driver(3);
    MessageBoxAnswerer answerer;
    Run(driver, [&](CDevicePage& page) {
      if (lost == 0) ClickHeader(m_hList, 0);
      ASSERT_EQ(2, RowOf(lost));
      ::SendMessageW(m_hList, LVM_DELETEITEM, 2, 0);
      Refresh(page);
      ASSERT_EQ(1u, answerer.boxes.size());
      EXPECT_EQ(L"INTERNAL ERROR: Unable to find m_aItemData for dev = " + std::to_wstring(lost),
                answerer.boxes[0].text);
      // No timer any more: nothing to kill.
      EXPECT_FALSE(::KillTimer(page.m_hWnd, IDT_REFRESH));
    });
  }
}

TEST_F(DevicePageTest, WithoutDevicesTheListSaysWhereTheyAreConfigured) {
  FakeDriver driver(0);
  Run(driver, [&](CDevicePage& page) {
    const HWND hText = ::GetDlgItem(page.m_hWnd, IDC_NO_DEVICES);
    ASSERT_NE(nullptr, hText);
    EXPECT_TRUE(::IsWindowVisible(hText));
    EXPECT_EQ(L"No devices are configured. Delvora shows one row for each registry key Device000, Device001, "
              L"... below HKLM\\system\\CurrentControlSet\\services\\tqaudio\\parameters.",
              WindowText(hText));
    // On the list below its header, and above it.
    RECT text, list, header;
    ::GetWindowRect(hText, &text);
    ::GetWindowRect(m_hList, &list);
    ::GetWindowRect(Header(), &header);
    EXPECT_GE(text.top, header.bottom);
    EXPECT_GE(text.left, list.left);
    EXPECT_LE(text.right, list.right);
    EXPECT_LE(text.bottom, list.bottom);
    POINT center = {(text.left + text.right) / 2, (text.top + text.bottom) / 2};
    ::ScreenToClient(page.m_hWnd, &center);
    EXPECT_EQ(hText, ::ChildWindowFromPointEx(page.m_hWnd, center, CWP_SKIPINVISIBLE));

    Refresh(page);
    EXPECT_EQ(0, driver.inCalls);
    EXPECT_TRUE(::KillTimer(page.m_hWnd, IDT_REFRESH));
  });
}

}  // namespace

TEST_F(DevicePageTest, ARowKeepsItsSelectionAsItsStreamComesAndGoesAndTheFilterFollowsTheStreams) {
  FakeDriver driver(4);
  Run(driver, [&](CDevicePage& page) {
    const UINT kBoth = LVIS_SELECTED | LVIS_FOCUSED;
    const auto state = [&](LPARAM device) {
      return static_cast<UINT>(::SendMessageW(m_hList, LVM_GETITEMSTATE, static_cast<WPARAM>(RowOf(device)), kBoth));
    };
    LVITEMW item = {};
    item.state = item.stateMask = kBoth;
    ::SendMessageW(m_hList, LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&item));
    driver.Start(2, 1000, 10);
    Refresh(page);
    EXPECT_EQ(1, ListImage(m_hList, RowOf(2)));
    EXPECT_EQ(kBoth, state(2)) << "a stream that starts";
    // View > Sort by State: running devices first; the selection moves along.
    SendMenuCommand(page.m_hWnd, ID_SORT_BY_FIRST + 1);
    EXPECT_EQ((std::vector<LPARAM>{2, 0, 1, 3}), RowOrder());
    EXPECT_EQ(kBoth, state(2)) << "a sort";

    // Filtered by the state text in upper case: the running devices alone, a
    // stream that starts comes in, one that ends goes.
    std::wstring running = Res(IDS_STATE_RUNNING);
    for (wchar_t& c : running) c = static_cast<wchar_t>(::towupper(c));
    ::SetWindowTextW(::GetDlgItem(page.m_hWnd, IDC_LIST_FILTER), running.c_str());
    EXPECT_EQ((std::vector<LPARAM>{2}), RowOrder());
    driver.Start(1, 500, 5);
    Refresh(page);
    EXPECT_EQ((std::vector<LPARAM>{1, 2}), RowOrder());
    EXPECT_EQ(kBoth, state(2)) << "a row that comes above it";
    driver.Stop(2);
    Refresh(page);
    EXPECT_EQ((std::vector<LPARAM>{1}), RowOrder());
    ::SetWindowTextW(::GetDlgItem(page.m_hWnd, IDC_LIST_FILTER), L"");
    EXPECT_EQ((std::vector<LPARAM>{1, 0, 2, 3}), RowOrder());
    // Without a filter a stream that ends keeps its row, selected.
    ::SendMessageW(m_hList, LVM_SETITEMSTATE, static_cast<WPARAM>(RowOf(1)), reinterpret_cast<LPARAM>(&item));
    driver.Stop(1);
    Refresh(page);
    EXPECT_EQ(0, ListImage(m_hList, RowOf(1)));
    EXPECT_EQ(kBoth, state(1)) << "a stream that ends";
    EXPECT_EQ(L"", ListText(m_hList, RowOf(1), 1));
  });
}

namespace {

// What the open context menu offers (id, grayed, checked), read from inside its
// loop, and the command then chosen by its mnemonic.
struct ContextMenuItem {
  UINT id;
  bool grayed;
  bool checked;
};
std::vector<ContextMenuItem> g_contextItems;
WPARAM g_contextKey = 0;
void CALLBACK ReadContextMenu(HWND, UINT, UINT_PTR id, DWORD) {
  const HWND hMenuWnd = ::FindWindowW(L"#32768", nullptr);
  if (!hMenuWnd || !::IsWindowVisible(hMenuWnd)) return;
  ::KillTimer(nullptr, id);
  const HMENU hMenu = reinterpret_cast<HMENU>(::SendMessageW(hMenuWnd, MN_GETHMENU, 0, 0));
  for (int pos = 0; pos < ::GetMenuItemCount(hMenu); ++pos) {
    const UINT state = ::GetMenuState(hMenu, static_cast<UINT>(pos), MF_BYPOSITION);
    g_contextItems.push_back({::GetMenuItemID(hMenu, pos), (state & MF_GRAYED) != 0, (state & MF_CHECKED) != 0});
    if (HMENU hSub = ::GetSubMenu(hMenu, pos)) {
      for (int sub = 0; sub < ::GetMenuItemCount(hSub); ++sub) {
        const UINT subState = ::GetMenuState(hSub, static_cast<UINT>(sub), MF_BYPOSITION);
        g_contextItems.push_back({::GetMenuItemID(hSub, sub), (subState & MF_GRAYED) != 0, (subState & MF_CHECKED) != 0});
      }
    }
  }
  ::PostMessageW(hMenuWnd, WM_KEYDOWN, g_contextKey, 0);
}

}  // namespace

TEST_F(DevicePageTest, TheRowsContextMenuOffersTheEditCommandsAndTheSortAndRunsTheOneChosen) {
  FakeDriver driver(3);
  Run(driver, [&](CDevicePage& page) {
    g_contextItems.clear();
    g_contextKey = 'A';  // Select All
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &ReadContextMenu);
    // From the keyboard (Shift+F10, the menu key): the list's WM_CONTEXTMENU at (-1, -1).
    ::SendMessageW(page.m_hWnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(m_hList), MAKELPARAM(-1, -1));
    ::KillTimer(nullptr, timer);
    ASSERT_FALSE(g_contextItems.empty()) << "no context menu came up";
    const auto find = [&](UINT id) {
      for (const ContextMenuItem& item : g_contextItems) {
        if (item.id == id) return item;
      }
      ADD_FAILURE() << "no item " << id;
      return ContextMenuItem{};
    };
    EXPECT_TRUE(find(ID_EDIT_COPY).grayed) << "nothing selected to copy";
    EXPECT_FALSE(find(ID_EDIT_SELECT_ALL).grayed);
    EXPECT_TRUE(find(ID_SORT_BY_FIRST).checked);
    // The header shows the sort marks, not the rows' images the list also hands it.
    EXPECT_NE(::SendMessageW(m_hList, LVM_GETIMAGELIST, LVSIL_SMALL, 0),
              ::SendMessageW(Header(), HDM_GETIMAGELIST, 0, 0));
    EXPECT_FALSE(find(ID_SORT_BY_FIRST + 1).checked);
    EXPECT_FALSE(find(ID_SORT_BY_LAST).grayed);
    EXPECT_EQ(3, static_cast<int>(::SendMessageW(m_hList, LVM_GETSELECTEDCOUNT, 0, 0))) << "Select All chosen";
  });
}
