#pragma once
// The record log page: once a second it takes every ended stream the device
// page queued, stores it in the history, shows it as a row of its list and,
// while logging, writes its line to the log file; then it trims the history to
// its size, or empties it when the user asked for a clear. Rows take their
// texts on demand from their records (only the rows on screen are formatted);
// a filter hides rows, never records.

#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "framework/ListCtrl.h"
#include "framework/String.h"
#include "record/LogFile.h"
#include "stats/ListPage.h"

class CRecordLogPage : public CListPage {
  DECLARE_DYNCREATE(CRecordLogPage)
public:
  CRecordLogPage();
  ~CRecordLogPage() override;

  // The list's sort callback: a and b are record ids, sortState a SortState*.
  // Rows whose records cannot be found compare equal.
  static int CALLBACK CompareRecords(LPARAM a, LPARAM b, LPARAM sortState);

  int GetMaxRecords() const { return m_nMaxRecords; }
  const CString& GetLogPath() const { return m_strLogPath; }
  CLogFile& GetLogFile() { return m_logFile; }

  // The list (the base's), by the page's name for it.
  CListCtrl& m_listRecords = m_list;

protected:
  BOOL OnInitDialog() override;  // TRUE: the system sets the focus
  BOOL OnSetActive() override;   // FALSE when the base refuses the activation

  const ItemData* RowItem(LPARAM key) const override;
  void GetAllRows(std::vector<LPARAM>& keys) const override;
  // One tick: the queued streams recorded, then the trim or the clear.
  bool Refresh() override;
  // The count of the rows the filter lets through.
  void OnShownRowsChanged() override;

  void OnClear();
  void OnLogSettings();
  void OnStartStop();
  void OnHistorySize();
  // Opens the log folder, where the recorder service writes, in the shell.
  void OnOpenRecorderFolder();
  // Writes the rows shown, in their order, as a file in the log file's form.
  void OnSaveHistoryAs();

  DECLARE_MESSAGE_MAP()

private:
  // One tick's steps.
  void RecordFinishedStreams();
  void TrimHistory();
  void ClearHistory();
  void UpdateLoggingStatus();
  // Says whether the recorder service runs and which file it writes today.
  void UpdateRecorderStatus();
  // Tells the user once per run of failed log writes, and keeps the status
  // control saying so until a line is written again.
  void CheckLogWrites();
  void ShowInternalError(const wchar_t* pszOperation, HRESULT hr);
  // An OK message box over a painted list.
  void ShowMessage(const CString& strMessage);

  bool m_bClearRequested = false;
  CLogFile m_logFile;
  CString m_strLogPath;
  CString m_strLogFolder;  // the "Output Path": where a relative log path is taken
  bool m_bWriteHistory = false;
  int m_nMaxRecords;

  CString m_strStartLogging;    // button 1004 while no log file is open
  CString m_strStopLogging;     // button 1004 while a log file is open
  CString m_strStatusLogging;
  CString m_strStatusNotLogging;
  CString m_strStatusWriteFailed;

  // A redraw switch held for the length of a tick (message boxes turn it on).
  CRedrawOff* m_pRedrawOff = nullptr;
  bool m_bStatusShowsFailure = false;
  CString m_strRecorderStatus;
  int m_nTicksSinceRecorderQuery = 0;
};
