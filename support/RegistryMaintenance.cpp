// CRegistryKey's maintenance: writing and deleting values, deleting a key tree,
// enumeration, key information and security, change notification, hive files and
// re-targeting an existing object.

#include <cstdlib>
#include <cwchar>
#include <new>
#include <utility>
#include <vector>

#include "support/OutOfMemory.h"
#include "support/RegistryKey.h"
#include "support/UniqueHandle.h"

namespace {

// The hive file name used when none is given.
const wchar_t kDefaultHiveFile[] = L"TQKey";

// Room for the longest name the system allows (255 characters); the registry of
// some platforms takes longer ones, which ReadSubKeyName then reads on a retry.
constexpr DWORD kNameBufferLength = 256;

CWideBuffer AllocNameBuffer(DWORD cch) {
  CWideBuffer buffer(static_cast<wchar_t*>(CheckedCalloc(cch, sizeof(wchar_t))));
  if (!buffer) ThrowOutOfMemory();
  return buffer;
}

// The name of hKey's sub-key at dwIndex, whatever its length; strName is changed
// only on success.
LONG ReadSubKeyName(HKEY hKey, DWORD dwIndex, CWideString& strName) {
  wchar_t szName[kNameBufferLength];
  DWORD cch = kNameBufferLength;
  LONG nResult = RegEnumKeyExW(hKey, dwIndex, szName, &cch, nullptr, nullptr, nullptr, nullptr);
  if (nResult == ERROR_SUCCESS) {
    strName = CWideString(szName, static_cast<int>(cch));
    return ERROR_SUCCESS;
  }
  if (nResult != ERROR_MORE_DATA) return nResult;
  // The enumeration does not say how long the name is: ask the key for its longest.
  DWORD cchLongest = 0;
  nResult = RegQueryInfoKeyW(hKey, nullptr, nullptr, nullptr, nullptr, &cchLongest, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr);
  if (nResult != ERROR_SUCCESS) return nResult;
  cch = cchLongest + 1;
  CWideBuffer buffer = AllocNameBuffer(cch);
  nResult = RegEnumKeyExW(hKey, dwIndex, buffer.get(), &cch, nullptr, nullptr, nullptr, nullptr);
  if (nResult == ERROR_SUCCESS) strName = CWideString(buffer.get(), static_cast<int>(cch));
  return nResult;
}

}  // namespace

LONG CRegistryKey::EnsureOpen() {
  return m_hKey ? ERROR_SUCCESS : Open(TRUE);
}

// ---- Values ----

LONG CRegistryKey::WriteValue(const wchar_t* pszName, DWORD dwType, const void* pData, DWORD cbData,
                              BOOL bOverwrite) {
  LONG nResult = EnsureOpen();
  if (nResult != ERROR_SUCCESS) return nResult;
  if (!bOverwrite && ValueExists(pszName)) return ERROR_SUCCESS;
  return RegSetValueExW(m_hKey, pszName, 0, dwType, static_cast<const BYTE*>(pData), cbData);
}

LONG CRegistryKey::SetDWord(const wchar_t* pszName, DWORD dwValue, BOOL bOverwrite) {
  return WriteValue(pszName, REG_DWORD, &dwValue, sizeof(dwValue), bOverwrite);
}

LONG CRegistryKey::SetString(const wchar_t* pszName, const wchar_t* pszText, BOOL bOverwrite) {
  if (!pszText) pszText = L"";
  const DWORD cbText = static_cast<DWORD>((wcslen(pszText) + 1) * sizeof(wchar_t));
  return WriteValue(pszName, REG_SZ, pszText, cbText, bOverwrite);
}

LONG CRegistryKey::SetString(const wchar_t* pszName, const CWideString& strText, BOOL bOverwrite) {
  if (strText.IsNull()) return SetString(pszName, L"", bOverwrite);
  // The length prefix counts, so embedded NULs are written too.
  const DWORD cbText = static_cast<DWORD>((strText.Length() + 1) * sizeof(wchar_t));
  return WriteValue(pszName, REG_SZ, strText.GetText(), cbText, bOverwrite);
}

