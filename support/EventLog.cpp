#include "support/EventLog.h"

#include <cstring>
#include <new>
#include <utility>

#include "support/MessageModule.h"
#include "support/OutOfMemory.h"
#include "support/RegistryKey.h"
#include "support/Win32Result.h"

namespace {

// windows.h maps the A/W names (OpenEventLog is OpenEventLogW here), so the
// members below keep the system's names and forward to the wide functions.
class CSystemEventLogApi final : public CEventLogApi {
public:
  HANDLE OpenEventLog(const wchar_t* pszServer, const wchar_t* pszSource) override {
    return ::OpenEventLogW(pszServer, pszSource);
  }
  BOOL CloseEventLog(HANDLE hLog) override { return ::CloseEventLog(hLog); }
  BOOL ReportEvent(HANDLE hLog, WORD wType, WORD wCategory, DWORD dwEventId, PSID pUserSid,
                   WORD wNumStrings, DWORD cbData, const wchar_t** ppszStrings, void* pData) override {
    return ::ReportEventW(hLog, wType, wCategory, dwEventId, pUserSid, wNumStrings, cbData, ppszStrings,
                          pData);
  }
  BOOL ReadEventLog(HANDLE hLog, DWORD dwFlags, DWORD dwOffset, void* pBuffer, DWORD cbToRead,
                    DWORD* pcbRead, DWORD* pcbNeeded) override {
    return ::ReadEventLogW(hLog, dwFlags, dwOffset, pBuffer, cbToRead, pcbRead, pcbNeeded);
  }
  BOOL ClearEventLog(HANDLE hLog, const wchar_t* pszBackupFile) override {
    return ::ClearEventLogW(hLog, pszBackupFile);
  }
  BOOL BackupEventLog(HANDLE hLog, const wchar_t* pszBackupFile) override {
    return ::BackupEventLogW(hLog, pszBackupFile);
  }
  BOOL GetOldestEventLogRecord(HANDLE hLog, DWORD* pdwOldest) override {
    return ::GetOldestEventLogRecord(hLog, pdwOldest);
  }
  BOOL GetNumberOfEventLogRecords(HANDLE hLog, DWORD* pdwCount) override {
    return ::GetNumberOfEventLogRecords(hLog, pdwCount);
  }
  BOOL NotifyChangeEventLog(HANDLE hLog, HANDLE hEvent) override {
    return ::NotifyChangeEventLog(hLog, hEvent);
  }
};

// Null: the system's functions. Constant-initialised, so no static order applies.
CEventLogApi* g_pEventLogApi = nullptr;

const wchar_t kHelpServerKey[] = L"Software\\Tarquel";
const wchar_t kHelpServerSubKey[] = L"TqVudAva\\1.0";
const wchar_t kHelpServerValue[] = L"Help Web Server";

std::unique_ptr<BYTE[]> AllocBytes(DWORD cb) {
  std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[cb ? cb : 1]);
  if (!buffer) ThrowOutOfMemory();
  return buffer;
}

// The help line from the configured help server: message 105 of the source's message
// file with the server as its insert, or a fixed English line when no entry for the
// source can be made. Stays empty while no server is configured.
void BuildHelpLine() {
  CRegistryKey key(HKEY_LOCAL_MACHINE, kHelpServerKey, TRUE);
  key.AppendPath(kHelpServerSubKey, TRUE);
  CWideString strServer;
  key.GetString(kHelpServerValue, strServer, FALSE, FALSE);  // missing reads as empty
  if (strServer.IsEmpty()) return;

  CMessageModuleCache cache;
  if (const CMessageModule* pModule = cache.Lookup(kEventSourceName)) {
    const wchar_t* apszInserts[] = {strServer.GetText()};
    g_strHelpLine = FormatMessageText(pModule, kMessageHelpLine, apszInserts, 1);
  } else {
    FormatString(g_strHelpLine, L"\nFor more information, click: %s", strServer.GetText());
  }
}

