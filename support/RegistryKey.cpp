#include "support/RegistryKey.h"

#include <cstdlib>
#include <cwchar>
#include <utility>

#include "support/OutOfMemory.h"

namespace {

// The class word given to every key this library creates.
const wchar_t kKeyClass[] = L"TqSupport";

// A zeroed buffer with room for cb bytes plus one spare NUL character, so that
// text read into it is terminated whatever the registry returned.
CWideBuffer AllocTextBuffer(DWORD cb) {
  CWideBuffer buffer(
      static_cast<wchar_t*>(CheckedCalloc(static_cast<size_t>(cb) / sizeof(wchar_t) + 2, sizeof(wchar_t))));
  if (!buffer) ThrowOutOfMemory();
  return buffer;
}

// The text of cb bytes of registry data: up to the first NUL or the end of the
// data, whichever comes first; an odd last byte is not part of any character.
CWideString TextOfData(const wchar_t* pData, DWORD cb) {
  size_t cch = wcsnlen(pData, cb / sizeof(wchar_t));
  return CWideString(pData, static_cast<int>(cch));
}

}  // namespace

CRegistryKey::CRegistryKey(HKEY hRoot, const wchar_t* pszPath, BOOL bOpen) {
  ResetToDefaults();
  m_hRoot = hRoot;
  m_strPath = pszPath;
  if (bOpen) Open(TRUE);
}

CRegistryKey::CRegistryKey(BOOL bOpen) {
  ResetToDefaults();
  if (bOpen) Open(TRUE);
}

CRegistryKey::CRegistryKey(HKEY hRoot, const wchar_t* pszPath, REGSAM samDesired,
                           SECURITY_INFORMATION securityInfo, PSECURITY_DESCRIPTOR pSecurity,
                           BOOL bApply) {
  ResetToDefaults();
  m_hRoot = hRoot;
  m_strPath = pszPath;
  m_samDesired = samDesired;
  if (bApply && Open(TRUE) == ERROR_SUCCESS) RegSetKeySecurity(m_hKey, securityInfo, pSecurity);
}

CRegistryKey::CRegistryKey(const wchar_t* pszPath, REGSAM samDesired,
                           SECURITY_INFORMATION securityInfo, PSECURITY_DESCRIPTOR pSecurity,
                           BOOL bApply)
    : CRegistryKey(HKEY_LOCAL_MACHINE, pszPath, samDesired, securityInfo, pSecurity, bApply) {}

CRegistryKey::CRegistryKey(const CRegistryKey& other, BOOL bOpen) {
  ResetToDefaults();
  m_hRoot = other.m_hRoot;
  m_strPath = other.m_strPath;
  if (bOpen) Open(TRUE);
}

CRegistryKey::CRegistryKey(HKEY hKey) {
  ResetToDefaults();
  m_hKey = hKey;
}

CRegistryKey::~CRegistryKey() {
  if (m_hKey) Close();
  if (m_bOwnsRoot && m_hRoot) {
    RegCloseKey(m_hRoot);
    m_hRoot = nullptr;
  }
}

void CRegistryKey::ResetToDefaults() {
  m_bOwnsRoot = FALSE;
  m_hRoot = HKEY_LOCAL_MACHINE;
  m_hKey = nullptr;
  m_strPath = L"Software\\Tarquel";
  m_samDesired = KEY_READ | KEY_WRITE;
  m_nSubKeyIndex = 0;
  m_nValueIndex = 0;
}

LONG CRegistryKey::Open(BOOL bCreate) {
  if (m_hKey) Close();
  if (!m_hRoot || m_strPath.Length() == 0) return ERROR_INVALID_HANDLE;
  HKEY hKey = nullptr;
  LONG nResult = RegOpenKeyExW(m_hRoot, m_strPath.GetText(), 0, m_samDesired, &hKey);
  if (nResult == ERROR_SUCCESS) {
    m_hKey = hKey;
    return ERROR_SUCCESS;
  }
  return bCreate ? Create() : nResult;
}

LONG CRegistryKey::Create() {
  // Never hold two handles: a create while open replaces the open handle.
  if (m_hKey) Close();
  if (!m_hRoot || m_strPath.Length() == 0) return ERROR_INVALID_HANDLE;
  HKEY hKey = nullptr;
  DWORD dwDisposition = 0;
  LONG nResult = RegCreateKeyExW(m_hRoot, m_strPath.GetText(), 0, const_cast<wchar_t*>(kKeyClass),
                                 REG_OPTION_NON_VOLATILE, m_samDesired, nullptr, &hKey,
                                 &dwDisposition);
  if (nResult == ERROR_SUCCESS) m_hKey = hKey;
  return nResult;
}

LONG CRegistryKey::Close() {
  if (!m_hKey) return ERROR_INVALID_HANDLE;
  if (m_bOwnsRoot && m_hKey == m_hRoot) {
    // An owned root is closed only by the destructor.
    m_hKey = nullptr;
    return ERROR_INVALID_HANDLE;
  }
  LONG nResult = RegCloseKey(m_hKey);
  m_hKey = nullptr;
  return nResult;
}

