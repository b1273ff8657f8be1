#include "framework/Graph.h"

#include <windowsx.h>
#include <commctrl.h>
#include <oleacc.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <utility>

#include "framework/Dpi.h"
#include "support/ComOwner.h"

namespace {

const int kGridParts = 4;     // the values are split into at most this many grid steps
const int kPad = 4;           // pixels at 96 DPI between texts, lines and edges
const int kLineWidth = 2;     // the lines' pens at 96 DPI
const int kSwatch = 30;       // a legend's sample of its line at 96 DPI: a dash, a break, a dash
const int kTipOffset = 16;    // the tooltip's distance from the pointer at 96 DPI
const int kTipWidth = 400;    // the widest tooltip line at 96 DPI

// A step of 1, 2 or 5 times a power of ten that splits 0..dMax (> 0) into at most kGridParts steps.
double GridStep(double dMax) {
  const double dRaw = dMax / kGridParts;
  const double dPower = std::pow(10.0, std::floor(std::log10(dRaw)));
  const double dFactor = dRaw / dPower;
  return (dFactor <= 1 ? 1 : dFactor <= 2 ? 2 : dFactor <= 5 ? 5 : 10) * dPower;
}

// Enough decimals to tell the grid's steps apart.
int StepDecimals(double dStep) {
  return dStep >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(dStep) - 1e-9));
}

CString FormatValue(double dValue, int nDecimals) {
  CString text;
  text.Format(L"%.*f", nDecimals, dValue);
  return text;
}

int TextWidth(HDC hdc, const CString& strText) {
  SIZE size = {};
  ::GetTextExtentPoint32W(hdc, strText, strText.GetLength(), &size);
  return size.cx;
}

void TextAt(HDC hdc, int x, int y, const CString& strText) { ::TextOutW(hdc, x, y, strText, strText.GetLength()); }

void Line(HDC hdc, int x1, int y1, int x2, int y2) {
  ::MoveToEx(hdc, x1, y1, nullptr);
  ::LineTo(hdc, x2, y2);
}

bool IsSelf(const VARIANT& varChild) { return varChild.vt == VT_I4 && varChild.lVal == CHILDID_SELF; }

// The graph's client object: the system's standard one, with the window text as
// its name, the newest values as its value and the role of a chart. It holds the
// window, not the graph, since a screen reader may keep it past both.
class CGraphAccessible final : public IAccessible {
public:
  CGraphAccessible(HWND hWnd, IAccessible* pStandard) : m_hWnd(hWnd), m_pStandard(pStandard) {
    m_pStandard->AddRef();
  }
  CGraphAccessible(const CGraphAccessible&) = delete;
  CGraphAccessible& operator=(const CGraphAccessible&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid != IID_IUnknown && riid != IID_IDispatch && riid != __uuidof(IAccessible)) {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    *ppv = static_cast<IAccessible*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_nRefs)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG n = ::InterlockedDecrement(&m_nRefs);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }

  HRESULT STDMETHODCALLTYPE get_accName(VARIANT varChild, BSTR* pszName) override {
    if (!IsSelf(varChild)) return m_pStandard->get_accName(varChild, pszName);
    CString text;
    CWnd(m_hWnd).GetWindowText(text);
    return Answer(text, pszName);
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT varChild, BSTR* pszValue) override {
    const CWnd* pWnd = CWnd::FromHandlePermanent(m_hWnd);
    if (!IsSelf(varChild) || !pWnd || !pWnd->IsKindOf(RUNTIME_CLASS(CGraphCtrl))) {
      return m_pStandard->get_accValue(varChild, pszValue);
    }
    try {
      return Answer(static_cast<const CGraphCtrl*>(pWnd)->GetValueText(), pszValue);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT varChild, VARIANT* pvarRole) override {
    if (!IsSelf(varChild)) return m_pStandard->get_accRole(varChild, pvarRole);
    if (!pvarRole) return E_INVALIDARG;
    pvarRole->vt = VT_I4;
    pvarRole->lVal = ROLE_SYSTEM_CHART;
    return S_OK;
  }

  // Everything else is the standard object's.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* p) override { return m_pStandard->GetTypeInfoCount(p); }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT n, LCID lcid, ITypeInfo** pp) override {
    return m_pStandard->GetTypeInfo(n, lcid, pp);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT n, LCID lcid, DISPID* ids) override {
    return m_pStandard->GetIDsOfNames(riid, names, n, lcid, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* info, UINT* arg) override {
    return m_pStandard->Invoke(id, riid, lcid, flags, params, result, info, arg);
  }
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** pp) override { return m_pStandard->get_accParent(pp); }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* p) override { return m_pStandard->get_accChildCount(p); }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT v, IDispatch** pp) override {
    return m_pStandard->get_accChild(v, pp);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT v, BSTR* p) override {
    return m_pStandard->get_accDescription(v, p);
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT v, VARIANT* p) override { return m_pStandard->get_accState(v, p); }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT v, BSTR* p) override { return m_pStandard->get_accHelp(v, p); }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* p, VARIANT v, long* n) override {
    return m_pStandard->get_accHelpTopic(p, v, n);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT v, BSTR* p) override {
    return m_pStandard->get_accKeyboardShortcut(v, p);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* p) override { return m_pStandard->get_accFocus(p); }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* p) override { return m_pStandard->get_accSelection(p); }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT v, BSTR* p) override {
    return m_pStandard->get_accDefaultAction(v, p);
  }
  HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT v) override { return m_pStandard->accSelect(flags, v); }
  HRESULT STDMETHODCALLTYPE accLocation(long* x, long* y, long* cx, long* cy, VARIANT v) override {
    return m_pStandard->accLocation(x, y, cx, cy, v);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long dir, VARIANT start, VARIANT* p) override {
    return m_pStandard->accNavigate(dir, start, p);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* p) override { return m_pStandard->accHitTest(x, y, p); }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT v) override { return m_pStandard->accDoDefaultAction(v); }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT v, BSTR s) override { return m_pStandard->put_accName(v, s); }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT v, BSTR s) override { return m_pStandard->put_accValue(v, s); }