// The text at byte offset dwOffset of a record of cbRecord bytes, up to its NUL.
// False when the text or its NUL would lie outside the record; *pdwNext is then
// unchanged, otherwise the offset just after the NUL.
bool ReadRecordText(const BYTE* pRecord, DWORD cbRecord, DWORD dwOffset, CWideString& strOut,
                    DWORD* pdwNext) {
  for (DWORD dwPos = dwOffset; dwPos <= cbRecord && cbRecord - dwPos >= sizeof(wchar_t);
       dwPos += sizeof(wchar_t)) {
    wchar_t ch;
    std::memcpy(&ch, pRecord + dwPos, sizeof(ch));  // a corrupt offset may be odd
    if (ch == L'\0') {
      const int cch = static_cast<int>((dwPos - dwOffset) / sizeof(wchar_t));
      strOut = cch ? CWideString(reinterpret_cast<const wchar_t*>(pRecord + dwOffset), cch) : CWideString();
      *pdwNext = dwPos + sizeof(wchar_t);
      return true;
    }
  }
  return false;
}

}  // namespace

CEventLogApi& SystemEventLogApi() noexcept {
  static CSystemEventLogApi api;
  return api;
}

CEventLogApi* SetEventLogApi(CEventLogApi* pApi) noexcept { return std::exchange(g_pEventLogApi, pApi); }

CEventLogApi& CurrentEventLogApi() noexcept {
  return g_pEventLogApi ? *g_pEventLogApi : SystemEventLogApi();
}

// --- CEventRecord -----------------------------------------------------------------

CEventRecord::CEventRecord(const CEventRecord& other)
    : m_dwRecordNumber(other.m_dwRecordNumber),
      m_dwTimeGenerated(other.m_dwTimeGenerated),
      m_dwTimeWritten(other.m_dwTimeWritten),
      m_dwEventId(other.m_dwEventId),
      m_wEventType(other.m_wEventType),
      m_wCategory(other.m_wCategory),
      m_strSourceName(other.m_strSourceName),
      m_strComputerName(other.m_strComputerName),
      m_cbData(other.m_cbData),
      m_nStrings(other.m_nStrings) {
  if (m_nStrings) {
    m_pStrings.reset(new (std::nothrow) CWideString[m_nStrings]);
    if (!m_pStrings) ThrowOutOfMemory();
    for (int i = 0; i < m_nStrings; ++i) m_pStrings[i] = other.m_pStrings[i];
  }
  if (m_cbData) {
    m_pData = AllocBytes(m_cbData);
    std::memcpy(m_pData.get(), other.m_pData.get(), m_cbData);
  }
}

CEventRecord& CEventRecord::operator=(const CEventRecord& other) {
  if (this != &other) {
    CEventRecord copy(other);
    Swap(copy);
  }
  return *this;
}

void CEventRecord::Swap(CEventRecord& other) noexcept {
  std::swap(m_dwRecordNumber, other.m_dwRecordNumber);
  std::swap(m_dwTimeGenerated, other.m_dwTimeGenerated);
  std::swap(m_dwTimeWritten, other.m_dwTimeWritten);
  std::swap(m_dwEventId, other.m_dwEventId);
  std::swap(m_wEventType, other.m_wEventType);
  std::swap(m_wCategory, other.m_wCategory);
  std::swap(m_strSourceName, other.m_strSourceName);
  std::swap(m_strComputerName, other.m_strComputerName);
  std::swap(m_pStrings, other.m_pStrings);
  std::swap(m_pData, other.m_pData);
  std::swap(m_cbData, other.m_cbData);
  std::swap(m_nStrings, other.m_nStrings);
}

