#pragma once
// CRegistryKey: a root key plus a sub-path below it, with at most one open handle.
// Every open asks for m_samDesired (read and write by default). Operations return
// Win32 error numbers: 0 success, 6 (ERROR_INVALID_HANDLE) when the object itself
// refuses (no root, empty path, refused close), otherwise the registry's own
// number. Only allocation failure is thrown (the long value E_OUTOFMEMORY).

#include <windows.h>

#include "support/WideString.h"

class CCountedString;

class CRegistryKey {
public:
  // The form the program uses: root and path, opened (or created) only if asked.
  CRegistryKey(HKEY hRoot, const wchar_t* pszPath, BOOL bOpen = FALSE);
  explicit CRegistryKey(BOOL bOpen = FALSE);
  // With an access mask and, when bApply is set, the key opened (created when
  // missing) and the given security applied to it.
  CRegistryKey(HKEY hRoot, const wchar_t* pszPath, REGSAM samDesired,
               SECURITY_INFORMATION securityInfo, PSECURITY_DESCRIPTOR pSecurity, BOOL bApply);
  CRegistryKey(const wchar_t* pszPath, REGSAM samDesired,
               SECURITY_INFORMATION securityInfo, PSECURITY_DESCRIPTOR pSecurity, BOOL bApply);
  // Root and path of another key; never its handle or root ownership.
  CRegistryKey(const CRegistryKey& other, BOOL bOpen);
  // Adopts an open handle: the object closes it.
  explicit CRegistryKey(HKEY hKey);
  virtual ~CRegistryKey();

  CRegistryKey(const CRegistryKey&) = delete;

  LONG Open(BOOL bCreate = FALSE);
  LONG Create();
  LONG Close();
  bool IsOpen() const noexcept { return m_hKey != nullptr; }

  // Path changes close the key first; with bOpen the new key is opened, created
  // when missing.
  void SetPath(const wchar_t* pszPath, BOOL bOpen = FALSE);
  void AppendPath(const wchar_t* pszComponent, BOOL bOpen = FALSE);
  void MoveToParent();

  // Reads open the key themselves when it is closed (with bCreate) and leave it open.
  // *pcbData: in the capacity, out the size of the data (the needed size on 234).
  LONG QueryValue(const wchar_t* pszName, DWORD* pdwType, BYTE* pData, DWORD* pcbData,
                  BOOL bCreate = FALSE);
  // *pcbData: in the capacity in bytes, out the bytes used. With bExpand the text
  // is expanded and truncated to the capacity; a capacity below one character
  // then writes nothing and returns 234 with the size needed.
  LONG QueryString(const wchar_t* pszName, wchar_t* pszBuffer, DWORD* pcbData,
                   BOOL bCreate = FALSE, BOOL bExpand = FALSE);
  // Any length; strOut is changed only on success.
  LONG GetString(const wchar_t* pszName, CWideString& strOut, BOOL bCreate = FALSE,
                 BOOL bExpand = FALSE);
  LONG GetDWord(const wchar_t* pszName, DWORD* pdwValue, BOOL bCreate = FALSE);
  // QueryString into strOut's own buffer, grown once when the value needs more. A
  // failed read leaves strOut empty; ERROR_OUTOFMEMORY when no buffer could be had.
  LONG QueryCountedString(const wchar_t* pszName, CCountedString& strOut, BOOL bCreate = FALSE,
                          BOOL bExpand = FALSE);
  bool ValueExists(const wchar_t* pszName);

  static void ExpandEnvironment(CWideString& strText) { strText.ExpandEnvironment(); }

  // Maintenance (RegistryMaintenance.cpp). Unless noted, an operation that needs the
  // key opens it when closed, with the create fallback, and returns that open's
  // failure.

  // Writes; with bOverwrite clear an existing value is left alone and 0 returned.
  // A null text is written as an empty one.
  LONG SetDWord(const wchar_t* pszName, DWORD dwValue, BOOL bOverwrite = TRUE);
  LONG SetString(const wchar_t* pszName, const wchar_t* pszText, BOOL bOverwrite = TRUE);
  LONG SetString(const wchar_t* pszName, const CWideString& strText, BOOL bOverwrite = TRUE);
  LONG SetBinary(const wchar_t* pszName, const void* pData, DWORD cbData, BOOL bOverwrite = TRUE);
  // 6 when the key cannot be opened, whatever the open reported.
  LONG DeleteValue(const wchar_t* pszName);

