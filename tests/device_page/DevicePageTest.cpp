// The device page on real windows against a fake driver: rows of idle and
// running devices, a stream's start and end, sorting by column, the view switch,
// driver failures and the internal-error stop. The page's refresh is driven by
// sending its timer message, never by waiting for the timer.

#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

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

    // Idle refreshes touch no cell.
    const unsigned long long before = page.GetCellUpdateCount();
    Refresh(page);
    EXPECT_EQ(before, page.GetCellUpdateCount());
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

    // Running on: a record without packets shows the no-packets text; a refresh
    // that changes nothing sets at most the duration cell (a second may pass).
    driver.in[1].PacketCount = 0;
    Refresh(page);
    EXPECT_EQ(std::wstring(FormatAverage(-1.0).GetString()), ListText(m_hList, RowOf(1), 3));
    const unsigned long long steady = page.GetCellUpdateCount();
    Refresh(page);
    EXPECT_LE(page.GetCellUpdateCount() - steady, 1u);
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
    ClickButton(hCheck);
    EXPECT_EQ(static_cast<DWORD>(LVS_REPORT), ::GetWindowLongW(m_hList, GWL_STYLE) & LVS_TYPEMASK);
    EXPECT_EQ(2, ::SendMessageW(m_hList, LVM_GETITEMCOUNT, 0, 0));
  });
}

TEST_F(DevicePageTest, DriverFailuresShowOneMessagePerDeviceAndTheRefreshGoesOn) {
  FakeDriver driver(2);
  const HRESULT notFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  driver.inResult = {notFound, notFound};
  MessageBoxAnswerer answerer;
  Run(driver, [&](CDevicePage& page) {
    Refresh(page);
    ASSERT_EQ(2u, answerer.boxes.size());
    CString tmpl;
    ASSERT_TRUE(tmpl.LoadString(IDS_FAILED_QUERY_DRIVER));
    for (int device = 0; device < 2; ++device) {
      CString expected;
      expected.FormatMessage(tmpl, device == 0 ? L"0" : L"1", L"WaveInCounters", L"0x80070002",
                             GetSystemErrorText(notFound));
      EXPECT_EQ(std::wstring(expected.GetString()), answerer.boxes[static_cast<size_t>(device)].text);
    }
    EXPECT_NE(std::wstring::npos, answerer.boxes[0].text.find(L"WaveInCounters"));
    EXPECT_EQ(0, driver.outCalls);  // a failed first request skips the second

    // The timer was started again after the boxes closed: the next refresh comes
    // by itself and shows the two messages again.
    const int calls = driver.inCalls;
    PumpMessages(3000, [&] { return answerer.boxes.size() >= 4; });
    EXPECT_GT(driver.inCalls, calls);
    ASSERT_GE(answerer.boxes.size(), 4u);
    EXPECT_EQ(answerer.boxes[0].text, answerer.boxes[2].text);

    // The playback direction failing names its own kind; the device keeps its row.
    driver.inResult = {S_OK, S_OK};
    driver.outResult = {S_OK, E_ACCESSDENIED};
    driver.Start(1, 10000, 1);
    answerer.boxes.clear();
    Refresh(page);
    ASSERT_EQ(1u, answerer.boxes.size());
    EXPECT_NE(std::wstring::npos, answerer.boxes[0].text.find(L"WaveOutCounters"));
    EXPECT_NE(std::wstring::npos, answerer.boxes[0].text.find(L"0x80070005"));
    EXPECT_EQ(0, ListImage(m_hList, RowOf(1)));
  });
}

TEST_F(DevicePageTest, ARowThatCannotBeFoundStopsTheRefreshForGood) {
  FakeDriver driver(3);
  MessageBoxAnswerer answerer;
  Run(driver, [&](CDevicePage& page) {
    ::SendMessageW(m_hList, LVM_DELETEITEM, static_cast<WPARAM>(RowOf(2)), 0);
    Refresh(page);
    ASSERT_EQ(1u, answerer.boxes.size());
    EXPECT_EQ(L"INTERNAL ERROR: Unable to find m_aItemData for dev = 2", answerer.boxes[0].text);
    // No timer any more: nothing to kill.
    EXPECT_FALSE(::KillTimer(page.m_hWnd, IDT_REFRESH));
  });
}

}  // namespace