LONG CRegistryKey::SetBinary(const wchar_t* pszName, const void* pData, DWORD cbData, BOOL bOverwrite) {
  return WriteValue(pszName, REG_BINARY, pData, cbData, bOverwrite);
}

LONG CRegistryKey::DeleteValue(const wchar_t* pszName) {
  if (EnsureOpen() != ERROR_SUCCESS) return ERROR_INVALID_HANDLE;
  return RegDeleteValueW(m_hKey, pszName);
}

// ---- Keys ----

LONG CRegistryKey::DeleteKey() {
  if (!m_hRoot || m_strPath.Length() == 0) return ERROR_SUCCESS;
  LONG nResult = Open(TRUE);
  if (nResult != ERROR_SUCCESS) return nResult;
  if (m_hKey == m_hRoot) return ERROR_SUCCESS;  // never the root itself
  Close();
  nResult = RegDeleteKeyW(m_hRoot, m_strPath.GetText());
  if (nResult == ERROR_SUCCESS) return ERROR_SUCCESS;
  // A key with sub-keys cannot be deleted directly.
  return DeleteTree();
}

// Deletes root + path with all its sub-keys, deepest first. The walk keeps one open
// handle per level and opens and deletes each child relative to its parent, so
// neither the depth of the tree (no recursion) nor the length of the full path
// (which past 32767 characters no registry call can name) limits it.
LONG CRegistryKey::DeleteTree() {
  struct Level {
    CKeyHandle hKey;
    CWideString strName;  // relative to the level above; the whole path for the first
  };
  std::vector<Level> levels;
  auto push = [&levels](Level&& level) {
    try {
      levels.push_back(std::move(level));
    } catch (const std::bad_alloc&) {
      ThrowOutOfMemory();
    }
  };

  Level top;
  top.strName = m_strPath;
  LONG nResult = RegOpenKeyExW(m_hRoot, m_strPath.GetText(), 0, m_samDesired, top.hKey.Receive());
  if (nResult != ERROR_SUCCESS) return RegDeleteKeyW(m_hRoot, m_strPath.GetText());
  push(std::move(top));

  // nResult: the outcome of the last step at the innermost level. While it is 0 the
  // level's first sub-key is taken next (each pass deletes the one before it).
  for (;;) {
    Level& level = levels.back();
    if (nResult == ERROR_SUCCESS) {
      Level child;
      nResult = ReadSubKeyName(level.hKey.Get(), 0, child.strName);
      if (nResult == ERROR_SUCCESS) {
        nResult = RegOpenKeyExW(level.hKey.Get(), child.strName.GetText(), 0, m_samDesired,
                                child.hKey.Receive());
        if (nResult == ERROR_SUCCESS) {
          push(std::move(child));
          continue;
        }
        // A child that cannot be opened may still be deleted when it has no sub-keys.
        nResult = RegDeleteKeyW(level.hKey.Get(), child.strName.GetText());
        continue;
      }
    }
    // This level is done (no sub-keys left, or one could not be deleted): delete it
    // from its parent, whose loop goes on only if that worked.
    CWideString strName = std::move(level.strName);
    levels.pop_back();
    if (levels.empty()) return RegDeleteKeyW(m_hRoot, strName.GetText());
    nResult = RegDeleteKeyW(levels.back().hKey.Get(), strName.GetText());
  }
}

LONG CRegistryKey::Flush() {
  if (!m_hKey) return ERROR_INVALID_HANDLE;
  return RegFlushKey(m_hKey);
}