private:
  ~CGraphAccessible() { m_pStandard->Release(); }

  static HRESULT Answer(const CString& strText, BSTR* pText) {
    if (!pText) return E_INVALIDARG;
    *pText = ::SysAllocStringLen(strText, static_cast<UINT>(strText.GetLength()));
    return *pText ? S_OK : E_OUTOFMEMORY;
  }

  LONG m_nRefs = 1;
  HWND m_hWnd;
  IAccessible* m_pStandard;
};

// One line's points in runs without gaps. Slots that fall on one pixel column
// are kept as the column's lowest and highest point, the one nearer where the
// column's values start first: the line covers the same pixels with at most two
// points a column.
class CLineRuns {
public:
  void Add(int x, int y) {
    if (m_bColumn && x == m_x) {
      m_yMin = std::min(m_yMin, y);
      m_yMax = std::max(m_yMax, y);
      return;
    }
    FlushColumn();
    m_bColumn = true;
    m_x = x;
    m_yFirst = m_yMin = m_yMax = y;
  }
  void Break() {
    FlushColumn();
    const size_t n = points.size() - m_runStart;
    // A lone point still shows, as a dot one pixel long.
    if (n == 1) points.push_back({points.back().x + 1, points.back().y});
    if (n > 0) counts.push_back(static_cast<DWORD>(points.size() - m_runStart));
    m_runStart = points.size();
  }

  std::vector<POINT> points;
  std::vector<DWORD> counts;

private:
  void FlushColumn() {
    if (!m_bColumn) return;
    const bool bMinFirst = m_yFirst - m_yMin <= m_yMax - m_yFirst;
    points.push_back({m_x, bMinFirst ? m_yMin : m_yMax});
    if (m_yMin != m_yMax) points.push_back({m_x, bMinFirst ? m_yMax : m_yMin});
    m_bColumn = false;
  }

  size_t m_runStart = 0;
  bool m_bColumn = false;
  int m_x = 0, m_yFirst = 0, m_yMin = 0, m_yMax = 0;
};

