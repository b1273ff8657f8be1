#pragma once
// CEventLog: one event log (or event source) of a machine. It writes events with a
// help line appended to their strings, and reads records back in batches, with a
// cursor that moves forwards and backwards by record number. CEventRecord is a copy
// of one record. Operations return result codes: 0 success, otherwise the folded last
// error, except that reads report the end of the log (and a record that cannot be
// read) as the plain number 259 (ERROR_NO_MORE_ITEMS): check against 0, not with
// SUCCEEDED. Only allocation failure is thrown (the long value E_OUTOFMEMORY).
//
// The system's event-log functions are reached through CEventLogApi, so that tests
// can serve a log of their own: Wine's event log accepts writes and keeps nothing.

#include <windows.h>

#include <memory>

#include "support/WideString.h"

// The event-log functions the library calls. Each behaves as the system function of
// the same name: handles, results and the thread's last error alike.
class CEventLogApi {
public:
  virtual ~CEventLogApi() = default;
  virtual HANDLE OpenEventLog(const wchar_t* pszServer, const wchar_t* pszSource) = 0;
  virtual BOOL CloseEventLog(HANDLE hLog) = 0;
  virtual BOOL ReportEvent(HANDLE hLog, WORD wType, WORD wCategory, DWORD dwEventId, PSID pUserSid,
                           WORD wNumStrings, DWORD cbData, const wchar_t** ppszStrings, void* pData) = 0;
  virtual BOOL ReadEventLog(HANDLE hLog, DWORD dwFlags, DWORD dwOffset, void* pBuffer, DWORD cbToRead,
                            DWORD* pcbRead, DWORD* pcbNeeded) = 0;
  virtual BOOL ClearEventLog(HANDLE hLog, const wchar_t* pszBackupFile) = 0;
  virtual BOOL BackupEventLog(HANDLE hLog, const wchar_t* pszBackupFile) = 0;
  virtual BOOL GetOldestEventLogRecord(HANDLE hLog, DWORD* pdwOldest) = 0;
  virtual BOOL GetNumberOfEventLogRecords(HANDLE hLog, DWORD* pdwCount) = 0;
  virtual BOOL NotifyChangeEventLog(HANDLE hLog, HANDLE hEvent) = 0;
};

// The system's functions: what every CEventLog uses unless SetEventLogApi chose others.
CEventLogApi& SystemEventLogApi() noexcept;
// Makes pApi the functions of every CEventLog constructed from now on (null: the
// system's again) and returns the previous choice. A log keeps the functions it was
// built with, so a handle is always closed by the side that opened it.
CEventLogApi* SetEventLogApi(CEventLogApi* pApi) noexcept;
CEventLogApi& CurrentEventLogApi() noexcept;

// The event ids the library reports, with their texts in the source's message file.
constexpr wchar_t kEventSourceName[] = L"Fernholt_TqOr";
constexpr DWORD kEventServiceUnreachable = 103;  // the remote-registry service could not be checked
constexpr DWORD kEventServiceNotRunning = 104;   // it is not running
constexpr DWORD kMessageHelpLine = 105;

// End of the log, and a record that is not there or cannot be read.
constexpr HRESULT kNoMoreRecords = ERROR_NO_MORE_ITEMS;

class CEventRecord {
public:
  CEventRecord() = default;
  CEventRecord(const CEventRecord& other);
  CEventRecord& operator=(const CEventRecord& other);
  ~CEventRecord() = default;

  DWORD GetRecordNumber() const noexcept { return m_dwRecordNumber; }
  DWORD GetTimeGenerated() const noexcept { return m_dwTimeGenerated; }
  DWORD GetTimeWritten() const noexcept { return m_dwTimeWritten; }
  DWORD GetEventId() const noexcept { return m_dwEventId; }
  WORD GetEventType() const noexcept { return m_wEventType; }
  WORD GetCategory() const noexcept { return m_wCategory; }
  const CWideString& GetSourceName() const noexcept { return m_strSourceName; }
  const CWideString& GetComputerName() const noexcept { return m_strComputerName; }
  int GetStringCount() const noexcept { return m_nStrings; }
  const CWideString& GetString(int nIndex) const noexcept { return m_pStrings[nIndex]; }
  const BYTE* GetData() const noexcept { return m_pData.get(); }
  DWORD GetDataLength() const noexcept { return m_cbData; }