HRESULT CEventRecord::Assign(const EVENTLOGRECORD* pRecord, DWORD cbRecord) {
  if (!pRecord || cbRecord < sizeof(EVENTLOGRECORD) || pRecord->Length != cbRecord) return kNoMoreRecords;
  const BYTE* pBytes = reinterpret_cast<const BYTE*>(pRecord);

  // Everything is read into a new record first, so a refused one changes nothing.
  CEventRecord record;
  DWORD dwNext = 0;
  if (!ReadRecordText(pBytes, cbRecord, sizeof(EVENTLOGRECORD), record.m_strSourceName, &dwNext) ||
      !ReadRecordText(pBytes, cbRecord, dwNext, record.m_strComputerName, &dwNext)) {
    return kNoMoreRecords;
  }
  record.m_nStrings = pRecord->NumStrings;
  if (record.m_nStrings) {
    record.m_pStrings.reset(new (std::nothrow) CWideString[record.m_nStrings]);
    if (!record.m_pStrings) ThrowOutOfMemory();
    dwNext = pRecord->StringOffset;
    for (int i = 0; i < record.m_nStrings; ++i) {
      if (!ReadRecordText(pBytes, cbRecord, dwNext, record.m_pStrings[i], &dwNext)) return kNoMoreRecords;
    }
  }
  record.m_cbData = pRecord->DataLength;
  if (record.m_cbData) {
    if (pRecord->DataOffset > cbRecord || record.m_cbData > cbRecord - pRecord->DataOffset) {
      return kNoMoreRecords;
    }
    record.m_pData = AllocBytes(record.m_cbData);
    std::memcpy(record.m_pData.get(), pBytes + pRecord->DataOffset, record.m_cbData);
  }
  record.m_dwRecordNumber = pRecord->RecordNumber;
  record.m_dwTimeGenerated = pRecord->TimeGenerated;
  record.m_dwTimeWritten = pRecord->TimeWritten;
  record.m_dwEventId = pRecord->EventID;
  record.m_wEventType = pRecord->EventType;
  record.m_wCategory = pRecord->EventCategory;
  Swap(record);
  return S_OK;
}

CWideString CEventRecord::GetMessageText() const {
  const CMessageModule* pModule = g_moduleCache.Lookup(m_strSourceName.GetText());
  if (!pModule) return CWideString();
  std::unique_ptr<const wchar_t*[]> ppszInserts(new (std::nothrow) const wchar_t*[m_nStrings ? m_nStrings : 1]);
  if (!ppszInserts) ThrowOutOfMemory();
  for (int i = 0; i < m_nStrings; ++i) {
    ppszInserts[i] = m_pStrings[i].IsNull() ? L"" : m_pStrings[i].GetText();
  }
  return FormatMessageText(pModule, m_dwEventId, ppszInserts.get(), m_nStrings);
}

CWideString CEventRecord::GetCategoryText() const {
  const CMessageModule* pModule = g_moduleCache.Lookup(m_strSourceName.GetText());
  if (!pModule) return CWideString();
  return FormatMessageText(pModule, m_wCategory, nullptr, 0, true);
}

// --- CEventLog --------------------------------------------------------------------

CEventLog::CEventLog(const wchar_t* pszSource, const wchar_t* pszServer)
    : m_pApi(&CurrentEventLogApi()), m_strSource(pszSource), m_strServer(pszServer) {
  Open();
}

CEventLog::~CEventLog() { Close(); }

HRESULT CEventLog::LastError() const noexcept { return HResultFromError(GetLastError()); }

HRESULT CEventLog::Open() {
  if (m_hLog) return S_OK;
  HANDLE hLog = m_pApi->OpenEventLog(m_strServer.IsEmpty() ? nullptr : m_strServer.GetText(),
                                     m_strSource.GetText());
  if (!hLog) {
    m_hrLastError = LastError();
    return m_hrLastError;
  }
  m_hLog = hLog;
  m_pBuffer = AllocBytes(kInitialBufferSize);
  m_ppIndex.reset();
  m_cbBuffer = kInitialBufferSize;
  m_cbRead = 0;
  m_bLoaded = false;
  m_nFirst = m_nLast = m_nCount = m_nCurrent = 0;
  return S_OK;
}

HRESULT CEventLog::Close() {
  if (!m_hLog) return S_OK;
  if (!m_pApi->CloseEventLog(m_hLog)) return LastError();
  m_hLog = nullptr;
  return S_OK;
}

HRESULT CEventLog::Reopen() {
  HRESULT hr = Close();
  return hr == S_OK ? Open() : hr;
}

