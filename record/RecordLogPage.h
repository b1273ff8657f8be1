#pragma once
// The record log page: once a second it takes every ended stream the device
// page queued, stores it in the history, shows it as a row of its list and,
// while logging, writes its line to the log file; then it trims the history to
// its size, or empties it when the user asked for a clear. Rows take their
// texts on demand from their records (only the rows on screen are formatted).

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <memory>
#include <vector>

#include "framework/ImageList.h"
#include "framework/ListCtrl.h"
#include "framework/PropertySheet.h"
#include "framework/String.h"
#include "record/LogFile.h"
#include "stats/ListPage.h"

class CRecordLogPage : public CPropertyPage {
  DECLARE_DYNCREATE(CRecordLogPage)
public:
  CRecordLogPage();
  ~CRecordLogPage() override;

  // The list's sort callback: a and b are record ids, sortState a SortState*.
  // Rows whose records cannot be found compare equal.
  static int CALLBACK CompareRecords(LPARAM a, LPARAM b, LPARAM sortState);

  // Marks the header of `column` and flips or sets the direction; rows stay put.
  void SetSortColumn(int column);

  const SortState& GetSortState() const { return m_sort; }
  int GetMaxRecords() const { return m_nMaxRecords; }
  const CString& GetLogPath() const { return m_strLogPath; }
  bool GetWriteHistory() const { return m_bWriteHistory; }
  CLogFile& GetLogFile() { return m_logFile; }

  CListCtrl m_listRecords;

protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;  // TRUE: the system sets the focus
  BOOL OnSetActive() override;   // FALSE when the base refuses the activation

  void OnTimer(UINT_PTR nIDEvent);
  void OnClear();
  void OnLogSettings();
  void OnStartStop();
  void OnHistorySize();
  // Opens the log folder, where the recorder service writes, in the shell.
  void OnOpenRecorderFolder();
  void OnColumnClick(NMHDR* pNotify, LRESULT* pResult);
  void OnEditCopy();
  void OnEditSelectAll();
  void OnListKeyDown(NMHDR* pNotify, LRESULT* pResult);
  void OnGetDispInfo(NMHDR* pNotify, LRESULT* pResult);
  // Sent on by the sheet: column widths and sort marks follow the new DPI.
  LRESULT OnDpiChanged(WPARAM wParam, LPARAM lParam);

  DECLARE_MESSAGE_MAP()

private:
  static constexpr int kColumns = 10;

  // One tick's steps.
  void RecordFinishedStreams();
  void TrimHistory();
  void ClearHistory();
  // The row before which a record sorts (after every row it sorts with or after).
  int FindInsertPosition(DWORD dwRecordId) const;
  void SortList();
  // Brings m_rowIds up to date after a sort moved the rows.
  void ReadBackRowIds();
  void UpdateLoggingStatus();
  // Says whether the recorder service runs and which file it writes today.
  void UpdateRecorderStatus();
  // Tells the user once per run of failed log writes, and keeps the status
  // control saying so until a line is written again.
  void CheckLogWrites();
  void ShowInternalError(const wchar_t* pszOperation, HRESULT hr);
  // An OK message box over a painted list.
  void ShowMessage(const CString& strMessage);

  // The header's sort marks at m_nDpi, handed to the header.
  void SetSortMarks();

  std::unique_ptr<CImageList> m_pImageList;  // the header's sort marks; the header borrows it
  UINT m_nDpi = kDesignDpi;
  SortState m_sort;
  bool m_bClearRequested = false;
  CLogFile m_logFile;
  CString m_strLogPath;
  CString m_strLogFolder;  // the "Output Path": where a relative log path is taken
  bool m_bWriteHistory = false;
  int m_nMaxRecords;

  std::array<CString, kColumns> m_strTitles;
  CString m_strStartLogging;    // button 1004 while no log file is open
  CString m_strStopLogging;     // button 1004 while a log file is open
  CString m_strStatusLogging;
  CString m_strStatusNotLogging;
  CString m_strStatusWriteFailed;

  // The record id of each row, in row order: the list's item data, kept here so
  // that placing and finding rows needs no list query per row.
  std::vector<DWORD> m_rowIds;
  bool m_bRowIdsStale = false;  // a sort moved the rows since m_rowIds was read
  // A redraw switch held for the length of a tick (message boxes turn it on).
  CRedrawOff* m_pRedrawOff = nullptr;
  bool m_bStatusShowsFailure = false;
  CString m_strRecorderStatus;
  int m_nTicksSinceRecorderQuery = 0;
  // A cell's text handed to the list (the list copies it before the next request).
  CString m_strDispText;
};
