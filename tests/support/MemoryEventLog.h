#pragma once
// An event log in memory for tests: Wine's own accepts writes and keeps nothing.
// While a CMemoryEventLog lives it is the functions of every CEventLog constructed
// (see SetEventLogApi). Records are kept as the bytes Windows lays out, and reads
// serve them as ReadEventLogW does: sequential forwards or backwards from the
// handle's last record (or by number with EVENTLOG_SEEK_READ), whole records only,
// ERROR_INSUFFICIENT_BUFFER with the size needed when the first does not fit,
// ERROR_HANDLE_EOF at the end. Reported events are also kept decoded, to observe.
// Header-only, so that any test program can use it.

#include <windows.h>

#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/EventLog.h"

class CMemoryEventLog : public CEventLogApi {
public:
  struct Event {
    WORD wType = EVENTLOG_INFORMATION_TYPE;
    WORD wCategory = 0;
    DWORD dwEventId = 0;
    std::wstring strSource = kEventSourceName;
    std::wstring strComputer = L"TESTHOST";
    std::vector<std::wstring> strings;
    std::vector<BYTE> data;
    std::vector<BYTE> sid;
    DWORD dwTime = 1700000000;
  };

  CMemoryEventLog() : m_pPrevious(SetEventLogApi(this)) {}
  ~CMemoryEventLog() override { SetEventLogApi(m_pPrevious); }
  CMemoryEventLog(const CMemoryEventLog&) = delete;
  CMemoryEventLog& operator=(const CMemoryEventLog&) = delete;

  // A record as Windows writes it: fixed part, source name, computer name, the SID
  // at a DWORD boundary, the strings, the data, padding to a DWORD, and the length
  // once more at the end.
  static std::vector<BYTE> BuildRecord(const Event& event, DWORD dwNumber) {
    std::vector<BYTE> bytes(sizeof(EVENTLOGRECORD));
    auto appendText = [&bytes](const std::wstring& str) {
      const BYTE* p = reinterpret_cast<const BYTE*>(str.c_str());
      bytes.insert(bytes.end(), p, p + (str.size() + 1) * sizeof(wchar_t));
    };
    auto padToDWord = [&bytes] { bytes.resize((bytes.size() + 3) & ~size_t(3)); };
    appendText(event.strSource);
    appendText(event.strComputer);
    padToDWord();
    const DWORD dwSidOffset = static_cast<DWORD>(bytes.size());
    bytes.insert(bytes.end(), event.sid.begin(), event.sid.end());
    const DWORD dwStringOffset = static_cast<DWORD>(bytes.size());
    for (const std::wstring& str : event.strings) appendText(str);
    const DWORD dwDataOffset = static_cast<DWORD>(bytes.size());
    bytes.insert(bytes.end(), event.data.begin(), event.data.end());
    padToDWord();
    bytes.resize(bytes.size() + sizeof(DWORD));
    const DWORD cbRecord = static_cast<DWORD>(bytes.size());
    std::memcpy(bytes.data() + cbRecord - sizeof(DWORD), &cbRecord, sizeof(DWORD));

    EVENTLOGRECORD fixed = {};
    fixed.Length = cbRecord;
    fixed.Reserved = 0x654c664c;  // "LfLe"
    fixed.RecordNumber = dwNumber;
    fixed.TimeGenerated = event.dwTime;
    fixed.TimeWritten = event.dwTime;
    fixed.EventID = event.dwEventId;
    fixed.EventType = event.wType;
    fixed.NumStrings = static_cast<WORD>(event.strings.size());
    fixed.EventCategory = event.wCategory;
    fixed.StringOffset = dwStringOffset;
    fixed.UserSidLength = static_cast<DWORD>(event.sid.size());
    fixed.UserSidOffset = dwSidOffset;
    fixed.DataLength = static_cast<DWORD>(event.data.size());
    fixed.DataOffset = dwDataOffset;
    std::memcpy(bytes.data(), &fixed, sizeof(fixed));
    return bytes;
  }