// Cosmetic pens are an order of magnitude faster than wide geometric ones under
// Wine's DIB engine (0.3 against 3.5 ms for an hour of samples): a line nWidth
// pixels wide is drawn as 2 nWidth - 1 one-pixel copies, moved down and right.
void WideLines(HDC hdc, const POINT* pPoints, const DWORD* pCounts, DWORD nRuns, int nWidth) {
  POINT origin = {};
  ::GetViewportOrgEx(hdc, &origin);
  for (int pass = 0; pass < 2 * nWidth - 1; ++pass) {
    const int dx = pass < nWidth ? 0 : pass - nWidth + 1;
    const int dy = pass < nWidth ? pass : 0;
    ::SetViewportOrgEx(hdc, origin.x + dx, origin.y + dy, nullptr);
    ::PolyPolyline(hdc, pPoints, pCounts, nRuns);
  }
  ::SetViewportOrgEx(hdc, origin.x, origin.y, nullptr);
}

}  // namespace

IMPLEMENT_DYNAMIC(CGraphCtrl, CWnd)

BEGIN_MESSAGE_MAP(CGraphCtrl, CWnd)
  ON_MESSAGE(WM_PAINT, OnPaint)
  ON_MESSAGE(WM_ERASEBKGND, OnEraseBkgnd)
  ON_MESSAGE(WM_PRINTCLIENT, OnPrintClient)
  ON_MESSAGE(WM_NCHITTEST, OnNcHitTest)
  ON_MESSAGE(WM_MOUSEMOVE, OnMouseMove)
  ON_MESSAGE(WM_MOUSELEAVE, OnMouseLeave)
  ON_MESSAGE(WM_GETOBJECT, OnGetObject)
  ON_MESSAGE(WM_SIZE, OnRedrawAll)
  ON_MESSAGE(WM_SYSCOLORCHANGE, OnRedrawAll)
  ON_MESSAGE(WM_THEMECHANGED, OnRedrawAll)
  ON_MESSAGE(WM_SETTEXT, OnStaticChange)
  ON_MESSAGE(WM_ENABLE, OnStaticChange)
  ON_MESSAGE(WM_SETFONT, OnSetFont)
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CGraphCtrl::~CGraphCtrl() {
  if (m_hWnd) Unsubclass();
}

BOOL CGraphCtrl::Subclass(HWND hControl) {
  // Through the window procedure and the control's user data (a static leaves it
  // to its owner), not SetWindowSubclass: comctl32 finds its subclasses through a
  // window property, which under Wine costs a call to the server on every message,
  // nine tenths of the time an empty paint takes.
  if (!hControl || m_hWnd || ::GetWindowLongPtrW(hControl, GWLP_USERDATA)) return FALSE;
  ::SetWindowLongPtrW(hControl, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  m_pfnControlProc = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(hControl, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CGraphCtrl::GraphProc)));
  if (!m_pfnControlProc) {
    ::SetWindowLongPtrW(hControl, GWLP_USERDATA, 0);
    return FALSE;
  }
  AttachPermanent(hControl);
  // The dialog's font, kept for the paints; WM_SETFONT brings a new one.
  m_hFont = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
  // A tracking tooltip: shown, moved and filled by the graph as the pointer moves.
  m_toolTip.Attach(::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                     WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                                     CW_USEDEFAULT, CW_USEDEFAULT, hControl, nullptr, nullptr, nullptr));
  if (m_toolTip) {
    TOOLINFOW info = {};
    info.cbSize = sizeof(info);
    info.uFlags = TTF_TRACK | TTF_ABSOLUTE | TTF_IDISHWND;
    info.hwnd = hControl;
    info.uId = reinterpret_cast<UINT_PTR>(hControl);
    info.lpszText = const_cast<wchar_t*>(L"");
    ::SendMessageW(m_toolTip.Get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    // A width makes the tooltip break its text at the line ends.
    ::SendMessageW(m_toolTip.Get(), TTM_SETMAXTIPWIDTH, 0, ScaleToDpi(kTipWidth, GetWindowDpi(hControl)));
  }
  return TRUE;
}

void CGraphCtrl::Unsubclass() {
  // The control's own procedure goes back only if nobody subclassed it after us.
  if (::GetWindowLongPtrW(m_hWnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&CGraphCtrl::GraphProc)) {
    ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnControlProc));
  }
  ::SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
  m_toolTip.Close();
  DetachPermanent();
}