HRESULT CEventLog::Clear() { return m_pApi->ClearEventLog(m_hLog, nullptr) ? S_OK : LastError(); }

HRESULT CEventLog::Backup(const wchar_t* pszFileName) {
  return m_pApi->BackupEventLog(m_hLog, pszFileName) ? S_OK : LastError();
}

HRESULT CEventLog::GetOldest(DWORD* pdwOldest) {
  return m_pApi->GetOldestEventLogRecord(m_hLog, pdwOldest) ? S_OK : LastError();
}

HRESULT CEventLog::GetRecordCount(DWORD* pdwCount) {
  return m_pApi->GetNumberOfEventLogRecords(m_hLog, pdwCount) ? S_OK : LastError();
}

HRESULT CEventLog::NotifyChange(HANDLE hEvent) {
  return m_pApi->NotifyChangeEventLog(m_hLog, hEvent) ? S_OK : LastError();
}

HRESULT CEventLog::Report(WORD wType, WORD wCategory, DWORD dwEventId, PSID pUserSid, WORD nStrings,
                          DWORD cbData, const wchar_t** ppszStrings, void* pData) {
  // The help line takes one more string, which a WORD count must still hold.
  if (nStrings == 0xFFFF || (nStrings && !ppszStrings)) return E_INVALIDARG;
  if (g_strHelpLine.IsEmpty()) BuildHelpLine();
  g_strHelpLine.MakeNonNull();

  std::unique_ptr<const wchar_t*[]> ppszAll(new (std::nothrow) const wchar_t*[nStrings + 1]);
  if (!ppszAll) ThrowOutOfMemory();
  for (WORD i = 0; i < nStrings; ++i) ppszAll[i] = ppszStrings[i];
  ppszAll[nStrings] = g_strHelpLine.GetText();
  if (!m_pApi->ReportEvent(m_hLog, wType, wCategory, dwEventId, pUserSid, static_cast<WORD>(nStrings + 1),
                           cbData, ppszAll.get(), pData)) {
    return LastError();
  }
  return S_OK;
}

HRESULT CEventLog::ReadBatch(DWORD dwFlags, DWORD dwOffset) {
  DWORD cbBuffer = m_cbBuffer ? m_cbBuffer : kInitialBufferSize;
  std::unique_ptr<BYTE[]> pBuffer = AllocBytes(cbBuffer);
  DWORD cbRead = 0;
  HRESULT hr;
  for (;;) {
    DWORD cbNeeded = 0;
    cbRead = 0;
    hr = m_pApi->ReadEventLog(m_hLog, dwFlags, dwOffset, pBuffer.get(), cbBuffer, &cbRead, &cbNeeded)
             ? S_OK
             : LastError();
    if (hr == HRESULT_FROM_WIN32(ERROR_EVENTLOG_FILE_CHANGED)) {
      Reopen();
      return hr;
    }
    // A system that asks for no more than it was given would be asked for ever.
    if (hr != HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER) || cbNeeded <= cbBuffer) break;
    cbBuffer = cbNeeded;
    pBuffer = AllocBytes(cbBuffer);
  }
  if (hr == HRESULT_FROM_WIN32(ERROR_HANDLE_EOF)) return kNoMoreRecords;
  if (FAILED(hr)) return hr;
  if (cbRead > cbBuffer) cbRead = cbBuffer;
  if (cbRead == 0) return kNoMoreRecords;

  // Walk the records by their lengths, trusting none: a record must hold at least
  // the fixed part, end on a DWORD and within the bytes read, and carry the number
  // after (or before, backwards) its predecessor's. The walk ends at the first that
  // does not; a batch without one good record counts as the end.
  const bool bBackwards = (dwFlags & EVENTLOG_BACKWARDS_READ) != 0;
  DWORD dwPos = 0;
  DWORD nRecords = 0;
  DWORD nFirst = 0;
  DWORD nLast = 0;
  while (nRecords < kMaxBatchRecords && cbRead - dwPos >= sizeof(EVENTLOGRECORD)) {
    const auto* pRecord = reinterpret_cast<const EVENTLOGRECORD*>(pBuffer.get() + dwPos);
    const DWORD cbRecord = pRecord->Length;
    if (cbRecord < sizeof(EVENTLOGRECORD) || cbRecord % sizeof(DWORD) != 0 || cbRecord > cbRead - dwPos) break;
    if (nRecords && pRecord->RecordNumber != (bBackwards ? nLast - 1 : nLast + 1)) break;
    if (!nRecords) nFirst = pRecord->RecordNumber;
    nLast = pRecord->RecordNumber;
    ++nRecords;
    dwPos += cbRecord;
  }
  if (!nRecords) return kNoMoreRecords;

  std::unique_ptr<const EVENTLOGRECORD*[]> ppIndex(new (std::nothrow) const EVENTLOGRECORD*[nRecords]);
  if (!ppIndex) ThrowOutOfMemory();
  dwPos = 0;
  for (DWORD i = 0; i < nRecords; ++i) {
    const auto* pRecord = reinterpret_cast<const EVENTLOGRECORD*>(pBuffer.get() + dwPos);
    ppIndex[bBackwards ? nRecords - 1 - i : i] = pRecord;
    dwPos += pRecord->Length;
  }
  m_pBuffer = std::move(pBuffer);
  m_cbBuffer = cbBuffer;
  m_cbRead = cbRead;
  m_bLoaded = true;
  m_ppIndex = std::move(ppIndex);
  m_nCount = nRecords;
  m_nFirst = bBackwards ? nLast : nFirst;
  m_nLast = bBackwards ? nFirst : nLast;
  return S_OK;
}

