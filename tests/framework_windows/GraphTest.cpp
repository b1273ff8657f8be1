// The graph control on a real window, read back in pixels: lines in their system
// colours with pens of the window's DPI, broken at a gap, the same in a
// high-contrast scheme; the tooltip at the pointer; the name and the live value
// that screen readers get. Run at 96 and at 144 DPI.

#include <windows.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "framework/Dpi.h"
#include "framework/Gdi.h"
#include "framework/Graph.h"
#include "tests/framework_windows/GuiHarness.h"

using namespace gui_test;

namespace {

// Ten slots: "Up" at 2 with a gap at slots 4 and 5, "Flat" at 8 throughout.
class CTestSource : public CGraphSource {
public:
  int GetSlotCount() const override { return 10; }
  bool GetValue(int nLine, int nSlot, double& dValue) const override {
    dValue = nLine == 0 ? 2 : 8;
    return nLine == 1 || ((nSlot < 4 || nSlot > 5) && !(bNewestGap && nSlot == 9));
  }
  CString GetSlotTime(int nSlot) const override { return nSlot < 4 ? L"early" : nSlot > 5 ? L"late" : L"gap"; }
  bool bNewestGap = false;
};

// The system colours, changed for the life of the object.
class CSysColors {
public:
  CSysColors(std::vector<int> indexes, std::vector<COLORREF> colors) : m_indexes(std::move(indexes)) {
    for (int index : m_indexes) m_old.push_back(::GetSysColor(index));
    ::SetSysColors(static_cast<int>(m_indexes.size()), m_indexes.data(), colors.data());
  }
  ~CSysColors() { ::SetSysColors(static_cast<int>(m_indexes.size()), m_indexes.data(), m_old.data()); }

private:
  std::vector<int> m_indexes;
  std::vector<COLORREF> m_old;
};

// The graph drawn into a 32-bit bitmap: the rows of a column, below the legend,
// that have a colour.
class CCapture {
public:
  explicit CCapture(HWND hWnd) {
    ::GetClientRect(hWnd, &m_rc);
    const BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), m_rc.right, -m_rc.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    void* pBits = nullptr;
    const CMemoryDC memory(::CreateCompatibleDC(nullptr));
    const CBitmap bitmap(::CreateDIBSection(memory.Get(), &info, DIB_RGB_COLORS, &pBits, nullptr, 0));
    const CSelection selected(memory.Get(), bitmap.Get());
    ::SendMessageW(hWnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory.Get()), PRF_CLIENT);
    ::GdiFlush();
    m_pixels.assign(static_cast<const DWORD*>(pBits), static_cast<const DWORD*>(pBits) + m_rc.right * m_rc.bottom);
  }
  COLORREF At(int x, int y) const {
    const DWORD rgb = m_pixels[static_cast<size_t>(y * m_rc.right + x)];
    return RGB(GetBValue(rgb), GetGValue(rgb), GetRValue(rgb));
  }
  int RowsOf(int x, COLORREF color) const {
    int n = 0;
    for (int y = m_rc.bottom / 4; y < m_rc.bottom; ++y) n += At(x, y) == color;
    return n;
  }

private:
  RECT m_rc = {};
  std::vector<DWORD> m_pixels;
};

std::wstring Text(BSTR text) {
  std::wstring result = text ? text : L"";
  ::SysFreeString(text);
  return result;
}