LRESULT CALLBACK CGraphCtrl::GraphProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CGraphCtrl* pGraph = reinterpret_cast<CGraphCtrl*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA));
  // Left in a chain that another subclass made after ours, the graph object gone.
  if (!pGraph) return ::DefWindowProcW(hWnd, message, wParam, lParam);
  const WNDPROC pfnControlProc = pGraph->m_pfnControlProc;
  if (message == WM_NCDESTROY) {
    pGraph->Unsubclass();
    return ::CallWindowProcW(pfnControlProc, hWnd, message, wParam, lParam);
  }
  LRESULT result = 0;
  if (pGraph->RouteMessage(message, wParam, lParam, &result)) return result;
  return ::CallWindowProcW(pfnControlProc, hWnd, message, wParam, lParam);
}

LRESULT CGraphCtrl::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::CallWindowProcW(m_pfnControlProc, m_hWnd, message, wParam, lParam);
}

void CGraphCtrl::SetTimeAxis(const CString& strOldest, const CString& strMiddle, const CString& strNewest) {
  m_strAxis[0] = strOldest;
  m_strAxis[1] = strMiddle;
  m_strAxis[2] = strNewest;
}

void CGraphCtrl::Update() {
  if (!m_hWnd) return;
  Invalidate(FALSE);
  if (m_bTipShown) ShowToolTip(m_ptTip);
  CString strValue = GetValueText();
  if (strValue != m_strLastValue) {
    m_strLastValue = std::move(strValue);
    ::NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, m_hWnd, OBJID_CLIENT, CHILDID_SELF);
  }
}

CString CGraphCtrl::LineText(int nLine, int nSlot) const {
  const GraphLine& line = m_lines[static_cast<size_t>(nLine)];
  double dValue = 0;
  const bool bValue = m_pSource && nSlot >= 0 && m_pSource->GetValue(nLine, nSlot, dValue);
  return line.strName + L": " + (bValue ? FormatValue(dValue, line.nDecimals) : m_strNoValue);
}

CString CGraphCtrl::GetValueText() const {
  const int nNewest = m_pSource ? m_pSource->GetSlotCount() - 1 : -1;
  CString text;
  for (size_t i = 0; i < m_lines.size(); ++i) {
    if (i) text += L"; ";
    text += LineText(static_cast<int>(i), nNewest);
  }
  return text;
}

void CGraphCtrl::PrepareTools(UINT nDpi) {
  std::vector<COLORREF> colors = {::GetSysColor(COLOR_WINDOW), ::GetSysColor(COLOR_WINDOWTEXT),
                                  ::GetSysColor(COLOR_GRAYTEXT)};
  for (const GraphLine& line : m_lines) colors.push_back(::GetSysColor(line.nSysColor));
  if (nDpi == m_nToolsDpi && colors == m_toolColors && m_linePens.size() == m_lines.size()) return;
  m_background.Attach(::CreateSolidBrush(colors[0]));
  m_axisPen.Attach(::CreatePen(PS_SOLID, 1, colors[1]));
  m_gridPen.Attach(::CreatePen(PS_DOT, 1, colors[2]));
  m_linePens.clear();
  for (size_t i = 0; i < m_lines.size(); ++i) {
    m_linePens.emplace_back(::CreatePen(m_lines[i].bDashed ? PS_DASH : PS_SOLID, 1, colors[3 + i]));
  }
  m_toolColors = std::move(colors);
  m_nToolsDpi = nDpi;
}

