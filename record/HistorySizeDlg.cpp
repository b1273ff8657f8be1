#include "record/HistorySizeDlg.h"

#include <stdlib.h>

#include <climits>

#include "framework/MessageBox.h"
#include "resources/resource.h"
#include "stats/Formatting.h"

BEGIN_MESSAGE_MAP(CHistorySizeDlg, CDialog)
  ON_EN_CHANGE(IDC_HISTORY_SIZE, OnChangeValue)
END_MESSAGE_MAP()

CHistorySizeDlg::CHistorySizeDlg(CWnd* pParentWnd) : CDialog(IDD_HISTORY_SIZE, pParentWnd), m_strValue(L"1") {}

void CHistorySizeDlg::SetValue(int n) {
  if (n < kMinHistorySize) n = kMinHistorySize;
  if (n > kMaxHistorySize) n = kMaxHistorySize;
  m_strValue.Format(L"%ld", static_cast<long>(n));
}

int CHistorySizeDlg::GetValue() const {
  // Read wide and clamped: a plain int read could wrap 4294967806 to 510.
  const long long n = ::_wtoi64(m_strValue);
  if (n < INT_MIN) return INT_MIN;
  if (n > INT_MAX) return INT_MAX;
  return static_cast<int>(n);
}

void CHistorySizeDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Text(pDX, IDC_HISTORY_SIZE, m_strValue);
}

BOOL CHistorySizeDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  UpdateOkButton();
  return TRUE;
}

void CHistorySizeDlg::OnChangeValue() { UpdateOkButton(); }

void CHistorySizeDlg::UpdateOkButton() {
  UpdateData(TRUE);
  CWnd(GetDlgItem(IDOK)).EnableWindow(!m_strValue.IsEmpty());
}

void CHistorySizeDlg::OnOK() {
  UpdateData(TRUE);
  const int n = GetValue();
  if (n >= kMinHistorySize && n <= kMaxHistorySize) {
    CDialog::OnOK();
    return;
  }
  CString strLower;
  CString strUpper;
  strLower.Format(L"%lu", static_cast<unsigned long>(kMinHistorySize));
  strUpper.Format(L"%lu", static_cast<unsigned long>(kMaxHistorySize));
  const CString strMessage =
      FormatResourceMessage(IDS_VALUE_RANGE, L"Error loading string IDS_VALUE_RANGE", strLower, strUpper);
  AfxMessageBox(strMessage, MB_OK);
}
