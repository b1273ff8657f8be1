#pragma once
// The global history as a graph draws it: the newest samples of the span shown,
// one slot each, the newest at the right; slots the history does not reach back
// to are gaps.

#include <windows.h>

#include <vector>

#include "framework/Graph.h"
#include "framework/String.h"
#include "stats/GlobalHistory.h"

// One line of a history graph: what it draws and how.
struct HistoryLine {
  HistoryValue value;
  UINT nNameId;  // string resource of the line's name
  int nSysColor;
  int nDecimals;
  bool bDashed;
};

class CHistoryGraphSource : public CGraphSource {
public:
  template <size_t N>
  explicit CHistoryGraphSource(const HistoryLine (&lines)[N]) : m_pLines(lines), m_nLines(static_cast<int>(N)) {}

  // The graph's lines, named from the resource module.
  std::vector<GraphLine> GetGraphLines() const;
  // Borrowed; null: nothing but gaps.
  void SetHistory(const CGlobalHistory* pHistory) { m_pHistory = pHistory; }
  void SetSlotCount(int nSlots) { m_nSlots = nSlots; }

  int GetSlotCount() const override { return m_nSlots; }
  bool GetValue(int nLine, int nSlot, double& dValue) const override;
  // The sample's time; for a request the driver did not answer, the no-answer text around it.
  CString GetSlotTime(int nSlot) const override;

private:
  // The sample at a slot, or -1.
  int SampleAt(int nSlot) const;

  const HistoryLine* m_pLines;
  int m_nLines;
  const CGlobalHistory* m_pHistory = nullptr;
  int m_nSlots = 0;
};
