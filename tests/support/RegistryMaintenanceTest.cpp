#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/RegistryKey.h"
#include "support/RemoteRegistry.h"
#include "support/UniqueHandle.h"
#include "tests/support/MemoryEventLog.h"

namespace {

bool KeyExists(HKEY hRoot, const std::wstring& strPath) {
  CKeyHandle hKey;
  return RegOpenKeyExW(hRoot, strPath.c_str(), 0, KEY_READ, hKey.Receive()) == ERROR_SUCCESS;
}

bool HandleIsOpen(HKEY hKey) {
  return RegQueryInfoKeyW(hKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                          nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

std::wstring TextOf(const CWideString& str) {
  return str.IsNull() ? std::wstring() : std::wstring(str.GetText(), str.Length());
}

// Each test works below a key of its own, removed with everything below it, and
// so is the maker's key when the library's event reporting created it.
class RegistryMaintenanceTest : public testing::Test {
protected:
  void SetUp() override {
    m_strRoot = L"Software\\DelvoraTest\\maintenance-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount64());
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, m_strRoot.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, m_hRoot.Receive(), nullptr));
  }
  void TearDown() override {
    m_hRoot.Close();
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, m_strRoot.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\DelvoraTest");  // only when now empty
    if (!m_bMakerKeyExisted) RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Tarquel");
  }
  std::wstring Path(const wchar_t* pszSub) const { return m_strRoot + L"\\" + pszSub; }
  bool Exists(const wchar_t* pszSub) const { return KeyExists(HKEY_LOCAL_MACHINE, Path(pszSub)); }

  const bool m_bMakerKeyExisted = KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Tarquel");
  std::wstring m_strRoot;
  CKeyHandle m_hRoot;
};

TEST_F(RegistryMaintenanceTest, ValueWritesAndDeletes) {
  CRegistryKey key(HKEY_LOCAL_MACHINE, Path(L"values").c_str());
  EXPECT_EQ(ERROR_SUCCESS, key.SetDWord(L"n", 1, FALSE)) << "creates key and value";
  EXPECT_EQ(ERROR_SUCCESS, key.SetDWord(L"n", 2, FALSE));
  DWORD dw = 0;
  EXPECT_EQ(ERROR_SUCCESS, key.GetDWord(L"n", &dw));
  EXPECT_EQ(1u, dw) << "without overwrite the stored number stays";
  EXPECT_EQ(ERROR_SUCCESS, key.SetDWord(L"n", 2, TRUE));
  EXPECT_EQ(ERROR_SUCCESS, key.GetDWord(L"n", &dw));
  EXPECT_EQ(2u, dw);

  // Null texts are written as empty strings with their NUL.
  EXPECT_EQ(ERROR_SUCCESS, key.SetString(L"null", static_cast<const wchar_t*>(nullptr)));
  EXPECT_EQ(ERROR_SUCCESS, key.SetString(L"nullw", CWideString()));
  DWORD dwType = 0, cb = 8;
  BYTE abData[8];
  EXPECT_EQ(ERROR_SUCCESS, key.QueryValue(L"nullw", &dwType, abData, &cb));
  EXPECT_EQ(2u, cb);
  EXPECT_EQ(ERROR_SUCCESS, key.DeleteValue(L"null"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.DeleteValue(L"null"));

  CRegistryKey keyNoPath(HKEY_LOCAL_MACHINE, nullptr);
  EXPECT_EQ(ERROR_INVALID_HANDLE, keyNoPath.DeleteValue(L"b"));
  EXPECT_EQ(-1, keyNoPath.GetSubKeyCount());
}

TEST_F(RegistryMaintenanceTest, DeleteKeyRemovesWholeTreesAndNeverTheRoot) {
  CRegistryKey key(HKEY_LOCAL_MACHINE, Path(L"tree\\a\\a1").c_str(), TRUE);
  key.SetDWord(L"v", 1);
  key.SetPath(Path(L"tree\\a\\a2").c_str(), TRUE);
  key.SetPath(Path(L"tree\\b").c_str(), TRUE);
  key.SetPath(Path(L"sibling").c_str(), TRUE);
  key.SetPath(Path(L"tree").c_str());
  EXPECT_EQ(ERROR_SUCCESS, key.DeleteKey());
  EXPECT_FALSE(Exists(L"tree"));
  EXPECT_TRUE(Exists(L"sibling"));

  CRegistryKey keyNoPath(m_hRoot.Get(), nullptr);
  EXPECT_EQ(ERROR_SUCCESS, keyNoPath.DeleteKey());
  CRegistryKey keyNoRoot(static_cast<HKEY>(nullptr), Path(L"sibling").c_str());
  EXPECT_EQ(ERROR_SUCCESS, keyNoRoot.DeleteKey());
  EXPECT_TRUE(Exists(L"sibling"));

  // 300 levels of 120 characters: a full path no registry call can name, and a
  // depth recursion should not be trusted with; at the bottom, a name longer than
  // 255 characters where the registry takes one.
  CKeyHandle hLevel;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(m_hRoot.Get(), L"deep", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                           hLevel.Receive(), nullptr));
  for (int i = 0; i <= 300; ++i) {
    CKeyHandle hChild;
    const std::wstring strName(i < 300 ? 120 : 256, L'd');
    RegCreateKeyExW(hLevel.Get(), strName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, hChild.Receive(),
                    nullptr);
    if (i < 300) {
      ASSERT_TRUE(hChild) << "level " << i;
    }
    hLevel = std::move(hChild);
  }
  hLevel.Close();
  key.SetPath(Path(L"deep").c_str());
  EXPECT_EQ(ERROR_SUCCESS, key.DeleteKey());
  EXPECT_FALSE(Exists(L"deep"));
}

TEST_F(RegistryMaintenanceTest, EnumerationCursorsAdvanceOnEveryCall) {
  CRegistryKey key(HKEY_LOCAL_MACHINE, Path(L"enum\\one").c_str(), TRUE);
  key.SetPath(Path(L"enum\\two").c_str(), TRUE);
  key.SetPath(Path(L"enum").c_str());
  CWideString str1, str2, str3(L"kept");
  EXPECT_EQ(ERROR_SUCCESS, key.EnumSubKey(str1));
  EXPECT_EQ(ERROR_SUCCESS, key.EnumSubKey(str2));
  EXPECT_EQ(ERROR_NO_MORE_ITEMS, key.EnumSubKey(str3));
  EXPECT_EQ(3, key.GetSubKeyIndex());
  EXPECT_EQ(L"one", TextOf(str1));
  EXPECT_EQ(L"two", TextOf(str2));
  EXPECT_EQ(L"kept", TextOf(str3));
  EXPECT_EQ(ERROR_SUCCESS, key.EnumSubKey(str3, 1));
  EXPECT_EQ(L"two", TextOf(str3));
  wchar_t szName[8];
  key.ResetEnum();
  EXPECT_EQ(ERROR_MORE_DATA, key.EnumSubKeyName(szName, 2));
  EXPECT_EQ(ERROR_SUCCESS, key.EnumSubKeyName(szName, 8)) << "a failed call moves on too";
  EXPECT_STREQ(L"two", szName);

  // A name longer than 255 characters, where the registry takes one, comes whole.
  const std::wstring strLong(256, L'L');
  CKeyHandle hLong;
  if (RegCreateKeyExW(key.GetHandle(), strLong.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      hLong.Receive(), nullptr) == ERROR_SUCCESS) {
    EXPECT_EQ(ERROR_SUCCESS, key.EnumSubKey(str3, 0));
    EXPECT_EQ(strLong, TextOf(str3));
  }

  key.SetDWord(L"a", 1);
  key.SetDWord(L"b", 2);
  DWORD cch = 8, dwType = 0;
  EXPECT_EQ(ERROR_SUCCESS, key.EnumValueAt(1, szName, &cch, &dwType));
  EXPECT_STREQ(L"b", szName);
  EXPECT_EQ(0, key.GetValueIndex()) << "an indexed read leaves the cursor";
  for (LONG nExpected : {ERROR_SUCCESS, ERROR_SUCCESS, ERROR_NO_MORE_ITEMS}) {
    cch = 8;
    EXPECT_EQ(nExpected, key.EnumValue(szName, &cch, &dwType, nullptr, nullptr));
  }
  EXPECT_STREQ(L"b", szName);
  EXPECT_EQ(3, key.GetValueIndex());
}

TEST_F(RegistryMaintenanceTest, HivesSecurityAndNotification) {
  wchar_t szTemp[MAX_PATH];
  GetTempPathW(MAX_PATH, szTemp);
  const std::wstring strFile = szTemp + std::to_wstring(GetCurrentProcessId()) + L"-delvora.hive";
  CRegistryKey key(HKEY_LOCAL_MACHINE, Path(L"hive").c_str());
  // Closed: refused without opening (so without creating) the key.
  EXPECT_EQ(ERROR_INVALID_HANDLE, key.Flush());
  EXPECT_EQ(ERROR_INVALID_HANDLE, key.SaveHive(strFile.c_str()));
  EXPECT_EQ(ERROR_INVALID_HANDLE, key.RestoreHive(strFile.c_str()));
  EXPECT_EQ(ERROR_INVALID_HANDLE, key.ReplaceHive(strFile.c_str(), L"old"));
  EXPECT_FALSE(Exists(L"hive"));

  // Saved, then mounted as another key; our own handle into it does not keep it
  // from unloading. Both take the backup and restore privileges.
  CFileHandle hEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  EXPECT_EQ(ERROR_SUCCESS, key.NotifyChange(TRUE, REG_NOTIFY_CHANGE_LAST_SET, hEvent.Get(), TRUE));
  key.SetDWord(L"v", 42);
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(hEvent.Get(), 5000));
  EXPECT_EQ(ERROR_SUCCESS, key.Flush());
  EXPECT_EQ(ERROR_INVALID_HANDLE, key.SaveHive(L""));
  CFileHandle hToken;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, hToken.Receive()));
  for (const wchar_t* pszPrivilege : {L"SeBackupPrivilege", L"SeRestorePrivilege"}) {
    TOKEN_PRIVILEGES privileges = {1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
    ASSERT_TRUE(LookupPrivilegeValueW(nullptr, pszPrivilege, &privileges.Privileges[0].Luid));
    ASSERT_TRUE(AdjustTokenPrivileges(hToken.Get(), FALSE, &privileges, 0, nullptr, nullptr));
  }
  ASSERT_EQ(ERROR_SUCCESS, key.SaveHive(strFile.c_str()));
  CRegistryKey keyMount(HKEY_LOCAL_MACHINE, (L"DelvoraHive" + std::to_wstring(GetCurrentProcessId())).c_str());
  ASSERT_EQ(ERROR_SUCCESS, keyMount.LoadHive(strFile.c_str()));
  DWORD dw = 0;
  EXPECT_EQ(ERROR_SUCCESS, keyMount.GetDWord(L"v", &dw));
  EXPECT_EQ(42u, dw);
  EXPECT_EQ(ERROR_SUCCESS, keyMount.UnloadHive());
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, keyMount.GetPath().GetText()));
  DeleteFileW(strFile.c_str());

  // A DACL needs WRITE_DAC, which the default access lacks: the failure shows.
  SECURITY_DESCRIPTOR sd;
  ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE));
  EXPECT_EQ(ERROR_ACCESS_DENIED, key.SetSecurity(DACL_SECURITY_INFORMATION, &sd));
  CRegistryKey keyOwner(HKEY_LOCAL_MACHINE, Path(L"hive").c_str(), KEY_ALL_ACCESS, 0, nullptr, FALSE);
  EXPECT_EQ(ERROR_SUCCESS, keyOwner.SetSecurity(DACL_SECURITY_INFORMATION, &sd));
  BYTE abSecurity[256];
  DWORD cb = 0;
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, key.GetSecurity(DACL_SECURITY_INFORMATION, nullptr, &cb));
  ASSERT_LE(cb, sizeof(abSecurity));
  ASSERT_EQ(ERROR_SUCCESS, key.GetSecurity(DACL_SECURITY_INFORMATION, abSecurity, &cb));
  BOOL bPresent = FALSE, bDefaulted = TRUE;
  PACL pDacl = reinterpret_cast<PACL>(1);
  ASSERT_TRUE(GetSecurityDescriptorDacl(abSecurity, &bPresent, &pDacl, &bDefaulted));
  EXPECT_TRUE(bPresent && !pDacl) << "the null DACL that was set";
}