void CGraphCtrl::Draw(HDC hdc, const RECT& rc) {
  const UINT nDpi = GetWindowDpi(m_hWnd);
  PrepareTools(nDpi);
  ::FillRect(hdc, &rc, m_background.Get());
  const CSelection font(hdc, m_hFont ? static_cast<HGDIOBJ>(m_hFont) : ::GetStockObject(DEFAULT_GUI_FONT));
  ::SetBkMode(hdc, TRANSPARENT);
  ::SetTextColor(hdc, m_toolColors[1]);
  TEXTMETRICW metrics = {};
  ::GetTextMetricsW(hdc, &metrics);
  const int cyText = metrics.tmHeight;
  const int pad = ScaleToDpi(kPad, nDpi);
  const int nLineWidth = ScaleToDpi(kLineWidth, nDpi);

  // The values once, a gap as NaN: the scale needs them before the lines are drawn.
  const int nSlots = m_pSource ? m_pSource->GetSlotCount() : 0;
  const size_t nLines = m_lines.size();
  std::vector<double> values(nLines * static_cast<size_t>(std::max(nSlots, 0)), NAN);
  double dMax = 0;
  for (size_t line = 0; line < nLines; ++line) {
    for (int slot = 0; slot < nSlots; ++slot) {
      double dValue = 0;
      if (!m_pSource->GetValue(static_cast<int>(line), slot, dValue)) continue;
      values[line * static_cast<size_t>(nSlots) + static_cast<size_t>(slot)] = dValue;
      dMax = std::max(dMax, dValue);
    }
  }
  const double dStep = GridStep(std::max(dMax, 1.0));
  const int nSteps = std::max(1, static_cast<int>(std::ceil(dMax / dStep - 1e-9)));
  const double dTop = nSteps * dStep;
  const int nGridDecimals = StepDecimals(dStep);
  auto valueAt = [&](size_t line, int slot) {
    return values[line * static_cast<size_t>(nSlots) + static_cast<size_t>(slot)];
  };

  // Room for the grid's values on the left and the newest values on the right.
  int cxGrid = 0;
  for (int step = 0; step <= nSteps; ++step) {
    cxGrid = std::max(cxGrid, TextWidth(hdc, FormatValue(step * dStep, nGridDecimals)));
  }
  std::vector<CString> newest(nLines);
  int cxNewest = cxGrid;
  for (size_t line = 0; line < nLines && nSlots > 0; ++line) {
    if (std::isnan(valueAt(line, nSlots - 1))) continue;
    newest[line] = FormatValue(valueAt(line, nSlots - 1), m_lines[line].nDecimals);
    cxNewest = std::max(cxNewest, TextWidth(hdc, newest[line]));
  }
  const RECT plot = {rc.left + 2 * pad + cxGrid, rc.top + 2 * pad + cyText, rc.right - 2 * pad - cxNewest,
                     rc.bottom - 2 * pad - cyText};
  const int cxPlot = plot.right - plot.left, cyPlot = plot.bottom - plot.top;
  m_rcPlot = cxPlot > 1 && cyPlot > 1 ? plot : RECT{0, 0, 0, 0};
  if (::IsRectEmpty(&m_rcPlot)) return;
  auto slotX = [&](int slot) {
    return nSlots > 1 ? plot.left + ::MulDiv(slot, cxPlot - 1, nSlots - 1) : plot.right - 1;
  };
  auto valueY = [&](double dValue) {
    return plot.bottom - 1 - static_cast<int>(std::lround(dValue / dTop * (cyPlot - 1)));
  };

  // The legend along the top: each line's sample and its name.
  int x = plot.left;
  const int yLegend = rc.top + pad;
  for (size_t line = 0; line < nLines; ++line) {
    const CSelection pen(hdc, m_linePens[line].Get());
    const int ySwatch = yLegend + (cyText - nLineWidth) / 2;
    const POINT swatch[] = {{x, ySwatch}, {x + ScaleToDpi(kSwatch, nDpi), ySwatch}};
    const DWORD nSwatch = 2;
    WideLines(hdc, swatch, &nSwatch, 1, nLineWidth);
    x += ScaleToDpi(kSwatch, nDpi) + pad;
    TextAt(hdc, x, yLegend, m_lines[line].strName);
    x += TextWidth(hdc, m_lines[line].strName) + 3 * pad;
  }

  // Grid lines with their values, the axes, the middle of the time span.
  {
    const CSelection grid(hdc, m_gridPen.Get());
    for (int step = 1; step <= nSteps; ++step) {
      Line(hdc, plot.left, valueY(step * dStep), plot.right, valueY(step * dStep));
    }
    Line(hdc, (plot.left + plot.right) / 2, plot.top, (plot.left + plot.right) / 2, plot.bottom);
  }
  {
    const CSelection axis(hdc, m_axisPen.Get());
    Line(hdc, plot.left, plot.top, plot.left, plot.bottom - 1);
    Line(hdc, plot.left, plot.bottom - 1, plot.right, plot.bottom - 1);
  }
  for (int step = 0; step <= nSteps; ++step) {
    const CString label = FormatValue(step * dStep, nGridDecimals);
    TextAt(hdc, plot.left - pad - TextWidth(hdc, label), valueY(step * dStep) - cyText / 2, label);
  }
  const int yAxis = plot.bottom + pad;
  TextAt(hdc, plot.left, yAxis, m_strAxis[0]);
  TextAt(hdc, (plot.left + plot.right - TextWidth(hdc, m_strAxis[1])) / 2, yAxis, m_strAxis[1]);
  TextAt(hdc, plot.right - TextWidth(hdc, m_strAxis[2]), yAxis, m_strAxis[2]);

  // The lines, broken at their gaps, and the newest values beside their ends,
  // kept a text line apart from each other.
  std::vector<std::pair<int, size_t>> labels;
  for (size_t line = 0; line < nLines; ++line) {
    CLineRuns runs;
    for (int slot = 0; slot < nSlots; ++slot) {
      if (std::isnan(valueAt(line, slot))) {
        runs.Break();
      } else {
        runs.Add(slotX(slot), valueY(valueAt(line, slot)));
      }
    }
    runs.Break();
    if (!runs.counts.empty()) {
      const CSelection pen(hdc, m_linePens[line].Get());
      WideLines(hdc, runs.points.data(), runs.counts.data(), static_cast<DWORD>(runs.counts.size()), nLineWidth);
    }
    if (!newest[line].IsEmpty()) labels.emplace_back(valueY(valueAt(line, nSlots - 1)) - cyText / 2, line);
  }
  std::sort(labels.begin(), labels.end());
  for (size_t i = 1; i < labels.size(); ++i) labels[i].first = std::max(labels[i].first, labels[i - 1].first + cyText);
  for (const auto& label : labels) {
    ::SetTextColor(hdc, m_toolColors[3 + label.second]);
    TextAt(hdc, plot.right + pad, label.first, newest[label.second]);
  }
}