  // Appends a record numbered after the newest; returns its number.
  DWORD Append(const Event& event) {
    const DWORD dwNumber = NextNumber();
    m_records.push_back(BuildRecord(event, dwNumber));
    return dwNumber;
  }
  // Appends bytes as they are (a corrupt record); they count as the next number.
  void AppendRaw(std::vector<BYTE> bytes) { m_records.push_back(std::move(bytes)); }
  // The next read on any handle fails once with dwError (e.g. ERROR_EVENTLOG_FILE_CHANGED).
  void FailNextRead(DWORD dwError) { m_dwNextReadError = dwError; }
  // Opens fail with dwError while it is not 0.
  void FailOpens(DWORD dwError) { m_dwOpenError = dwError; }
  // Oldest records first; the first is numbered dwFirst.
  void SetFirstNumber(DWORD dwFirst) { m_dwFirstNumber = dwFirst; }

  const std::vector<Event>& GetReported() const { return m_reported; }
  size_t GetRecordCount() const { return m_records.size(); }
  int GetOpenHandleCount() const { return static_cast<int>(m_handles.size()); }
  int GetOpenCount() const { return m_nOpens; }
  int GetReadCount() const { return m_nReads; }

  HANDLE OpenEventLog(const wchar_t* pszServer, const wchar_t* pszSource) override {
    if (m_dwOpenError || !pszSource) {
      Fail(m_dwOpenError ? m_dwOpenError : ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    ++m_nOpens;
    HANDLE hLog = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(0x4000 + 4 * ++m_nHandleSerial));
    m_handles[hLog] = Handle{pszSource, pszServer ? pszServer : L"", -1};
    return hLog;
  }
  BOOL CloseEventLog(HANDLE hLog) override {
    if (!m_handles.erase(hLog)) return Fail(ERROR_INVALID_HANDLE);
    return TRUE;
  }
  BOOL ReportEvent(HANDLE hLog, WORD wType, WORD wCategory, DWORD dwEventId, PSID pUserSid,
                   WORD wNumStrings, DWORD cbData, const wchar_t** ppszStrings, void* pData) override {
    auto it = m_handles.find(hLog);
    if (it == m_handles.end()) return Fail(ERROR_INVALID_HANDLE);
    if ((wNumStrings && !ppszStrings) || (cbData && !pData)) return Fail(ERROR_INVALID_PARAMETER);
    Event event;
    event.wType = wType;
    event.wCategory = wCategory;
    event.dwEventId = dwEventId;
    event.strSource = it->second.strSource;
    for (WORD i = 0; i < wNumStrings; ++i) {
      if (!ppszStrings[i]) return Fail(ERROR_INVALID_PARAMETER);
      event.strings.push_back(ppszStrings[i]);
    }
    const BYTE* pBytes = static_cast<const BYTE*>(pData);
    if (cbData) event.data.assign(pBytes, pBytes + cbData);
    if (pUserSid && IsValidSid(pUserSid)) {
      const BYTE* pSid = static_cast<const BYTE*>(pUserSid);
      event.sid.assign(pSid, pSid + GetLengthSid(pUserSid));
    }
    Append(event);
    m_reported.push_back(event);
    return TRUE;
  }
  BOOL ReadEventLog(HANDLE hLog, DWORD dwFlags, DWORD dwOffset, void* pBuffer, DWORD cbToRead,
                    DWORD* pcbRead, DWORD* pcbNeeded) override {
    auto it = m_handles.find(hLog);
    if (it == m_handles.end()) return Fail(ERROR_INVALID_HANDLE);
    if (!pcbRead || !pcbNeeded || (cbToRead && !pBuffer)) return Fail(ERROR_INVALID_PARAMETER);
    ++m_nReads;
    *pcbRead = 0;
    *pcbNeeded = 0;
    if (m_dwNextReadError) {
      const DWORD dwError = m_dwNextReadError;
      m_dwNextReadError = 0;
      return Fail(dwError);
    }
    const bool bBackwards = (dwFlags & EVENTLOG_BACKWARDS_READ) != 0;
    long nIndex;
    if (dwFlags & EVENTLOG_SEEK_READ) {
      nIndex = static_cast<long>(dwOffset) - static_cast<long>(m_dwFirstNumber);
    } else if (it->second.nLast < 0) {
      nIndex = bBackwards ? static_cast<long>(m_records.size()) - 1 : 0;
    } else {
      nIndex = it->second.nLast + (bBackwards ? -1 : 1);
    }
    if (nIndex < 0 || nIndex >= static_cast<long>(m_records.size())) return Fail(ERROR_HANDLE_EOF);
    if (m_records[nIndex].size() > cbToRead) {
      *pcbNeeded = static_cast<DWORD>(m_records[nIndex].size());
      return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    BYTE* pOut = static_cast<BYTE*>(pBuffer);
    while (nIndex >= 0 && nIndex < static_cast<long>(m_records.size()) &&
           *pcbRead + m_records[nIndex].size() <= cbToRead) {
      std::memcpy(pOut + *pcbRead, m_records[nIndex].data(), m_records[nIndex].size());
      *pcbRead += static_cast<DWORD>(m_records[nIndex].size());
      it->second.nLast = nIndex;
      nIndex += bBackwards ? -1 : 1;
    }
    return TRUE;
  }
  BOOL ClearEventLog(HANDLE hLog, const wchar_t*) override {
    if (!m_handles.count(hLog)) return Fail(ERROR_INVALID_HANDLE);
    m_dwFirstNumber += static_cast<DWORD>(m_records.size());
    m_records.clear();
    for (auto& entry : m_handles) entry.second.nLast = -1;
    return TRUE;
  }
  BOOL BackupEventLog(HANDLE hLog, const wchar_t* pszBackupFile) override {
    if (!m_handles.count(hLog)) return Fail(ERROR_INVALID_HANDLE);
    if (!pszBackupFile) return Fail(ERROR_INVALID_PARAMETER);
    m_strBackupFile = pszBackupFile;
    return TRUE;
  }
  BOOL GetOldestEventLogRecord(HANDLE hLog, DWORD* pdwOldest) override {
    if (!m_handles.count(hLog)) return Fail(ERROR_INVALID_HANDLE);
    *pdwOldest = m_records.empty() ? 0 : m_dwFirstNumber;
    return TRUE;
  }
  BOOL GetNumberOfEventLogRecords(HANDLE hLog, DWORD* pdwCount) override {
    if (!m_handles.count(hLog)) return Fail(ERROR_INVALID_HANDLE);
    *pdwCount = static_cast<DWORD>(m_records.size());
    return TRUE;
  }
  BOOL NotifyChangeEventLog(HANDLE hLog, HANDLE) override {
    if (!m_handles.count(hLog)) return Fail(ERROR_INVALID_HANDLE);
    return TRUE;
  }

  std::wstring m_strBackupFile;

private:
  struct Handle {
    std::wstring strSource;
    std::wstring strServer;
    long nLast;  // index of the last record read; -1 before the first read
  };

  static BOOL Fail(DWORD dwError) {
    SetLastError(dwError);
    return FALSE;
  }
  DWORD NextNumber() const { return m_dwFirstNumber + static_cast<DWORD>(m_records.size()); }

  CEventLogApi* m_pPrevious;
  std::vector<std::vector<BYTE>> m_records;
  std::vector<Event> m_reported;
  std::map<HANDLE, Handle> m_handles;
  DWORD m_dwFirstNumber = 1;
  DWORD m_dwNextReadError = 0;
  DWORD m_dwOpenError = 0;
  int m_nHandleSerial = 0;
  int m_nOpens = 0;
  int m_nReads = 0;
};
