#pragma once
// The logging settings dialog: the log file's path and the write-history option,
// and the place where logging is started and stopped. Logging started or stopped
// here stays so whether the dialog ends with OK or Cancel; the path and the
// option go back to the caller on OK only.

#include <windows.h>

#include "framework/Dialog.h"
#include "framework/String.h"
#include "record/LogFile.h"

class CLogSettingsDlg : public CDialog {
public:
  explicit CLogSettingsDlg(CWnd* pParentWnd = nullptr);
  ~CLogSettingsDlg() override = default;

  CString GetPath() const { return m_strPath; }

  CString m_strPath;            // full path of the log file
  int m_bWriteHistory = FALSE;  // write the held history after the header
  CString m_strLabelOpen;
  CString m_strLabelClosed;
  CString m_strNoteOpen;
  CString m_strNoteClosed;
  CLogFile* m_pLogFile = nullptr;  // the record log page's writer, borrowed; set before DoModal
  bool m_bBrowsed = false;         // the path was chosen in the file dialog, which asked about overwriting

  // The folder a relative path is taken in (the "Output Path"); empty: the
  // current directory's. Set before DoModal.
  CString m_strFolder;

  // True when the path names a file that exists, or when that cannot be told (a
  // folder, a missing folder and a name the system refuses are no file to replace).
  static bool FileExists(const wchar_t* pszPath);
  // strPath taken in strFolder when it is relative; unchanged otherwise.
  static CString ResolvePath(const CString& strPath, const CString& strFolder);
  // The message for a file that cannot be opened: the path, then the system's reason.
  static CString OpenFailureMessage(const CString& strPath, HRESULT hr);

protected:
  void DoDataExchange(CDataExchange* pDX) override;
  // FALSE without a writer (nothing is set up), TRUE otherwise.
  BOOL OnInitDialog() override;
  void OnOK() override;

  void OnBrowse();
  void OnStartLogging();
  void OnStopLogging();
  void OnChangePath();
  // Texts and enabled states of the controls from the writer's state.
  void UpdateControls();

  DECLARE_MESSAGE_MAP()
};
