#pragma once
// Keeps a dialog's controls in place relative to the edges of its client area
// when the dialog is resized. Each control is anchored to some edges: an edge
// anchored on both sides stretches (a list that grows with the window), one
// anchored right or bottom only moves with that edge (a button in the
// bottom-right corner), and one anchored to nothing stays where it is.

#include <windows.h>

#include <cstddef>
#include <vector>

enum AnchorEdge : UINT {
  ANCHOR_LEFT = 1,
  ANCHOR_TOP = 2,
  ANCHOR_RIGHT = 4,
  ANCHOR_BOTTOM = 8,
  ANCHOR_ALL = ANCHOR_LEFT | ANCHOR_TOP | ANCHOR_RIGHT | ANCHOR_BOTTOM,
  // Two controls side by side that share what the parent's width gains or loses:
  // the left one's left edge stays and it takes half; the right one moves by
  // that half and takes the rest, its right edge keeping its distance.
  ANCHOR_LEFT_HALF = 16,
  ANCHOR_RIGHT_HALF = 32,
};

// One row of a page's anchor table.
struct ControlAnchor {
  int nID;
  UINT nEdges;  // AnchorEdge bits
};

class CAnchorLayout {
public:
  // Records where the controls are in hParent's client area now, that is their
  // distances to its edges; ids the parent lacks are skipped. Replaces any
  // earlier record.
  void Capture(HWND hParent, const ControlAnchor* pAnchors, size_t nAnchors);
  template <size_t N>
  void Capture(HWND hParent, const ControlAnchor (&anchors)[N]) { Capture(hParent, anchors, N); }
  // The same for a client area of the given size, which the controls were laid
  // out for (a window the system made smaller than its layout).
  void Capture(HWND hParent, const ControlAnchor* pAnchors, size_t nAnchors, SIZE client);

  // Places the controls for a client area of cx x cy pixels, shifted by
  // ptOrigin (where a scrolled parent shows the top-left corner of its content).
  void Apply(int cx, int cy, POINT ptOrigin = {0, 0}) const;

private:
  void Add(HWND hParent, HWND hControl, UINT nEdges, SIZE client);

  struct Item {
    HWND hWnd;
    UINT nEdges;
    RECT rcMargins;  // left, top, and the distances of the right and bottom edges to the parent's
    SIZE size;
  };
  std::vector<Item> m_items;
};