LONG CRegistryKey::NotifyChange(BOOL bWatchSubtree, DWORD dwFilter, HANDLE hEvent, BOOL bAsynchronous) {
  LONG nResult = EnsureOpen();
  if (nResult != ERROR_SUCCESS) return nResult;
  return RegNotifyChangeKeyValue(m_hKey, bWatchSubtree, dwFilter, hEvent, bAsynchronous);
}

LONG CRegistryKey::SetSecurity(SECURITY_INFORMATION securityInfo, PSECURITY_DESCRIPTOR pSecurity) {
  LONG nResult = EnsureOpen();
  if (nResult != ERROR_SUCCESS) return nResult;
  return RegSetKeySecurity(m_hKey, securityInfo, pSecurity);
}

LONG CRegistryKey::GetSecurity(SECURITY_INFORMATION securityInfo, PSECURITY_DESCRIPTOR pSecurity,
                               DWORD* pcbSecurity) {
  if (!pcbSecurity) return ERROR_INVALID_PARAMETER;
  LONG nResult = EnsureOpen();
  if (nResult != ERROR_SUCCESS) return nResult;
  return RegGetKeySecurity(m_hKey, securityInfo, pSecurity, pcbSecurity);
}

LONG CRegistryKey::QueryInfo(wchar_t* pszClass, DWORD* pcchClass, DWORD* pcSubKeys, DWORD* pcchMaxSubKey,
                             DWORD* pcchMaxClass, DWORD* pcValues, DWORD* pcchMaxValueName,
                             DWORD* pcbMaxValueData, DWORD* pcbSecurity, FILETIME* pftLastWrite) {
  LONG nResult = EnsureOpen();
  if (nResult != ERROR_SUCCESS) return nResult;
  return RegQueryInfoKeyW(m_hKey, pszClass, pcchClass, nullptr, pcSubKeys, pcchMaxSubKey, pcchMaxClass,
                          pcValues, pcchMaxValueName, pcbMaxValueData, pcbSecurity, pftLastWrite);
}

LONG CRegistryKey::GetSubKeyCount() {
  DWORD cSubKeys = 0;
  if (QueryInfo(nullptr, nullptr, &cSubKeys, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                nullptr) != ERROR_SUCCESS)
    return -1;
  return static_cast<LONG>(cSubKeys);
}

LONG CRegistryKey::GetValueCount() {
  DWORD cValues = 0;
  if (QueryInfo(nullptr, nullptr, nullptr, nullptr, nullptr, &cValues, nullptr, nullptr, nullptr,
                nullptr) != ERROR_SUCCESS)
    return -1;
  return static_cast<LONG>(cValues);
}

// ---- Enumeration ----

LONG CRegistryKey::ResetEnum() {
  m_nSubKeyIndex = 0;
  m_nValueIndex = 0;
  return ERROR_SUCCESS;
}

LONG CRegistryKey::EnumSubKeyName(wchar_t* pszName, DWORD cchName) {
  const DWORD dwIndex = static_cast<DWORD>(m_nSubKeyIndex++);
  LONG nResult = EnsureOpen();
  if (nResult != ERROR_SUCCESS) return nResult;
  return RegEnumKeyExW(m_hKey, dwIndex, pszName, &cchName, nullptr, nullptr, nullptr, nullptr);
}

LONG CRegistryKey::EnumSubKey(CWideString& strName) {
  const DWORD dwIndex = static_cast<DWORD>(m_nSubKeyIndex++);
  LONG nResult = EnsureOpen();
  if (nResult != ERROR_SUCCESS) return nResult;
  return ReadSubKeyName(m_hKey, dwIndex, strName);
}

LONG CRegistryKey::EnumSubKey(CWideString& strName, LONG nStartIndex) {
  m_nSubKeyIndex = nStartIndex;
  return EnumSubKey(strName);
}