  // Deletes root + path with everything below it, deepest first. Deletes nothing
  // and returns 0 without a root or a path.
  LONG DeleteKey();
  // 6 when the key is not open: a flush never opens (nor creates) the key.
  LONG Flush();
  LONG NotifyChange(BOOL bWatchSubtree, DWORD dwFilter, HANDLE hEvent, BOOL bAsynchronous);
  // Callers may ignore the result; it tells, for instance, that the key was opened
  // without the WRITE_DAC or WRITE_OWNER access a change needs.
  LONG SetSecurity(SECURITY_INFORMATION securityInfo, PSECURITY_DESCRIPTOR pSecurity);
  LONG GetSecurity(SECURITY_INFORMATION securityInfo, PSECURITY_DESCRIPTOR pSecurity, DWORD* pcbSecurity);
  // Every out-pointer may be null.
  LONG QueryInfo(wchar_t* pszClass, DWORD* pcchClass, DWORD* pcSubKeys, DWORD* pcchMaxSubKey,
                 DWORD* pcchMaxClass, DWORD* pcValues, DWORD* pcchMaxValueName,
                 DWORD* pcbMaxValueData, DWORD* pcbSecurity, FILETIME* pftLastWrite);
  LONG GetSubKeyCount();  // -1 when the key cannot be queried
  LONG GetValueCount();   // -1 when the key cannot be queried

  // Enumeration: every call advances its cursor by one, whether or not it succeeds;
  // 259 (ERROR_NO_MORE_ITEMS) past the end.
  LONG ResetEnum();
  void ResetValueEnum() noexcept { m_nValueIndex = 0; }
  LONG EnumSubKeyName(wchar_t* pszName, DWORD cchName);
  // A name of any length; strName is changed only on success.
  LONG EnumSubKey(CWideString& strName);
  LONG EnumSubKey(CWideString& strName, LONG nStartIndex);
  LONG EnumValue(wchar_t* pszName, DWORD* pcchName, DWORD* pdwType, BYTE* pData, DWORD* pcbData);
  // At a given index, without data; the value cursor stays.
  LONG EnumValueAt(DWORD dwIndex, wchar_t* pszName, DWORD* pcchName, DWORD* pdwType);
  LONG GetSubKeyIndex() const noexcept { return m_nSubKeyIndex; }
  LONG GetValueIndex() const noexcept { return m_nValueIndex; }

  // Hive files. A null file name means "TQKey"; an empty one gives 6. Saving,
  // loading and unloading need the backup and restore privileges enabled in the
  // caller's token. Save, replace and restore work on the open key and give 6
  // when it is closed (they never open it); load and unload mount and unmount
  // root + path.
  LONG SaveHive(const wchar_t* pszFile = nullptr);
  LONG SaveHive(const wchar_t* pszFile, LPSECURITY_ATTRIBUTES pSecurity);
  LONG LoadHive(const wchar_t* pszFile = nullptr);
  LONG ReplaceHive(const wchar_t* pszNewFile, const wchar_t* pszOldFile);
  LONG RestoreHive(const wchar_t* pszFile);
  LONG UnloadHive();

  // Re-targeting: closes, resets every member (an owned root is closed first) and
  // takes the other key's root and path (never its handle), then opens with the
  // create fallback.
  CRegistryKey& operator=(const CRegistryKey& other);
  // Closes and adopts an open handle on the default root and path.
  void Attach(HKEY hKey);
  // SetPath with the open flag set.
  CRegistryKey& operator=(const wchar_t* pszPath);

  const CWideString& GetPath() const noexcept { return m_strPath; }
  HKEY GetRoot() const noexcept { return m_hRoot; }
  HKEY GetHandle() const noexcept { return m_hKey; }

protected:
  // The library's reset step: every member to its default. Closes nothing.
  void ResetToDefaults();
  // Closes the open key and an owned root, then resets: what re-targeting starts with.
  void Retarget();
  // Opens the key when it is closed (with the create fallback); the open's result.
  LONG EnsureOpen();
  // bOverwrite clear: an existing value stays and counts as written.
  LONG WriteValue(const wchar_t* pszName, DWORD dwType, const void* pData, DWORD cbData, BOOL bOverwrite);
  LONG DeleteTree();

  // A remote connection hands its root to the key it makes.
  friend LONG ConnectRemoteRegistry(const wchar_t* pszMachine, HKEY hPredefined, CRegistryKey** ppKey);

  BOOL m_bOwnsRoot = FALSE;          // only a remote connection sets it
  HKEY m_hRoot = HKEY_LOCAL_MACHINE;
  HKEY m_hKey = nullptr;
  CWideString m_strPath;
  REGSAM m_samDesired = KEY_READ | KEY_WRITE;
  LONG m_nSubKeyIndex = 0;
  LONG m_nValueIndex = 0;
};
