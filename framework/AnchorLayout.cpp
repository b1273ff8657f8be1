#include "framework/AnchorLayout.h"

namespace {

// One axis: the control's start and length for a parent of `extent` pixels.
void Place(bool bNear, bool bFar, LONG nearMargin, LONG farMargin, LONG length, int extent, int& start,
           int& size) {
  if (bNear && bFar) {
    start = nearMargin;
    size = extent - nearMargin - farMargin;
    if (size < 0) size = 0;
  } else if (bFar) {
    start = extent - farMargin - length;
    size = length;
  } else {
    start = nearMargin;
    size = length;
  }
}

}  // namespace

void CAnchorLayout::Capture(HWND hParent, const ControlAnchor* pAnchors, size_t nAnchors) {
  RECT rcParent = {};
  ::GetClientRect(hParent, &rcParent);
  Capture(hParent, pAnchors, nAnchors, SIZE{rcParent.right, rcParent.bottom});
}

void CAnchorLayout::Capture(HWND hParent, const ControlAnchor* pAnchors, size_t nAnchors, SIZE client) {
  m_items.clear();
  for (size_t i = 0; i < nAnchors; ++i) {
    HWND hControl = ::GetDlgItem(hParent, pAnchors[i].nID);
    if (hControl) Add(hParent, hControl, pAnchors[i].nEdges, client);
  }
}

void CAnchorLayout::Add(HWND hParent, HWND hControl, UINT nEdges, SIZE client) {
  RECT rc = {};
  ::GetWindowRect(hControl, &rc);
  ::MapWindowPoints(nullptr, hParent, reinterpret_cast<POINT*>(&rc), 2);
  Item item = {hControl, nEdges, {rc.left, rc.top, client.cx - rc.right, client.cy - rc.bottom},
               {rc.right - rc.left, rc.bottom - rc.top}};
  m_items.push_back(item);
}

void CAnchorLayout::Apply(int cx, int cy, POINT ptOrigin) const {
  for (const Item& item : m_items) {
    int x = 0, y = 0, width = 0, height = 0;
    Place((item.nEdges & ANCHOR_LEFT) != 0, (item.nEdges & ANCHOR_RIGHT) != 0, item.rcMargins.left,
          item.rcMargins.right, item.size.cx, cx, x, width);
    if (item.nEdges & (ANCHOR_LEFT_HALF | ANCHOR_RIGHT_HALF)) {
      // Both halves round the same way, so the gap between them stays.
      const int gain = cx - (item.rcMargins.left + item.size.cx + item.rcMargins.right);
      const int half = gain >= 0 ? gain / 2 : -((1 - gain) / 2);
      x = item.rcMargins.left + ((item.nEdges & ANCHOR_RIGHT_HALF) ? half : 0);
      width = item.size.cx + ((item.nEdges & ANCHOR_RIGHT_HALF) ? gain - half : half);
      if (width < 0) width = 0;
    }
    Place((item.nEdges & ANCHOR_TOP) != 0, (item.nEdges & ANCHOR_BOTTOM) != 0, item.rcMargins.top,
          item.rcMargins.bottom, item.size.cy, cy, y, height);
    // Not the old bits: a moved control repaints all of itself over the page's new background.
    ::SetWindowPos(item.hWnd, nullptr, x + ptOrigin.x, y + ptOrigin.y, width, height,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
  }
}