TEST(Graph, LinesInSystemColoursAtTheDpiBrokenAtGapsWithATooltipAndAnAccessibleNameAndValue) {
  ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
  HWND hParent = ::CreateWindowExW(0, L"Static", L"", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr,
                                   nullptr, nullptr);
  const UINT nDpi = GetWindowDpi(hParent);
  printf("graph drawn at %u DPI\n", nDpi);
  ::SetWindowPos(hParent, nullptr, 0, 0, ScaleToDpi(400, nDpi), ScaleToDpi(200, nDpi), SWP_NOZORDER);
  HWND hControl = ::CreateWindowExW(0, L"Static", L"Test graph", WS_CHILD | WS_VISIBLE | SS_OWNERDRAW, 0, 0,
                                    ScaleToDpi(400, nDpi), ScaleToDpi(200, nDpi), hParent, nullptr, nullptr, nullptr);
  CTestSource source;
  CGraphCtrl graph;
  ASSERT_TRUE(graph.Subclass(hControl));
  graph.SetLines({{L"Up", COLOR_HIGHLIGHT, 0, false}, {L"Flat", COLOR_WINDOWTEXT, 1, true}});
  graph.SetSource(&source);
  graph.SetNoValueText(L"none");
  graph.SetTimeAxis(L"then", L"between", L"now");
  graph.Update();
  ::UpdateWindow(hControl);

  // In both schemes: the background, a line as thick as its pen at this DPI in
  // each run, none across the gap (the middle of the width lies in it).
  const int cx = ScaleToDpi(400, nDpi);
  for (bool bHighContrast : {false, true}) {
    std::unique_ptr<CSysColors> scheme;
    if (bHighContrast) {
      scheme = std::make_unique<CSysColors>(
          std::vector<int>{COLOR_WINDOW, COLOR_WINDOWTEXT, COLOR_HIGHLIGHT, COLOR_GRAYTEXT},
          std::vector<COLORREF>{RGB(0, 0, 0), RGB(255, 255, 255), RGB(0, 255, 255), RGB(0, 255, 0)});
      ::SendMessageW(hControl, WM_SYSCOLORCHANGE, 0, 0);
    }
    SCOPED_TRACE(bHighContrast ? "high contrast" : "usual colours");
    const CCapture shot(hControl);
    EXPECT_EQ(::GetSysColor(COLOR_WINDOW), shot.At(1, 1));
    const COLORREF line = ::GetSysColor(COLOR_HIGHLIGHT);
    EXPECT_EQ(ScaleToDpi(2, nDpi), shot.RowsOf(cx / 4, line));
    EXPECT_EQ(ScaleToDpi(2, nDpi), shot.RowsOf(cx * 3 / 4, line));
    EXPECT_EQ(0, shot.RowsOf(cx / 2, line));
  }

  // The tooltip follows the pointer with the slot's time and values.
  HWND hTip = graph.GetToolTip();
  auto tipText = [&] {
    wchar_t text[256] = {};
    TOOLINFOW info = {sizeof(info), 0, hControl, reinterpret_cast<UINT_PTR>(hControl)};
    info.lpszText = text;
    ::SendMessageW(hTip, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&info));
    return std::wstring(text);
  };
  ::SendMessageW(hControl, WM_MOUSEMOVE, 0, MAKELPARAM(cx / 4, ScaleToDpi(100, nDpi)));
  EXPECT_TRUE(::IsWindowVisible(hTip));
  EXPECT_EQ(L"early\r\nUp: 2\r\nFlat: 8.0", tipText());
  ::SendMessageW(hControl, WM_MOUSEMOVE, 0, MAKELPARAM(cx / 2, ScaleToDpi(100, nDpi)));
  EXPECT_EQ(L"gap\r\nUp: none\r\nFlat: 8.0", tipText());
  ::SendMessageW(hControl, WM_MOUSELEAVE, 0, 0);
  EXPECT_FALSE(::IsWindowVisible(hTip));

  // A screen reader's object: the window text, the newest values as they change.
  IAccessible* pAccessible = nullptr;
  ASSERT_EQ(S_OK, ::AccessibleObjectFromWindow(hControl, OBJID_CLIENT, __uuidof(IAccessible),
                                               reinterpret_cast<void**>(&pAccessible)));
  VARIANT self = {};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR text = nullptr;
  EXPECT_EQ(S_OK, pAccessible->get_accName(self, &text));
  EXPECT_EQ(L"Test graph", Text(text));
  EXPECT_EQ(S_OK, pAccessible->get_accValue(self, &text));
  EXPECT_EQ(L"Up: 2; Flat: 8.0", Text(text));
  source.bNewestGap = true;
  graph.Update();
  EXPECT_EQ(S_OK, pAccessible->get_accValue(self, &text));
  EXPECT_EQ(L"Up: none; Flat: 8.0", Text(text));
  VARIANT role = {};
  EXPECT_EQ(S_OK, pAccessible->get_accRole(self, &role));
  EXPECT_EQ(ROLE_SYSTEM_CHART, role.lVal);
  pAccessible->Release();

  ::DestroyWindow(hParent);
  EXPECT_FALSE(::IsWindow(hTip)) << "the tooltip goes with the graph";
  ::CoUninitialize();
}

}  // namespace