LRESULT CGraphCtrl::OnPaint(WPARAM, LPARAM) {
  const CPaintScope paint(m_hWnd);
  RECT rc = {};
  GetClientRect(&rc);
  if (!paint.Get() || ::IsRectEmpty(&rc)) return 0;
  // Drawn off screen and put up in one piece: no flicker as the values move. The
  // buffer is kept while the size stays (its making is a tenth of a paint).
  if (!m_buffer || m_bufferSize.cx != rc.right || m_bufferSize.cy != rc.bottom) {
    if (!m_bufferDC) m_bufferDC.Attach(::CreateCompatibleDC(paint.Get()));
    CBitmap bitmap(::CreateCompatibleBitmap(paint.Get(), rc.right, rc.bottom));
    if (m_bufferDC && bitmap) {
      // Selecting the new bitmap frees the old one for its owner to delete.
      ::SelectObject(m_bufferDC.Get(), bitmap.Get());
      m_buffer = std::move(bitmap);
      m_bufferSize = {rc.right, rc.bottom};
    }
  }
  if (!m_buffer || m_bufferSize.cx != rc.right || m_bufferSize.cy != rc.bottom) {
    Draw(paint.Get(), rc);
    return 0;
  }
  Draw(m_bufferDC.Get(), rc);
  ::BitBlt(paint.Get(), 0, 0, rc.right, rc.bottom, m_bufferDC.Get(), 0, 0, SRCCOPY);
  return 0;
}

LRESULT CGraphCtrl::OnEraseBkgnd(WPARAM, LPARAM) { return 1; }

LRESULT CGraphCtrl::OnPrintClient(WPARAM wParam, LPARAM) {
  RECT rc = {};
  GetClientRect(&rc);
  Draw(reinterpret_cast<HDC>(wParam), rc);
  return 0;
}

LRESULT CGraphCtrl::OnNcHitTest(WPARAM, LPARAM) {
  // A static lets the pointer through to its parent unless it notifies.
  return HTCLIENT;
}