TEST_F(RegistryMaintenanceTest, RetargetingAndTheConnectedKeysRoot) {
  CRegistryKey key(m_hRoot.Get(), L"first", TRUE);
  CWideString str;
  key.EnumSubKey(str);
  key = CRegistryKey(m_hRoot.Get(), L"other", FALSE);
  EXPECT_EQ(L"other", TextOf(key.GetPath()));
  EXPECT_TRUE(key.IsOpen() && Exists(L"other")) << "opened with create";
  EXPECT_EQ(0, key.GetSubKeyIndex());
  key = L"third";
  EXPECT_TRUE(key.IsOpen() && Exists(L"third"));

  // On this machine the connection's root is the key handed to it, so its closing
  // can be watched: never by Close, by the destructor and when re-targeted.
  for (bool bDestroy : {true, false}) {
    HKEY hRoot = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, m_strRoot.c_str(), 0, KEY_ALL_ACCESS, &hRoot));
    CRegistryKey* pKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ConnectRemoteRegistry(nullptr, hRoot, &pKey));
    std::unique_ptr<CRegistryKey> keyRemote(pKey);
    EXPECT_TRUE(keyRemote->IsOpen() && Exists(L"Software\\Tarquel"));
    if (keyRemote->GetRoot() != hRoot) GTEST_SKIP() << "the connection has a root of its own";
    EXPECT_EQ(ERROR_SUCCESS, keyRemote->Close());
    EXPECT_TRUE(HandleIsOpen(hRoot));
    HKEY hOther = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(m_hRoot.Get(), L"first", 0, KEY_READ, &hOther));
    if (bDestroy) {
      RegCloseKey(hOther);
      keyRemote.reset();
    } else {
      keyRemote->Attach(hOther);
      EXPECT_EQ(hOther, keyRemote->GetHandle());
    }
    EXPECT_FALSE(HandleIsOpen(hRoot));
  }
}