LONG CRegistryKey::EnumValue(wchar_t* pszName, DWORD* pcchName, DWORD* pdwType, BYTE* pData,
                             DWORD* pcbData) {
  const DWORD dwIndex = static_cast<DWORD>(m_nValueIndex++);
  if (!pcchName) return ERROR_INVALID_PARAMETER;
  LONG nResult = EnsureOpen();
  if (nResult != ERROR_SUCCESS) return nResult;
  return RegEnumValueW(m_hKey, dwIndex, pszName, pcchName, nullptr, pdwType, pData, pcbData);
}

LONG CRegistryKey::EnumValueAt(DWORD dwIndex, wchar_t* pszName, DWORD* pcchName, DWORD* pdwType) {
  if (!pcchName) return ERROR_INVALID_PARAMETER;
  LONG nResult = EnsureOpen();
  if (nResult != ERROR_SUCCESS) return nResult;
  return RegEnumValueW(m_hKey, dwIndex, pszName, pcchName, nullptr, pdwType, nullptr, nullptr);
}

// ---- Hive files ----

LONG CRegistryKey::SaveHive(const wchar_t* pszFile) {
  return SaveHive(pszFile, nullptr);
}

LONG CRegistryKey::SaveHive(const wchar_t* pszFile, LPSECURITY_ATTRIBUTES pSecurity) {
  if (!pszFile) pszFile = kDefaultHiveFile;
  if (!m_hKey || !*pszFile) return ERROR_INVALID_HANDLE;
  return RegSaveKeyW(m_hKey, pszFile, pSecurity);
}

LONG CRegistryKey::LoadHive(const wchar_t* pszFile) {
  if (!pszFile) pszFile = kDefaultHiveFile;
  if (!m_hRoot || m_strPath.Length() == 0) return ERROR_INVALID_HANDLE;
  return RegLoadKeyW(m_hRoot, m_strPath.GetText(), pszFile);
}

LONG CRegistryKey::ReplaceHive(const wchar_t* pszNewFile, const wchar_t* pszOldFile) {
  if (!m_hKey || !pszNewFile || !*pszNewFile) return ERROR_INVALID_HANDLE;
  return RegReplaceKeyW(m_hKey, nullptr, pszNewFile, pszOldFile);
}

LONG CRegistryKey::RestoreHive(const wchar_t* pszFile) {
  if (!m_hKey || !pszFile || !*pszFile) return ERROR_INVALID_HANDLE;
  return RegRestoreKeyW(m_hKey, pszFile, 0);
}

LONG CRegistryKey::UnloadHive() {
  if (!m_hRoot || m_strPath.Length() == 0) return ERROR_INVALID_HANDLE;
  // A handle of our own inside the hive would keep it mounted.
  if (m_hKey) Close();
  return RegUnLoadKeyW(m_hRoot, m_strPath.GetText());
}

// ---- Re-targeting ----

void CRegistryKey::Retarget() {
  if (m_hKey) Close();
  // The reset forgets the ownership, so an owned root is released here or never.
  if (m_bOwnsRoot && m_hRoot) RegCloseKey(m_hRoot);
  ResetToDefaults();
}

CRegistryKey& CRegistryKey::operator=(const CRegistryKey& other) {
  if (this == &other) {
    // Re-targeting onto itself keeps root, path and root ownership.
    if (m_hKey) Close();
    m_nSubKeyIndex = 0;
    m_nValueIndex = 0;
  } else {
    // Copied before anything is released: a failed copy leaves this object as it was.
    CWideString strPath(other.m_strPath);
    const HKEY hRoot = other.m_hRoot;
    Retarget();
    m_hRoot = hRoot;
    m_strPath = std::move(strPath);
  }
  Open(TRUE);
  return *this;
}

void CRegistryKey::Attach(HKEY hKey) {
  if (hKey == m_hKey) m_hKey = nullptr;  // adopting the handle it holds: keep it open
  Retarget();
  m_hKey = hKey;
}

CRegistryKey& CRegistryKey::operator=(const wchar_t* pszPath) {
  SetPath(pszPath, TRUE);
  return *this;
}
