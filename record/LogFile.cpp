#include "record/LogFile.h"

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <stdlib.h>

#include <cwchar>
#include <string>

#include "support/UniqueHandle.h"
#include "support/Win32Result.h"

bool CLogFile::NamesDevice(const wchar_t* pszPath) {
  if (!pszPath || std::wcsncmp(pszPath, L"\\\\", 2) == 0) return false;
  // The system turns a reserved name into the device's own path, \\.\NAME.
  wchar_t full[16] = {};
  const DWORD length = ::GetFullPathNameW(pszPath, 16, full, nullptr);
  return length > 4 && length < 16 && std::wcsncmp(full, L"\\\\.\\", 4) == 0;
}

HRESULT CLogFile::Open(const wchar_t* pszPath) { return OpenWith(pszPath, CREATE_ALWAYS); }

HRESULT CLogFile::OpenAppend(const wchar_t* pszPath) { return OpenWith(pszPath, OPEN_ALWAYS); }

HRESULT CLogFile::OpenWith(const wchar_t* pszPath, DWORD dwDisposition) {
  if (!pszPath) return E_INVALIDARG;
  if (m_pFile) return E_FAIL;
  if (NamesDevice(pszPath)) return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
  const bool bAppend = dwDisposition == OPEN_ALWAYS;
  // Readers may open the file while it is written; no other writer may, so
  // nobody can truncate it or interleave lines with it. A file held that way by
  // another writer refuses the open before anything is truncated. Appending
  // reads the last byte to find a torn line.
  CFileHandle hFile(::CreateFileW(pszPath, GENERIC_WRITE | (bAppend ? GENERIC_READ : 0), FILE_SHARE_READ, nullptr,
                                  dwDisposition, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!hFile) return HResultFromError(::GetLastError());
  LARGE_INTEGER length = {};
  bool bTorn = false;
  if (bAppend) {
    if (!::GetFileSizeEx(hFile.Get(), &length)) return HResultFromError(::GetLastError());
    char last = '\n';
    DWORD read = 0;
    LARGE_INTEGER position;
    position.QuadPart = length.QuadPart - 1;
    if (length.QuadPart > 0 && (!::SetFilePointerEx(hFile.Get(), position, nullptr, FILE_BEGIN) ||
                                !::ReadFile(hFile.Get(), &last, 1, &read, nullptr) || read != 1)) {
      return HResultFromError(::GetLastError());
    }
    bTorn = last != '\n';
    LARGE_INTEGER zero = {};
    if (!::SetFilePointerEx(hFile.Get(), zero, nullptr, FILE_END)) return HResultFromError(::GetLastError());
  }
  // The runtime's text-mode stream over the handle: CR LF line ends and the
  // default locale's 8-bit characters.
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(hFile.Get()),
                                   _O_WRONLY | _O_TEXT | (bAppend ? _O_APPEND : 0));
  if (fd < 0) return E_OUTOFMEMORY;
  hFile.Detach();  // the descriptor owns the handle now
  FILE* pFile = ::_wfdopen(fd, bAppend ? L"a" : L"w");
  if (!pFile) {
    ::_close(fd);
    return E_OUTOFMEMORY;
  }
  m_pFile.reset(pFile);
  m_strPath = pszPath;
  m_hrWrite = S_OK;
  m_bFailureReported = false;
  m_nWholeLength = length.QuadPart;
  m_bEndTornLine = bTorn;
  if (bTorn) EndTornLine();
  return S_OK;
}

bool CLogFile::EndTornLine() {
  _doserrno = 0;
  ::SetLastError(ERROR_SUCCESS);
  // The stream's flush is where a full disk shows.
  if (Put(L"\n") && std::fflush(m_pFile.get()) == 0) {
    m_bEndTornLine = false;
    const long long length = LengthOnDisk();
    if (length >= 0) m_nWholeLength = length;
    return true;
  }
  const DWORD dwError = _doserrno != 0 ? static_cast<DWORD>(_doserrno) : ::GetLastError();
  m_hrWrite = HResultFromError(dwError);
  std::clearerr(m_pFile.get());
  return false;
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
  if (m_bEndTornLine || (IsWriteFailing() && LengthOnDisk() != m_nWholeLength)) bWritten = Put(L"\n");
  if (bWritten) bWritten = Put(line.c_str());
  if (bWritten) bWritten = Put(L"\n");
  // A full disk shows only here: the runtime buffers what fputws wrote.
  const bool bFlushed = std::fflush(m_pFile.get()) == 0;

  if (bWritten && bFlushed) {
    m_hrWrite = S_OK;
    m_bEndTornLine = false;
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
