#include "record/LogSettingsDlg.h"

#include <shlwapi.h>

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
  // Disabling the control that has the focus leaves the dialog without one, and
  // then it takes no keys, not even Esc: the focus goes to the button that undoes
  // what was just done.
  const HWND hFocus = ::GetFocus();
  // The start button follows the path as last exchanged, not the edit's text.
  CWnd(GetDlgItem(IDC_START_LOGGING)).EnableWindow(!bOpen && !m_strPath.IsEmpty());
  CWnd(GetDlgItem(IDC_STOP_LOGGING)).EnableWindow(bOpen);
  for (int nID : {IDC_LOG_PATH, IDC_WRITE_HISTORY, IDC_BROWSE}) CWnd(GetDlgItem(nID)).EnableWindow(!bOpen);
  if (hFocus && ::IsChild(m_hWnd, hFocus) && !::IsWindowEnabled(hFocus)) {
    SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(bOpen ? IDC_STOP_LOGGING : IDC_LOG_PATH)), TRUE);
  }
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
  if (CLogFile::NamesDevice(pszPath)) return false;
  const DWORD dwAttributes = ::GetFileAttributesW(pszPath);
  if (dwAttributes != INVALID_FILE_ATTRIBUTES) return (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  switch (::GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return false;
    default:
      // Something may be there that cannot be looked at: better asked than lost.
      return true;
  }
}

CString CLogSettingsDlg::ResolvePath(const CString& strPath, const CString& strFolder) {
  if (strPath.IsEmpty() || strFolder.IsEmpty() || !::PathIsRelativeW(strPath)) return strPath;
  // A path from a drive's root ("\logs\x.txt") names no folder: it is not relative.
  CString strFull(strFolder);
  AppendCharIfMissing(strFull, L'\\');
  strFull += strPath;
  return strFull;
}

void CLogSettingsDlg::OnStartLogging() {
  UpdateData(TRUE);
  if (!m_pLogFile || m_pLogFile->IsOpen()) return;

  const CString strPath = ResolvePath(m_strPath, m_strFolder);
  if (strPath != m_strPath) {
    // The edit shows the file that is really meant; its change notification
    // clears m_bBrowsed, which a browsed path (always full) never needs.
    m_strPath = strPath;
    UpdateData(FALSE);
  }

  if (!m_bBrowsed && FileExists(m_strPath)) {
    const CString strQuestion = FormatResourceMessage(
        IDS_PROMPT_OVERWRITE, L"ERROR loading string IDS_PROMPT_OVERWRITE", m_strPath);
    if (AfxMessageBox(strQuestion, MB_YESNO | MB_DEFBUTTON2) == IDNO) return;
  }
  m_bBrowsed = false;

  const HRESULT hr = m_pLogFile->Open(m_strPath);
  if (FAILED(hr)) {
    AfxMessageBox(OpenFailureMessage(m_strPath, hr), MB_OK);
  } else {
    CRecordLogData& history = CRecordLogData::m_global;
    m_pLogFile->WriteLine(history.GetHeader());
    if (m_bWriteHistory) {
      for (const ItemData& record : history) m_pLogFile->WriteLine(CRecordLogData::FormatRecord(record));
    }
  }
  UpdateControls();
}

CString CLogSettingsDlg::OpenFailureMessage(const CString& strPath, HRESULT hr) {
  CString strMessage;
  CString strTemplate;
  if (strTemplate.LoadString(IDS_ERROR_FILE_OPEN)) {
    if (!strMessage.Format(strTemplate, strPath.GetString())) strMessage = strTemplate;
  } else {
    strMessage = L"Error loading string IDS_ERROR_FILE_OPEN";
  }
  // The system's reason on a line of its own: a missing folder, a bad name and
  // a file another program writes call for different remedies.
  strMessage += L"\r\n";
  strMessage += GetSystemErrorText(hr);
  return strMessage;
}

void CLogSettingsDlg::OnStopLogging() {
  if (m_pLogFile) m_pLogFile->Close();
  UpdateControls();
}

void CLogSettingsDlg::OnOK() {
  UpdateData(TRUE);
  CDialog::OnOK();
}
