#pragma once
// The recorder's daily files: Delvora-YYYY-MM-DD.log in one folder, one per
// local day, each starting with the log's header line, written on at their end
// and never truncated; and the deletion of old ones.

#include <windows.h>

#include <climits>

#include "framework/String.h"
#include "framework/Time.h"
#include "record/LogFile.h"
#include "record/RecorderFiles.h"

class CDayLogFiles {
public:
  CDayLogFiles() = default;
  CDayLogFiles(const CDayLogFiles&) = delete;
  CDayLogFiles& operator=(const CDayLogFiles&) = delete;

  // The folder of the files; a file open in another folder is closed.
  void SetFolder(const CString& strFolder);
  const CString& GetFolder() const { return m_strFolder; }
  // The line every file starts with.
  void SetHeader(const CString& strHeader) { m_strHeader = strHeader; }

  // Makes the file of `day` the open one: another day's file is closed, then the
  // day's file opened for appending (created when missing) and, when it is empty,
  // given the header. S_OK, or the failure's code with no file open.
  HRESULT OpenDay(const LocalDay& day);
  // One line into the file of `day`. A failed write closes the file, so that the
  // next attempt opens it anew and the torn line is ended first.
  HRESULT WriteLine(const LocalDay& day, const CString& strLine);
  void Close();
  bool IsOpen() const { return m_file.IsOpen(); }

  CString PathOf(const LocalDay& day) const;
  // The file last opened, or tried.
  const CString& GetPath() const { return m_strPath; }

  // Deletes the folder's files of exactly the day files' name whose day lies
  // dwKeepDays or more days before `today`; other files are never touched. 0
  // keeps every file. Returns how many were deleted.
  int DeleteOldFiles(const LocalDay& today, DWORD dwKeepDays) const;

private:
  CString m_strFolder;
  CString m_strHeader;
  CLogFile m_file;
  long long m_nOpenDay = LLONG_MIN;
  CString m_strPath;
};
