#include "record/LogFile.h"

#include <errno.h>
#include <io.h>
#include <share.h>
#include <stdlib.h>

#include <cwchar>
#include <string>

#include "support/Win32Result.h"

HRESULT CLogFile::Open(const wchar_t* pszPath) {
  if (!pszPath) return E_INVALIDARG;
  if (m_pFile) return E_FAIL;
  // The runtime's own wide open: text mode, no sharing restrictions.
  FILE* pFile = ::_wfsopen(pszPath, L"w", _SH_DENYNO);
  if (!pFile) return E_FAIL;
  m_pFile.reset(pFile);
  m_strPath = pszPath;
  m_hrWrite = S_OK;
  m_bFailureReported = false;
  m_nWholeLength = 0;
  return S_OK;
}

void CLogFile::Close() { m_pFile.reset(); }

bool CLogFile::Put(const wchar_t* pszText) { return std::fputws(pszText, m_pFile.get()) != WEOF; }

long long CLogFile::LengthOnDisk() const { return ::_filelengthi64(::_fileno(m_pFile.get())); }

int CLogFile::WriteLine(const wchar_t* pszText) {
  if (!m_pFile || !pszText) return -1;

  // The default C locale converts U+0001 to U+00FF to one byte each and refuses
  // anything above, which would cut the line there.
  std::wstring line(pszText);
  for (wchar_t& ch : line) {
    if (static_cast<unsigned>(ch) > 0xFF) ch = L'?';
  }

  _doserrno = 0;
  ::SetLastError(ERROR_SUCCESS);
  // After a failure part of that line may have reached the disk: this line
  // starts on a line of its own rather than continuing the torn one.
  bool bWritten = true;
  if (IsWriteFailing() && LengthOnDisk() != m_nWholeLength) bWritten = Put(L"\n");
  if (bWritten) bWritten = Put(line.c_str());
  if (bWritten) bWritten = Put(L"\n");
  // A full disk shows only here: the runtime buffers what fputws wrote.
  const bool bFlushed = std::fflush(m_pFile.get()) == 0;

  if (bWritten && bFlushed) {
    m_hrWrite = S_OK;
    m_bFailureReported = false;
    const long long length = LengthOnDisk();
    if (length >= 0) m_nWholeLength = length;
    return static_cast<int>(line.size());
  }
  const DWORD dwError = _doserrno != 0 ? static_cast<DWORD>(_doserrno) : ::GetLastError();
  m_hrWrite = HResultFromError(dwError);
  // The stream's error flag would otherwise stay set for good.
  std::clearerr(m_pFile.get());
  return -2;
}

bool CLogFile::TakeUnreportedFailure() {
  if (!IsWriteFailing() || m_bFailureReported) return false;
  m_bFailureReported = true;
  return true;
}
