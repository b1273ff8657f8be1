#pragma once
// A file of records in the log file's form (the header line, then one line per
// record, 8-bit text with CR LF), written whole or not at all: the lines go to a
// temporary file in the same folder, which takes the file's name only once every
// line is on disk. A failure half-way leaves an existing file as it was and no
// file that looks whole.

#include <windows.h>

#include <vector>

#include "framework/String.h"
#include "stats/ItemData.h"

struct HistoryFileResult {
  HRESULT hr = S_OK;
  bool bOpened = false;  // the temporary file could be created (a failure after it is not an open's)
};

// The records in the given order under strHeader.
HistoryFileResult WriteHistoryFile(const wchar_t* pszPath, const CString& strHeader,
                                   const std::vector<ItemData>& records);
