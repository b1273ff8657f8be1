#pragma once
// The log file: 8-bit text through the C runtime's text-mode stream, one byte per
// character U+0001 to U+00FF, CR LF line ends, flushed after every line so that a
// reader sees each line as soon as it is written. Characters the 8-bit form cannot
// hold are written as "?". A line that fails to be written whole is reported, and
// the next line never continues it. One thread at a time.

#include <windows.h>

#include <cstdio>
#include <memory>

#include "framework/String.h"

class CLogFile {
public:
  CLogFile() = default;
  ~CLogFile() = default;  // closes an open file
  CLogFile(const CLogFile&) = delete;
  CLogFile& operator=(const CLogFile&) = delete;

  // Creates or truncates the file, shared for reading only while it is open.
  // E_INVALIDARG for a null path, E_FAIL when a file is already open (it stays
  // open), the system's error as a result code when the file cannot be opened
  // (a file another writer holds is left untouched; a device name is an invalid
  // name).
  HRESULT Open(const wchar_t* pszPath);
  // The same, but an existing file is kept and written on at its end; a missing
  // one is created. A last line without its line end (a write cut short before)
  // is ended first, so the next line stands on a line of its own; when even that
  // fails, the open succeeds with the failure pending (IsWriteFailing) and the
  // next line still ends the torn one first.
  HRESULT OpenAppend(const wchar_t* pszPath);
  // Whether the path names a device (CON, NUL, COM1, ... in any folder, with any
  // extension) rather than a file: the system would open the device.
  static bool NamesDevice(const wchar_t* pszPath);
  // Closes an open file; nothing otherwise.
  void Close();
  bool IsOpen() const { return m_pFile != nullptr; }

  // Writes the text unchanged (formats in it are not interpreted) and a line end,
  // then flushes. Returns the text's length, or a negative value: -1 with no file
  // open or a null text, -2 when writing failed (see IsWriteFailing).
  int WriteLine(const wchar_t* pszText);

  // Writing has failed since the last line written whole (or since the open).
  bool IsWriteFailing() const { return FAILED(m_hrWrite); }
  // The result code of the failing write; 0 while writing succeeds.
  HRESULT GetWriteError() const { return m_hrWrite; }
  // True once for each run of failed writes (the first call after it began), so
  // that the user is told once; a line written whole or a new open ends the run.
  bool TakeUnreportedFailure();
  // The path of the open file (or of the last one opened).
  const CString& GetPath() const { return m_strPath; }
  // Whether the open file holds no line yet (nothing was in it at the open, and
  // nothing has been written since).
  bool IsEmpty() const { return m_pFile && m_nWholeLength == 0 && !m_bEndTornLine; }

private:
  struct FileCloser {
    void operator()(FILE* pFile) const { std::fclose(pFile); }
  };
  // Open and OpenAppend: the file opened with this disposition (CREATE_ALWAYS or
  // OPEN_ALWAYS); the stream is positioned at the file's end.
  HRESULT OpenWith(const wchar_t* pszPath, DWORD dwDisposition);
  // Writes text through the stream; false on failure.
  bool Put(const wchar_t* pszText);
  // Writes the line end that ends a torn line, and flushes; false on failure
  // (the failure is kept as the write error).
  bool EndTornLine();
  // The file's length on disk, or -1 when it cannot be read.
  long long LengthOnDisk() const;

  std::unique_ptr<FILE, FileCloser> m_pFile;
  CString m_strPath;
  HRESULT m_hrWrite = S_OK;
  bool m_bFailureReported = false;
  // Where the last whole line ended: more than that on disk is a torn line.
  long long m_nWholeLength = 0;
  // A torn line before m_nWholeLength still needs its line end.
  bool m_bEndTornLine = false;
};
