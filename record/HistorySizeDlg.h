#pragma once
// The history size dialog: how many records the record log page keeps.

#include <windows.h>

#include "framework/Dialog.h"
#include "framework/String.h"
#include "stats/HistoryLimits.h"

class CHistorySizeDlg : public CDialog {
public:
  explicit CHistorySizeDlg(CWnd* pParentWnd = nullptr);
  ~CHistorySizeDlg() override = default;

  // Shows n limited to kMinHistorySize..kMaxHistorySize.
  void SetValue(int n);
  // The number the text begins with (leading blanks and a sign allowed, reading
  // stops at the first non-digit, none gives 0); a number beyond the int range
  // gives the nearest int, never a wrapped one.
  int GetValue() const;

  CString m_strValue;  // the edit's text

protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;  // TRUE: the system sets the focus
  // Ends with IDOK only for a size in range; otherwise says the range and stays.
  void OnOK() override;

  void OnChangeValue();
  // OK is enabled exactly while the text is not empty.
  void UpdateOkButton();

  DECLARE_MESSAGE_MAP()
};