void CRegistryKey::SetPath(const wchar_t* pszPath, BOOL bOpen) {
  if (m_hKey) Close();
  m_strPath = pszPath;
  if (bOpen) Open(TRUE);
}

void CRegistryKey::AppendPath(const wchar_t* pszComponent, BOOL bOpen) {
  if (m_hKey) Close();
  int nLength = m_strPath.Length();
  if (nLength == 0) {
    m_strPath = pszComponent;
  } else {
    if (m_strPath[nLength - 1] != L'\\') m_strPath += CWideString(L"\\");
    if (pszComponent) m_strPath += CWideString(pszComponent);
  }
  if (bOpen) Open(TRUE);
}

void CRegistryKey::MoveToParent() {
  if (m_hKey) Close();
  int nSeparator = m_strPath.ReverseFind(L'\\');
  if (nSeparator >= 0) m_strPath = m_strPath.Left(nSeparator);
  Open(TRUE);
}

LONG CRegistryKey::QueryValue(const wchar_t* pszName, DWORD* pdwType, BYTE* pData,
                              DWORD* pcbData, BOOL bCreate) {
  LONG nOpenResult = ERROR_SUCCESS;
  if (!m_hKey) nOpenResult = Open(bCreate);
  if (!m_hKey) return nOpenResult;
  return RegQueryValueExW(m_hKey, pszName, nullptr, pdwType, pData, pcbData);
}

LONG CRegistryKey::QueryString(const wchar_t* pszName, wchar_t* pszBuffer, DWORD* pcbData,
                               BOOL bCreate, BOOL bExpand) {
  // Without a size there is no capacity; expansion needs the text itself.
  if (!pcbData || (bExpand && !pszBuffer)) return ERROR_INVALID_PARAMETER;
  const DWORD cbCapacity = *pcbData;
  DWORD dwType = REG_NONE;  // REG_SZ and REG_EXPAND_SZ alike: expansion is the caller's choice
  LONG nResult = QueryValue(pszName, &dwType, reinterpret_cast<BYTE*>(pszBuffer), pcbData, bCreate);
  if (nResult != ERROR_SUCCESS || !bExpand) return nResult;

  // The data need not end with a NUL nor hold whole characters: read no further
  // than what came back.
  DWORD cbData = *pcbData < cbCapacity ? *pcbData : cbCapacity;
  CWideString strText = TextOfData(pszBuffer, cbData);
  strText.ExpandEnvironment();
  const DWORD cchExpanded = static_cast<DWORD>(strText.Length());
  if (cbCapacity < sizeof(wchar_t)) {
    // Not even room for the NUL: write nothing and tell the size it would take.
    *pcbData = (cchExpanded + 1) * sizeof(wchar_t);
    return ERROR_MORE_DATA;
  }
  DWORD cchCopy = cbCapacity / sizeof(wchar_t) - 1;
  if (cchExpanded < cchCopy) cchCopy = cchExpanded;
  if (cchCopy) wmemcpy(pszBuffer, strText.GetText(), cchCopy);
  pszBuffer[cchCopy] = L'\0';
  *pcbData = (cchCopy + 1) * sizeof(wchar_t);
  return ERROR_SUCCESS;
}

LONG CRegistryKey::GetString(const wchar_t* pszName, CWideString& strOut, BOOL bCreate,
                             BOOL bExpand) {
  // The raw text is read whole and expanded here, so an expansion longer than the
  // stored value is never cut to the buffer the value needed.
  DWORD cbData = 1024;
  auto buffer = AllocTextBuffer(cbData);
  LONG nResult = QueryString(pszName, buffer.get(), &cbData, bCreate, FALSE);
  if (nResult == ERROR_MORE_DATA) {
    buffer = AllocTextBuffer(cbData);
    nResult = QueryString(pszName, buffer.get(), &cbData, bCreate, FALSE);
  }
  if (nResult != ERROR_SUCCESS) return nResult;
  CWideString strText = TextOfData(buffer.get(), cbData);
  if (bExpand) {
    strText.ExpandEnvironment();
    strText.MakeNonNull();  // an empty result reads as an empty text, as without expansion
  }
  strOut = std::move(strText);
  return ERROR_SUCCESS;
}

LONG CRegistryKey::GetDWord(const wchar_t* pszName, DWORD* pdwValue, BOOL bCreate) {
  if (!pdwValue) return ERROR_INVALID_PARAMETER;
  // Read into a zeroed local so a value shorter than 4 bytes never leaves stale
  // bytes behind, and a failed read leaves *pdwValue alone.
  DWORD dwValue = 0;
  DWORD dwType = REG_DWORD;
  DWORD cbData = sizeof(dwValue);
  LONG nResult = QueryValue(pszName, &dwType, reinterpret_cast<BYTE*>(&dwValue), &cbData, bCreate);
  if (nResult == ERROR_SUCCESS) *pdwValue = dwValue;
  return nResult;
}

bool CRegistryKey::ValueExists(const wchar_t* pszName) {
  if (!m_hKey) Open(TRUE);
  if (!m_hKey) return false;
  DWORD dwType = 0;
  DWORD cbData = 0;
  return RegQueryValueExW(m_hKey, pszName, nullptr, &dwType, nullptr, &cbData) == ERROR_SUCCESS;
}