int CGraphCtrl::SlotAt(int x) const {
  const int nSlots = m_pSource ? m_pSource->GetSlotCount() : 0;
  const int cxPlot = m_rcPlot.right - m_rcPlot.left;
  if (nSlots <= 0 || cxPlot <= 1 || x < m_rcPlot.left || x >= m_rcPlot.right) return -1;
  if (nSlots == 1) return 0;
  return ::MulDiv(x - m_rcPlot.left, nSlots - 1, cxPlot - 1);
}

void CGraphCtrl::ShowToolTip(POINT ptClient) {
  const int nSlot = SlotAt(ptClient.x);
  CString text = nSlot >= 0 ? m_pSource->GetSlotTime(nSlot) : CString();
  if (text.IsEmpty() || !m_toolTip) {
    HideToolTip();
    return;
  }
  for (size_t i = 0; i < m_lines.size(); ++i) text += L"\r\n" + LineText(static_cast<int>(i), nSlot);
  TOOLINFOW info = {};
  info.cbSize = sizeof(info);
  info.hwnd = m_hWnd;
  info.uId = reinterpret_cast<UINT_PTR>(m_hWnd);
  info.lpszText = const_cast<wchar_t*>(text.GetString());
  ::SendMessageW(m_toolTip.Get(), TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
  POINT ptScreen = ptClient;
  ::ClientToScreen(m_hWnd, &ptScreen);
  const int offset = ScaleToDpi(kTipOffset, GetWindowDpi(m_hWnd));
  ::SendMessageW(m_toolTip.Get(), TTM_TRACKPOSITION, 0, MAKELPARAM(ptScreen.x + offset, ptScreen.y + offset));
  if (!m_bTipShown) ::SendMessageW(m_toolTip.Get(), TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&info));
  m_bTipShown = true;
  m_ptTip = ptClient;
}

void CGraphCtrl::HideToolTip() {
  if (!m_bTipShown) return;
  TOOLINFOW info = {};
  info.cbSize = sizeof(info);
  info.hwnd = m_hWnd;
  info.uId = reinterpret_cast<UINT_PTR>(m_hWnd);
  ::SendMessageW(m_toolTip.Get(), TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&info));
  m_bTipShown = false;
}

LRESULT CGraphCtrl::OnMouseMove(WPARAM, LPARAM lParam) {
  if (!m_bTracking) {
    TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, m_hWnd, 0};
    m_bTracking = ::TrackMouseEvent(&track) != FALSE;
  }
  ShowToolTip({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
  return 0;
}

LRESULT CGraphCtrl::OnMouseLeave(WPARAM, LPARAM) {
  m_bTracking = false;
  HideToolTip();
  return 0;
}

LRESULT CGraphCtrl::OnGetObject(WPARAM wParam, LPARAM lParam) {
  // lParam carries a 32-bit object id, sign-extended or not.
  if (static_cast<DWORD>(lParam) != static_cast<DWORD>(OBJID_CLIENT)) return Default();
  CComOwner<IAccessible> standard;
  // __uuidof, not IID_IAccessible: mingw-w64's import library for oleacc resolves that
  // name to a code thunk, not the interface id.
  if (FAILED(::CreateStdAccessibleObject(m_hWnd, OBJID_CLIENT, __uuidof(IAccessible), standard.Receive()))) {
    return Default();
  }
  CGraphAccessible* pAccessible = new (std::nothrow) CGraphAccessible(m_hWnd, standard.get());
  if (!pAccessible) return Default();
  const LRESULT result = ::LresultFromObject(__uuidof(IAccessible), wParam, pAccessible);
  pAccessible->Release();
  return result;
}

LRESULT CGraphCtrl::OnRedrawAll(WPARAM, LPARAM) {
  Invalidate(FALSE);
  return Default();
}

LRESULT CGraphCtrl::OnStaticChange(WPARAM, LPARAM) {
  const LRESULT result = Default();
  Invalidate(FALSE);
  return result;
}

LRESULT CGraphCtrl::OnSetFont(WPARAM wParam, LPARAM lParam) {
  m_hFont = reinterpret_cast<HFONT>(wParam);
  const LRESULT result = Default();
  if (LOWORD(lParam)) Invalidate(FALSE);
  return result;
}

void CGraphCtrl::OnDestroy() {
  HideToolTip();
  m_toolTip.Close();
  Default();
}
