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
  CRegistryKey& operator=(const CRegistryKey&) = delete;

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

  const CWideString& GetPath() const noexcept { return m_strPath; }
  HKEY GetRoot() const noexcept { return m_hRoot; }
  HKEY GetHandle() const noexcept { return m_hKey; }

protected:
  // The library's reset step: every member to its default. Closes nothing.
  void ResetToDefaults();

  BOOL m_bOwnsRoot = FALSE;          // only a remote connection sets it
  HKEY m_hRoot = HKEY_LOCAL_MACHINE;
  HKEY m_hKey = nullptr;
  CWideString m_strPath;
  REGSAM m_samDesired = KEY_READ | KEY_WRITE;
  LONG m_nSubKeyIndex = 0;
  LONG m_nValueIndex = 0;
};
