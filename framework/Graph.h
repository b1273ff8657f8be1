#pragma once
// CGraphCtrl: a small line graph over time slots, drawn double-buffered with GDI
// in system colours (so that high-contrast schemes hold) and pens and margins at
// the window's DPI. A few grid lines carry their values, the time axis its three
// texts, and each line's newest value stands beside its end; a gap in a line is a
// break. Resting the pointer on the graph shows a tooltip with the slot's time
// and values. Screen readers get the window text as the graph's name and the
// newest values as its value.
// The graph takes over a static control of a dialog template, so that the
// template loads anywhere without the program's window classes.

#include <windows.h>

#include <vector>

#include "framework/Gdi.h"
#include "framework/MessageMap.h"
#include "framework/String.h"
#include "framework/Window.h"

// What a graph shows: a run of time slots, oldest first, each with a value or a
// gap on each line. Asked while the graph paints and while the pointer rests on
// it, so it must outlive the graph's use of it.
class CGraphSource {
public:
  virtual ~CGraphSource() = default;
  virtual int GetSlotCount() const = 0;
  // false: line nLine has no value at the slot (a break in the line).
  virtual bool GetValue(int nLine, int nSlot, double& dValue) const = 0;
  // The slot's time as the tooltip shows it; empty when nothing falls on the slot.
  virtual CString GetSlotTime(int nSlot) const = 0;
};

// One line: its name (legend, tooltip, screen readers), a GetSysColor index, the
// decimals of its values, and whether it is dashed (told apart without colour).
struct GraphLine {
  CString strName;
  int nSysColor;
  int nDecimals;
  bool bDashed;
};

class CGraphCtrl : public CWnd {
  DECLARE_DYNAMIC(CGraphCtrl)
public:
  CGraphCtrl() = default;
  ~CGraphCtrl() override;

  // Takes over the control's painting, pointer and accessibility until it is
  // destroyed. FALSE when the control cannot be taken (it carries user data).
  BOOL Subclass(HWND hControl);
  void SetLines(const std::vector<GraphLine>& lines) {
    m_lines = lines;
    m_nToolsDpi = 0;  // the pens are made anew
  }
  // Borrowed; null shows an empty graph.
  void SetSource(const CGraphSource* pSource) { m_pSource = pSource; }
  // The texts under the oldest slot, the middle one and the newest.
  void SetTimeAxis(const CString& strOldest, const CString& strMiddle, const CString& strNewest);
  // Stands for a gap in the tooltip and the accessible value.
  void SetNoValueText(const CString& strText) { m_strNoValue = strText; }
  // The source has changed: repaints, renews a tooltip on show, and tells screen
  // readers when the newest values changed.
  void Update();

  // The newest values, "name: value" for each line, separated by "; ".
  CString GetValueText() const;
  HWND GetToolTip() const { return m_toolTip.Get(); }
  // The whole graph for a client area of rc (the buffer of WM_PAINT, WM_PRINTCLIENT).
  void Draw(HDC hdc, const RECT& rc);

  LRESULT OnPaint(WPARAM wParam, LPARAM lParam);
  LRESULT OnEraseBkgnd(WPARAM wParam, LPARAM lParam);
  LRESULT OnPrintClient(WPARAM wParam, LPARAM lParam);
  LRESULT OnNcHitTest(WPARAM wParam, LPARAM lParam);
  LRESULT OnMouseMove(WPARAM wParam, LPARAM lParam);
  LRESULT OnMouseLeave(WPARAM wParam, LPARAM lParam);
  // WM_GETOBJECT: OBJID_CLIENT is the graph's own accessible object.
  LRESULT OnGetObject(WPARAM wParam, LPARAM lParam);
  // WM_SIZE, WM_SYSCOLORCHANGE, WM_THEMECHANGED: drawn anew in full.
  LRESULT OnRedrawAll(WPARAM wParam, LPARAM lParam);
  // WM_SETTEXT, WM_ENABLE: the static's own handling, which may draw its text, painted over.
  LRESULT OnStaticChange(WPARAM wParam, LPARAM lParam);
  // WM_SETFONT: the font the graph writes in (the dialog's, borrowed).
  LRESULT OnSetFont(WPARAM wParam, LPARAM lParam);
  void OnDestroy();

protected:
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  DECLARE_MESSAGE_MAP()

private:
  static LRESULT CALLBACK GraphProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
  void Unsubclass();
  // The pens and brush for the current system colours and DPI, made anew when either changed.
  void PrepareTools(UINT nDpi);
  // "name: value" of one line at one slot, or the no-value text.
  CString LineText(int nLine, int nSlot) const;
  // The slot under a client x, or -1 outside the plot.
  int SlotAt(int x) const;
  void ShowToolTip(POINT ptClient);
  void HideToolTip();

  std::vector<GraphLine> m_lines;
  const CGraphSource* m_pSource = nullptr;
  CString m_strAxis[3];
  CString m_strNoValue;
  CString m_strLastValue;  // the value screen readers were last told of
  HFONT m_hFont = nullptr;
  WNDPROC m_pfnControlProc = nullptr;  // the static's own procedure

  // Drawing tools and the buffer, kept between paints.
  UINT m_nToolsDpi = 0;
  std::vector<COLORREF> m_toolColors;
  std::vector<CPen> m_linePens;
  CPen m_gridPen;
  CPen m_axisPen;
  CBrush m_background;
  CBitmap m_buffer;
  CMemoryDC m_bufferDC;  // holds m_buffer selected; declared after it, so it goes first
  SIZE m_bufferSize = {0, 0};
  RECT m_rcPlot = {0, 0, 0, 0};  // where the last paint put the plot

  CWindowOwner m_toolTip;
  bool m_bTracking = false;  // TrackMouseEvent asked for WM_MOUSELEAVE
  bool m_bTipShown = false;
  POINT m_ptTip = {0, 0};
};
