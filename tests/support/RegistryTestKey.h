#pragma once
// Test helpers for the registry: a key of the test's own, HKLM\Software\DelvoraTest\<unique>,
// removed with everything below it when the helper goes, so runs never see each
// other's leftovers; and the backup and restore privileges that hive files need.

#include <windows.h>

#include <string>

#include "support/UniqueHandle.h"

class CRegistryTestKey {
public:
  CRegistryTestKey() {
    static int s_nSerial = 0;
    m_strPath = L"Software\\DelvoraTest\\maintenance-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(++s_nSerial);
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, m_strPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    m_hKey.Receive(), nullptr);
  }
  ~CRegistryTestKey() {
    m_hKey.Close();
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, m_strPath.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\DelvoraTest");  // only when now empty
  }
  CRegistryTestKey(const CRegistryTestKey&) = delete;
  CRegistryTestKey& operator=(const CRegistryTestKey&) = delete;

  HKEY Handle() const noexcept { return m_hKey.Get(); }
  const std::wstring& FullPath() const noexcept { return m_strPath; }
  // The full path below HKLM of a sub-key.
  std::wstring Path(const wchar_t* pszSub) const { return m_strPath + L"\\" + pszSub; }

  static bool KeyExists(HKEY hRoot, const std::wstring& strPath) {
    CKeyHandle hKey;
    return RegOpenKeyExW(hRoot, strPath.c_str(), 0, KEY_READ, hKey.Receive()) == ERROR_SUCCESS;
  }
  bool KeyExists(const std::wstring& strPath) const { return KeyExists(HKEY_LOCAL_MACHINE, strPath); }

  // A file name in the temporary folder, unique to this key.
  std::wstring TempFile(const wchar_t* pszName) const {
    wchar_t szTemp[MAX_PATH];
    GetTempPathW(MAX_PATH, szTemp);
    const std::wstring strLeaf = m_strPath.substr(m_strPath.rfind(L'\\') + 1);
    return std::wstring(szTemp) + strLeaf + L"-" + pszName;
  }

private:
  std::wstring m_strPath;
  CKeyHandle m_hKey;
};

// Enables the backup and restore privileges of the process's token while it lives.
class CBackupPrivileges {
public:
  CBackupPrivileges() {
    HANDLE hToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &hToken)) return;
    m_hToken.Attach(hToken);
    m_bEnabled = Adjust(SE_PRIVILEGE_ENABLED);
  }
  ~CBackupPrivileges() {
    if (m_bEnabled) Adjust(0);
  }
  CBackupPrivileges(const CBackupPrivileges&) = delete;
  CBackupPrivileges& operator=(const CBackupPrivileges&) = delete;

  bool Enabled() const noexcept { return m_bEnabled; }

private:
  bool Adjust(DWORD dwAttributes) {
    struct {
      DWORD dwCount;
      LUID_AND_ATTRIBUTES privileges[2];
    } state = {};
    state.dwCount = 2;
    if (!LookupPrivilegeValueW(nullptr, L"SeBackupPrivilege", &state.privileges[0].Luid) ||
        !LookupPrivilegeValueW(nullptr, L"SeRestorePrivilege", &state.privileges[1].Luid))
      return false;
    state.privileges[0].Attributes = state.privileges[1].Attributes = dwAttributes;
    return AdjustTokenPrivileges(m_hToken.Get(), FALSE, reinterpret_cast<TOKEN_PRIVILEGES*>(&state), 0,
                                 nullptr, nullptr) &&
           GetLastError() == ERROR_SUCCESS;
  }

  CFileHandle m_hToken;
  bool m_bEnabled = false;
};