HRESULT CEventLog::SeekTo(DWORD dwRecord) {
  while (dwRecord < m_nFirst || dwRecord > m_nLast) {
    HRESULT hr = ReadBatch(m_nCurrent < dwRecord ? kReadForwards : kReadBackwards);
    if (hr != S_OK) {
      m_nCurrent = m_nLast >= dwRecord ? m_nFirst : m_nLast;
      return hr;
    }
  }
  m_nCurrent = dwRecord;
  return S_OK;
}

HRESULT CEventLog::MoveFirst() {
  HRESULT hr;
  do {
    hr = ReadBatch(kReadBackwards);
  } while (hr == S_OK);
  m_nCurrent = m_nFirst;
  return FAILED(hr) ? hr : S_OK;
}

HRESULT CEventLog::MoveLast() {
  HRESULT hr;
  do {
    hr = ReadBatch(kReadForwards);
  } while (hr == S_OK);
  m_nCurrent = m_nLast;
  return FAILED(hr) ? hr : S_OK;
}

HRESULT CEventLog::GetCurrent(CEventRecord& record) {
  if (!m_bLoaded) {
    ReadBatch(kReadForwards);
    if (!m_bLoaded) return kNoMoreRecords;
    m_nCurrent = m_nFirst;
  }
  if (m_nCurrent < m_nFirst || m_nCurrent - m_nFirst >= m_nCount) return kNoMoreRecords;
  const EVENTLOGRECORD* pRecord = m_ppIndex[m_nCurrent - m_nFirst];
  return record.Assign(pRecord, pRecord->Length);
}

HRESULT CEventLog::GetFirst(CEventRecord& record) {
  HRESULT hr = MoveFirst();
  return hr == S_OK ? GetCurrent(record) : hr;
}

HRESULT CEventLog::GetLast(CEventRecord& record) {
  HRESULT hr = MoveLast();
  return hr == S_OK ? GetCurrent(record) : hr;
}

HRESULT CEventLog::GetNext(CEventRecord& record) {
  HRESULT hr = SeekTo(m_nCurrent + 1);
  return hr == S_OK ? GetCurrent(record) : hr;
}

HRESULT CEventLog::GetPrevious(CEventRecord& record) {
  HRESULT hr = SeekTo(m_nCurrent - 1);
  return hr == S_OK ? GetCurrent(record) : hr;
}
