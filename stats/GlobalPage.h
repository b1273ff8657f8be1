#pragma once
// The global page: the driver-wide counter record, read every two seconds while
// the page is the active one, and the command that resets every device's
// counters. Each group of three counts shows each count's share of its group.
// Below them two graphs draw a history that the page is lent (the main sheet's,
// sampled whichever page is shown) over the last 10 or 60 minutes: the active
// streams and the streams ended per minute, and the packets and lost packets per
// second. Edit > Copy puts the samples of that span on the clipboard.

#include <windows.h>

#include "driver/DeviceAccess.h"
#include "framework/Graph.h"
#include "framework/PropertySheet.h"
#include "framework/String.h"
#include "framework/Time.h"
#include "stats/GlobalHistory.h"
#include "stats/HistoryGraph.h"

class CGlobalPage : public CPropertyPage {
  DECLARE_DYNCREATE(CGlobalPage)
public:
  CGlobalPage();
  ~CGlobalPage() override = default;

  // Where the page's counters come from (the driver unless set); set before the
  // page's window is created. The page borrows it.
  void SetDeviceAccess(CDeviceAccess* pAccess) {
    m_pDeviceAccess = pAccess ? pAccess : &CDeviceAccess::Driver();
  }

  // What the controls show; empty and 0 until the first reading. The counters are
  // the driver's unsigned 32-bit counts held in ints, shown unsigned.
  CString m_strGroupA0;
  CString m_strGroupB0;
  CString m_strGroupA1;
  CString m_strGroupB1;
  CString m_strTimestamp;
  int m_nCounter1 = 0;
  int m_nCounter4 = 0;
  int m_nCounter5 = 0;
  int m_nCounter3 = 0;
  int m_nCounter2 = 0;
  CString m_strGroupB2;
  CString m_strGroupA2;

  // The history the graphs draw; null leaves them empty. Borrowed: it must
  // outlive the page's window.
  void SetHistory(const CGlobalHistory* pHistory);
  // The history has a new sample: the graphs show it if the page is shown.
  void OnHistoryChanged();

  CGraphCtrl m_graphCounts;
  CGraphCtrl m_graphTraffic;

protected:
  void DoDataExchange(CDataExchange* pDX) override;
  // The base's (its exchange shows the empty texts); anchors the bottom row and the graphs.
  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;   // FALSE when the base refuses the activation
  BOOL OnKillActive() override;  // the base's answer: FALSE when the exchange fails

  void OnTimer(UINT_PTR nIDEvent);
  void OnResetCounters();
  void OnGraphSpan(UINT nID);
  void OnEditCopy();

  DECLARE_MESSAGE_MAP()

private:
  // One reading: the record shown (or, when the driver does not answer, the old
  // values kept, grayed, under a note since when), then the timer started again.
  void RefreshCounters();
  // Grays the values and puts the not-answering note in place of the page's
  // own note, or the other way round.
  void ShowStale(bool bStale);
  // Puts menu 134 on the sheet.
  void LoadPageMenu();
  // The span's samples and axis texts to both graphs.
  void ShowGraphSpan();
  void UpdateGraphs();

  CDeviceAccess* m_pDeviceAccess;
  bool m_bStale = false;  // the last reading failed
  CTime m_timeStale;      // when the driver first failed to answer
  CString m_strNote;      // the template's note, shown while the driver answers
  const CGlobalHistory* m_pHistory = nullptr;
  int m_nSpanSamples;     // the samples the graphs and the copy cover
  CHistoryGraphSource m_countsSource;
  CHistoryGraphSource m_trafficSource;
};