// A remote-registry service entry of the test's own, never started.
class CStoppedService {
public:
  CStoppedService() : m_hManager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)) {
    m_hService.Attach(CreateServiceW(m_hManager.Get(), L"RemoteRegistry", L"Delvora test", SERVICE_ALL_ACCESS,
                                     SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                     L"C:\\none.exe", nullptr, nullptr, nullptr, nullptr, nullptr));
  }
  ~CStoppedService() {
    if (m_hService) DeleteService(m_hService.Get());
  }
  CServiceHandle m_hManager, m_hService;
};

TEST_F(RegistryMaintenanceTest, ServiceCheckReportsWhyTheRegistryIsUnreachable) {
  CMemoryEventLog log;
  CheckRemoteRegistryService(nullptr);
  if (log.GetReported().empty()) GTEST_SKIP() << "this machine runs its own remote-registry service";
  const CMemoryEventLog::Event& unreachable = log.GetReported()[0];
  EXPECT_EQ(EVENTLOG_ERROR_TYPE, unreachable.wType);
  EXPECT_EQ(0, unreachable.wCategory);
  EXPECT_EQ(103u, unreachable.dwEventId);
  EXPECT_EQ(kEventSourceName, unreachable.strSource);
  ASSERT_GE(unreachable.strings.size(), 2u);
  EXPECT_EQ(L"", unreachable.strings[0]);
  EXPECT_EQ(L"OpenService of RemoteRegistry failed 0x80070424", unreachable.strings[1]);

  CStoppedService service;
  ASSERT_TRUE(service.m_hService);
  const wchar_t szMachine[] = L"\\\\DLV-NO-SUCH-HOST";
  CRegistryKey* pKey = nullptr;
  EXPECT_NE(ERROR_SUCCESS, ConnectRemoteRegistry(szMachine, HKEY_LOCAL_MACHINE, &pKey));
  EXPECT_EQ(nullptr, pKey);
  ASSERT_EQ(2u, log.GetReported().size());
  const CMemoryEventLog::Event& stopped = log.GetReported()[1];
  EXPECT_EQ(104u, stopped.dwEventId);
  ASSERT_GE(stopped.strings.size(), 2u);
  EXPECT_EQ(szMachine, stopped.strings[0]);
  EXPECT_EQ(L"", stopped.strings[1]);
  EXPECT_EQ(0, log.GetOpenHandleCount()) << "the log is closed again at once";
}

}  // namespace