  // The event's text from the source's message file, with the record's strings as
  // inserts; null when the source has no usable message file.
  CWideString GetMessageText() const;
  // The category's text, without inserts; null as above.
  CWideString GetCategoryText() const;

  // Copies the record at pRecord, which must be a whole record of cbRecord bytes
  // (its own length). Every offset and count is checked against those bytes: a
  // record that points outside itself, or a text without its NUL, is refused with
  // kNoMoreRecords and leaves this object unchanged.
  HRESULT Assign(const EVENTLOGRECORD* pRecord, DWORD cbRecord);

private:
  void Swap(CEventRecord& other) noexcept;

  DWORD m_dwRecordNumber = 0;
  DWORD m_dwTimeGenerated = 0;
  DWORD m_dwTimeWritten = 0;
  DWORD m_dwEventId = 0;
  WORD m_wEventType = 0;
  WORD m_wCategory = 0;
  CWideString m_strSourceName;
  CWideString m_strComputerName;
  std::unique_ptr<CWideString[]> m_pStrings;
  std::unique_ptr<BYTE[]> m_pData;
  DWORD m_cbData = 0;
  int m_nStrings = 0;
};

class CEventLog {
public:
  // Read flags of ReadBatch: sequential, forwards or backwards.
  static constexpr DWORD kReadForwards = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ;
  static constexpr DWORD kReadBackwards = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ;
  // The first read's buffer size, and the most records one batch takes in.
  static constexpr DWORD kInitialBufferSize = 2048;
  static constexpr DWORD kMaxBatchRecords = 2048;

  // pszServer null or empty: the local machine. Opens the log; see GetOpenError.
  explicit CEventLog(const wchar_t* pszSource, const wchar_t* pszServer = nullptr);
  ~CEventLog();
  CEventLog(const CEventLog&) = delete;
  CEventLog& operator=(const CEventLog&) = delete;

  HRESULT Open();    // 0 when already open
  HRESULT Close();   // a failed close keeps the handle
  HRESULT Reopen();  // Close, then Open when the close succeeded
  bool IsOpen() const noexcept { return m_hLog != nullptr; }
  HRESULT GetOpenError() const noexcept { return m_hrLastError; }

  HRESULT Clear();  // without a backup
  HRESULT Backup(const wchar_t* pszFileName);
  HRESULT GetOldest(DWORD* pdwOldest);
  HRESULT GetRecordCount(DWORD* pdwCount);
  HRESULT NotifyChange(HANDLE hEvent);

  // Writes one event: the caller's nStrings strings and then the help line (an
  // empty string while no help server is configured).
  HRESULT Report(WORD wType, WORD wCategory, DWORD dwEventId, PSID pUserSid, WORD nStrings,
                 DWORD cbData, const wchar_t** ppszStrings, void* pData);

  // One batch (kReadForwards or kReadBackwards, offset 0). On success the batch
  // replaces the previous one; at the end of the log (or when the batch's first
  // record is unreadable) kNoMoreRecords, the previous batch kept. A changed log
  // file makes the log reopen itself and is returned as its folded error.
  HRESULT ReadBatch(DWORD dwFlags, DWORD dwOffset = 0);

  HRESULT SeekTo(DWORD dwRecord);
  HRESULT MoveFirst();
  HRESULT MoveLast();
  HRESULT GetCurrent(CEventRecord& record);
  HRESULT GetFirst(CEventRecord& record);
  HRESULT GetLast(CEventRecord& record);
  HRESULT GetNext(CEventRecord& record);
  HRESULT GetPrevious(CEventRecord& record);
  DWORD GetCursor() const noexcept { return m_nCurrent; }

private:
  HRESULT LastError() const noexcept;

  CEventLogApi* m_pApi;
  HANDLE m_hLog = nullptr;
  HRESULT m_hrLastError = S_OK;
  std::unique_ptr<BYTE[]> m_pBuffer;
  std::unique_ptr<const EVENTLOGRECORD*[]> m_ppIndex;  // entry i: record m_nFirst + i
  DWORD m_cbBuffer = 0;
  DWORD m_cbRead = 0;
  DWORD m_nFirst = 0;
  DWORD m_nLast = 0;
  DWORD m_nCount = 0;
  DWORD m_nCurrent = 0;
  bool m_bLoaded = false;
  CWideString m_strSource;
  CWideString m_strServer;
};

// The help line appended to every reported event; built by the first Report that
// finds a help server configured, then kept for the process. Defined with the
// library's other static objects in EventLogStatics.cpp.
extern CWideString g_strHelpLine;
