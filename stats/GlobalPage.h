#pragma once
// The global page: the driver-wide counter record, read every two seconds while
// the page is the active one, and the command that resets every device's
// counters. Each group of three counts shows each count's share of its group.

#include <windows.h>

#include "driver/DeviceAccess.h"
#include "framework/PropertySheet.h"
#include "framework/String.h"
#include "framework/Time.h"

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

protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;  // the base's (its exchange shows the empty texts); anchors the bottom row
  BOOL OnSetActive() override;   // FALSE when the base refuses the activation
  BOOL OnKillActive() override;  // the base's answer: FALSE when the exchange fails

  void OnTimer(UINT_PTR nIDEvent);
  void OnResetCounters();

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

  CDeviceAccess* m_pDeviceAccess;
  bool m_bStale = false;  // the last reading failed
  CTime m_timeStale;      // when the driver first failed to answer
  CString m_strNote;      // the template's note, shown while the driver answers
};
