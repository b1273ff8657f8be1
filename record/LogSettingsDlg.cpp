#include "record/LogSettingsDlg.h"

#include "framework/FileDialog.h"
#include "framework/MessageBox.h"
#include "record/RecordLogData.h"
#include "resources/resource.h"
#include "stats/Formatting.h"
#include "support/UniqueHandle.h"

BEGIN_MESSAGE_MAP(CLogSettingsDlg, CDialog)
  ON_BN_CLICKED(IDC_BROWSE, OnBrowse)
  ON_BN_CLICKED(IDC_START_LOGGING, OnStartLogging)
  ON_BN_CLICKED(IDC_STOP_LOGGING, OnStopLogging)
  ON_EN_CHANGE(IDC_LOG_PATH, OnChangePath)
END_MESSAGE_MAP()

CLogSettingsDlg::CLogSettingsDlg(CWnd* pParentWnd) : CDialog(IDD_LOG_SETTINGS, pParentWnd) {}

void CLogSettingsDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Text(pDX, IDC_LOG_PATH, m_strPath);
  DDX_Check(pDX, IDC_WRITE_HISTORY, m_bWriteHistory);
}

BOOL CLogSettingsDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  if (!m_pLogFile) return FALSE;
  m_strLabelOpen.LoadString(IDS_LOG_LABEL_OPEN);
  m_strLabelClosed.LoadString(IDS_LOG_LABEL_CLOSED);
  m_strNoteOpen.LoadString(IDS_LOG_NOTE_OPEN);
  m_strNoteClosed.LoadString(IDS_LOG_NOTE_CLOSED);
  UpdateData(TRUE);
  UpdateControls();
  UpdateData(FALSE);
  return TRUE;
}

void CLogSettingsDlg::UpdateControls() {
  const bool bOpen = m_pLogFile && m_pLogFile->IsOpen();
  SetDlgItemText(IDC_LOG_LABEL, bOpen ? m_strLabelOpen : m_strLabelClosed);
  SetDlgItemText(IDC_LOG_NOTE, bOpen ? m_strNoteOpen : m_strNoteClosed);
  // The start button follows the path as last exchanged, not the edit's text.
  CWnd(GetDlgItem(IDC_START_LOGGING)).EnableWindow(!bOpen && !m_strPath.IsEmpty());
  CWnd(GetDlgItem(IDC_STOP_LOGGING)).EnableWindow(bOpen);
  for (int nID : {IDC_LOG_PATH, IDC_WRITE_HISTORY, IDC_BROWSE}) CWnd(GetDlgItem(nID)).EnableWindow(!bOpen);
}

void CLogSettingsDlg::OnChangePath() {
  UpdateData(TRUE);
  m_bBrowsed = false;
  UpdateControls();
}

void CLogSettingsDlg::OnBrowse() {
  CFileDialog dialog(FALSE, L".txt", m_strPath, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                     L"Text Files (*.txt)|*.txt|All Files (*.*)|*.*||");
  if (dialog.DoModal() != IDOK) return;
  m_strPath = dialog.GetPathName();
  // Changing the edit's text runs OnChangePath, which clears the flag: set it after.
  UpdateData(FALSE);
  m_bBrowsed = true;
}

bool CLogSettingsDlg::FileExists(const wchar_t* pszPath) {
  WIN32_FIND_DATAW found;
  CFindHandle hFind(::FindFirstFileW(pszPath, &found));
  if (hFind) return true;
  return ::GetLastError() != ERROR_FILE_NOT_FOUND;
}

void CLogSettingsDlg::OnStartLogging() {
  UpdateData(TRUE);
  if (!m_pLogFile || m_pLogFile->IsOpen()) return;

  if (!m_bBrowsed && FileExists(m_strPath)) {
    const CString strQuestion = FormatResourceMessage(
        IDS_PROMPT_OVERWRITE, L"ERROR loading string IDS_PROMPT_OVERWRITE", m_strPath);
    if (AfxMessageBox(strQuestion, MB_YESNO | MB_DEFBUTTON2) == IDNO) return;
  }
  m_bBrowsed = false;

  if (FAILED(m_pLogFile->Open(m_strPath))) {
    CString strMessage;
    CString strTemplate;
    if (strTemplate.LoadString(IDS_ERROR_FILE_OPEN)) {
      if (!strMessage.Format(strTemplate, m_strPath.GetString())) strMessage = strTemplate;
    } else {
      strMessage = L"Error loading string IDS_ERROR_FILE_OPEN";
    }
    AfxMessageBox(strMessage, MB_OK);
  } else {
    CRecordLogData& history = CRecordLogData::m_global;
    m_pLogFile->WriteLine(history.GetHeader());
    if (m_bWriteHistory) {
      for (const ItemData& record : history) m_pLogFile->WriteLine(CRecordLogData::FormatRecord(record));
    }
  }
  UpdateControls();
}

void CLogSettingsDlg::OnStopLogging() {
  if (m_pLogFile) m_pLogFile->Close();
  UpdateControls();
}

void CLogSettingsDlg::OnOK() {
  UpdateData(TRUE);
  CDialog::OnOK();
}
