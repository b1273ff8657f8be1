#include "record/HistoryFile.h"

#include <algorithm>

#include "record/LogFile.h"
#include "record/RecordLogData.h"

namespace {

HRESULT LastError() {
  const DWORD dwError = ::GetLastError();
  return dwError ? HRESULT_FROM_WIN32(dwError) : E_FAIL;
}

// The temporary file, deleted unless it took the file's name.
class CTemporaryFile {
public:
  CTemporaryFile() = default;
  ~CTemporaryFile() {
    if (!m_strPath.IsEmpty()) ::DeleteFileW(m_strPath);
  }
  CTemporaryFile(const CTemporaryFile&) = delete;
  CTemporaryFile& operator=(const CTemporaryFile&) = delete;

  // An empty file of a new name in the folder of pszPath.
  HRESULT Create(const wchar_t* pszPath) {
    CString strFolder(pszPath);
    const int slash = std::max(strFolder.ReverseFind(L'\\'), strFolder.ReverseFind(L'/'));
    strFolder = slash >= 0 ? strFolder.Left(slash + 1) : CString(L".");
    wchar_t szTemp[MAX_PATH + 1] = {};
    if (!::GetTempFileNameW(strFolder, L"dlv", 0, szTemp)) return LastError();
    m_strPath = szTemp;
    return S_OK;
  }
  const CString& GetPath() const { return m_strPath; }
  // The file goes by its new name from now on.
  void Release() { m_strPath.Empty(); }

private:
  CString m_strPath;
};

}  // namespace

HistoryFileResult WriteHistoryFile(const wchar_t* pszPath, const CString& strHeader,
                                   const std::vector<ItemData>& records) {
  HistoryFileResult result;
  if (!pszPath || !*pszPath) {
    result.hr = E_INVALIDARG;
    return result;
  }
  // The system would open the device, not a file of that name.
  if (CLogFile::NamesDevice(pszPath)) {
    result.hr = HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
    return result;
  }
  CTemporaryFile temporary;
  result.hr = temporary.Create(pszPath);
  if (FAILED(result.hr)) return result;
  {
    CLogFile file;
    result.hr = file.Open(temporary.GetPath());
    if (FAILED(result.hr)) return result;
    result.bOpened = true;
    file.WriteLine(strHeader);
    for (const ItemData& record : records) {
      if (file.IsWriteFailing()) break;
      file.WriteLine(CRecordLogData::FormatRecord(record));
    }
    if (file.IsWriteFailing()) {
      result.hr = file.GetWriteError();
      return result;
    }
  }
  if (!::MoveFileExW(temporary.GetPath(), pszPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    result.hr = LastError();
    return result;
  }
  temporary.Release();
  return result;
}
