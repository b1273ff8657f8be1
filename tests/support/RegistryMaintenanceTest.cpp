#include <gtest/gtest.h>

#include <string>

#include "support/RegistryKey.h"
#include "support/UniqueHandle.h"
#include "tests/support/RegistryTestKey.h"

namespace {

class RegistryMaintenanceTest : public testing::Test {
protected:
  CRegistryTestKey m_testKey;
  std::wstring Path(const wchar_t* pszSub) const { return m_testKey.Path(pszSub); }
  bool KeyExists(const std::wstring& strPath) const { return m_testKey.KeyExists(strPath); }
};

std::wstring TextOf(const CWideString& str) {
  return str.IsNull() ? std::wstring() : std::wstring(str.GetText(), str.Length());
}

TEST_F(RegistryMaintenanceTest, ValueWritesHonourTheOverwriteFlag) {
  CRegistryKey key(HKEY_LOCAL_MACHINE, Path(L"values").c_str());
  EXPECT_EQ(ERROR_SUCCESS, key.SetDWord(L"n", 1, FALSE)) << "creates key and value";
  EXPECT_EQ(ERROR_SUCCESS, key.SetDWord(L"n", 2, FALSE));
  DWORD dw = 0;
  EXPECT_EQ(ERROR_SUCCESS, key.GetDWord(L"n", &dw));
  EXPECT_EQ(1u, dw) << "without overwrite the stored number stays";
  EXPECT_EQ(ERROR_SUCCESS, key.SetDWord(L"n", 2, TRUE));
  EXPECT_EQ(ERROR_SUCCESS, key.GetDWord(L"n", &dw));
  EXPECT_EQ(2u, dw);

  CWideString str;
  EXPECT_EQ(ERROR_SUCCESS, key.SetString(L"s", L"first"));
  EXPECT_EQ(ERROR_SUCCESS, key.SetString(L"s", CWideString(L"second"), FALSE));
  EXPECT_EQ(ERROR_SUCCESS, key.GetString(L"s", str));
  EXPECT_EQ(L"first", TextOf(str));
  // Null texts are written as empty strings, with their NUL.
  EXPECT_EQ(ERROR_SUCCESS, key.SetString(L"null", static_cast<const wchar_t*>(nullptr)));
  EXPECT_EQ(ERROR_SUCCESS, key.SetString(L"nullw", CWideString()));
  DWORD dwType = 0, cb = 64;
  BYTE abData[64];
  EXPECT_EQ(ERROR_SUCCESS, key.QueryValue(L"nullw", &dwType, abData, &cb));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), dwType);
  EXPECT_EQ(2u, cb);
  const BYTE abBinary[3] = {1, 0, 2};
  EXPECT_EQ(ERROR_SUCCESS, key.SetBinary(L"b", abBinary, 3));
  cb = 64;
  EXPECT_EQ(ERROR_SUCCESS, key.QueryValue(L"b", &dwType, abData, &cb));
  EXPECT_EQ(static_cast<DWORD>(REG_BINARY), dwType);
  EXPECT_EQ(3u, cb);
  EXPECT_EQ(5, key.GetValueCount());

  EXPECT_EQ(ERROR_SUCCESS, key.DeleteValue(L"b"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.DeleteValue(L"b"));
  EXPECT_EQ(4, key.GetValueCount());
  CRegistryKey keyNoPath(HKEY_LOCAL_MACHINE, nullptr);
  EXPECT_EQ(ERROR_INVALID_HANDLE, keyNoPath.DeleteValue(L"b"));
  EXPECT_EQ(-1, keyNoPath.GetValueCount());
  EXPECT_EQ(-1, keyNoPath.GetSubKeyCount());
}

TEST_F(RegistryMaintenanceTest, DeleteKeyRemovesWholeTreesAndNeverTheRoot) {
  // Two levels below the key, with values at each.
  CRegistryKey keyBuild(HKEY_LOCAL_MACHINE, Path(L"tree\\a\\a1").c_str(), TRUE);
  keyBuild.SetDWord(L"v", 1);
  keyBuild.SetPath(Path(L"tree\\a\\a2").c_str(), TRUE);
  keyBuild.SetPath(Path(L"tree\\b").c_str(), TRUE);
  keyBuild.SetString(L"s", L"x");
  keyBuild.SetPath(Path(L"sibling").c_str(), TRUE);
  keyBuild.Close();

  CRegistryKey key(HKEY_LOCAL_MACHINE, Path(L"tree").c_str());
  EXPECT_EQ(ERROR_SUCCESS, key.DeleteKey());
  EXPECT_FALSE(KeyExists(Path(L"tree")));
  EXPECT_TRUE(KeyExists(Path(L"sibling")));
  EXPECT_FALSE(key.IsOpen());

  // Without a root or a path nothing is deleted, and the root is never opened.
  CRegistryKey keyNoPath(m_testKey.Handle(), nullptr);
  EXPECT_EQ(ERROR_SUCCESS, keyNoPath.DeleteKey());
  CRegistryKey keyNoRoot(static_cast<HKEY>(nullptr), Path(L"sibling").c_str());
  EXPECT_EQ(ERROR_SUCCESS, keyNoRoot.DeleteKey());
  EXPECT_TRUE(KeyExists(Path(L"sibling")));

  // A chain deeper than recursion would like and whose full path is longer than
  // any registry call can name (300 levels of 120 characters: 36300 characters).
  const std::wstring strName(120, L'd');
  HKEY hParent = m_testKey.Handle();
  CKeyHandle hLevel;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(hParent, L"deep", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                           hLevel.Receive(), nullptr));
  for (int i = 0; i < 300; ++i) {
    CKeyHandle hChild;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(hLevel.Get(), strName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, hChild.Receive(), nullptr))
        << "level " << i;
    hLevel = std::move(hChild);
  }
  // A name longer than the usual 255 characters where the registry takes one.
  CKeyHandle hLong;
  const std::wstring strLong(256, L'L');
  RegCreateKeyExW(hLevel.Get(), strLong.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, hLong.Receive(),
                  nullptr);
  hLong.Close();
  hLevel.Close();
  key.SetPath(Path(L"deep").c_str());
  EXPECT_EQ(ERROR_SUCCESS, key.DeleteKey());
  EXPECT_FALSE(KeyExists(Path(L"deep")));
}

TEST_F(RegistryMaintenanceTest, EnumerationCursorsAdvanceOnEveryCall) {
  CRegistryKey keyBuild(HKEY_LOCAL_MACHINE, Path(L"enum\\one").c_str(), TRUE);
  keyBuild.SetPath(Path(L"enum\\two").c_str(), TRUE);
  keyBuild.Close();

  CRegistryKey key(HKEY_LOCAL_MACHINE, Path(L"enum").c_str());
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
  EXPECT_EQ(2, key.GetSubKeyIndex());
  EXPECT_EQ(2, key.GetSubKeyCount());

  // A buffer too small still moves the cursor on.
  wchar_t szName[8];
  EXPECT_EQ(ERROR_SUCCESS, key.ResetEnum());
  EXPECT_EQ(ERROR_MORE_DATA, key.EnumSubKeyName(szName, 2));
  EXPECT_EQ(ERROR_SUCCESS, key.EnumSubKeyName(szName, 8));
  EXPECT_STREQ(L"two", szName);

  // Names longer than the usual limit, where the registry takes them, come whole.
  const std::wstring strLong(256, L'L');
  CKeyHandle hLong;
  if (RegCreateKeyExW(key.GetHandle(), strLong.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      hLong.Receive(), nullptr) == ERROR_SUCCESS) {
    EXPECT_EQ(ERROR_SUCCESS, key.EnumSubKey(str3, 0));
    EXPECT_EQ(strLong, TextOf(str3));
  }

  const LONG nSubKeyCursor = key.GetSubKeyIndex();
  key.SetDWord(L"a", 1);
  key.SetDWord(L"b", 2);
  wchar_t szValue[8];
  DWORD cchValue = 8, dwType = 0, dwData = 0, cbData = 4;
  EXPECT_EQ(ERROR_SUCCESS, key.EnumValue(szValue, &cchValue, &dwType, reinterpret_cast<BYTE*>(&dwData),
                                         &cbData));
  EXPECT_STREQ(L"a", szValue);
  EXPECT_EQ(1u, dwData);
  cchValue = 8;
  EXPECT_EQ(ERROR_SUCCESS, key.EnumValueAt(1, szValue, &cchValue, &dwType));
  EXPECT_STREQ(L"b", szValue);
  EXPECT_EQ(1, key.GetValueIndex()) << "an indexed read leaves the cursor";
  cchValue = 8;
  cbData = 4;
  EXPECT_EQ(ERROR_SUCCESS, key.EnumValue(szValue, &cchValue, &dwType, reinterpret_cast<BYTE*>(&dwData),
                                         &cbData));
  EXPECT_EQ(2u, dwData);
  cchValue = 8;
  EXPECT_EQ(ERROR_NO_MORE_ITEMS, key.EnumValue(szValue, &cchValue, &dwType, nullptr, nullptr));
  key.ResetValueEnum();
  EXPECT_EQ(0, key.GetValueIndex());
  EXPECT_EQ(nSubKeyCursor, key.GetSubKeyIndex()) << "the value reset leaves the sub-key cursor";
}

TEST_F(RegistryMaintenanceTest, HiveFilesNeedAnOpenKeyAndRoundTrip) {
  const std::wstring strFile = m_testKey.TempFile(L"hive");
  CRegistryKey key(HKEY_LOCAL_MACHINE, Path(L"hive").c_str());
  // Closed: refused without opening (so without creating) the key.
  EXPECT_EQ(ERROR_INVALID_HANDLE, key.Flush());
  EXPECT_EQ(ERROR_INVALID_HANDLE, key.SaveHive(strFile.c_str()));
  EXPECT_EQ(ERROR_INVALID_HANDLE, key.SaveHive());
  EXPECT_EQ(ERROR_INVALID_HANDLE, key.RestoreHive(strFile.c_str()));
  EXPECT_EQ(ERROR_INVALID_HANDLE, key.ReplaceHive(strFile.c_str(), L"old"));
  EXPECT_FALSE(key.IsOpen());
  EXPECT_FALSE(KeyExists(Path(L"hive")));

  key.SetDWord(L"v", 42);
  EXPECT_EQ(ERROR_SUCCESS, key.Flush());
  EXPECT_EQ(ERROR_INVALID_HANDLE, key.SaveHive(L""));
  EXPECT_EQ(ERROR_INVALID_HANDLE, key.RestoreHive(L""));
  EXPECT_EQ(ERROR_INVALID_HANDLE, key.ReplaceHive(nullptr, L"old"));

  CBackupPrivileges privileges;
  ASSERT_TRUE(privileges.Enabled());
  ASSERT_EQ(ERROR_SUCCESS, key.SaveHive(strFile.c_str()));
  CRegistryKey keyNoPath(HKEY_LOCAL_MACHINE, nullptr);
  EXPECT_EQ(ERROR_INVALID_HANDLE, keyNoPath.LoadHive(strFile.c_str()));
  EXPECT_EQ(ERROR_INVALID_HANDLE, keyNoPath.UnloadHive());

  // Mounted as another key, the saved value reads back; our own open handle does
  // not keep it from unloading.
  const std::wstring strMount = L"DelvoraTestHive" + std::to_wstring(GetCurrentProcessId());
  CRegistryKey keyMount(HKEY_LOCAL_MACHINE, strMount.c_str());
  ASSERT_EQ(ERROR_SUCCESS, keyMount.LoadHive(strFile.c_str()));
  DWORD dw = 0;
  EXPECT_EQ(ERROR_SUCCESS, keyMount.GetDWord(L"v", &dw));
  EXPECT_EQ(42u, dw);
  EXPECT_EQ(ERROR_SUCCESS, keyMount.UnloadHive());
  EXPECT_FALSE(keyMount.IsOpen());
  EXPECT_FALSE(m_testKey.KeyExists(HKEY_LOCAL_MACHINE, strMount));
  DeleteFileW(strFile.c_str());
}

TEST_F(RegistryMaintenanceTest, SecurityAndChangeNotification) {
  CRegistryKey key(HKEY_LOCAL_MACHINE, Path(L"secure").c_str());
  DWORD cb = 0;
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, key.GetSecurity(DACL_SECURITY_INFORMATION, nullptr, &cb));
  EXPECT_GT(cb, 0u);
  EXPECT_TRUE(KeyExists(Path(L"secure"))) << "opened with create";

  SECURITY_DESCRIPTOR sd;
  ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE));
  // Setting a DACL takes WRITE_DAC, which the default access lacks: the failure shows.
  EXPECT_EQ(ERROR_ACCESS_DENIED, key.SetSecurity(DACL_SECURITY_INFORMATION, &sd));
  CRegistryKey keyOwner(HKEY_LOCAL_MACHINE, Path(L"secure").c_str(), KEY_ALL_ACCESS, 0, nullptr, FALSE);
  EXPECT_EQ(ERROR_SUCCESS, keyOwner.SetSecurity(DACL_SECURITY_INFORMATION, &sd));
  EXPECT_TRUE(keyOwner.IsOpen());
  BYTE abSecurity[1024];
  cb = sizeof(abSecurity);
  ASSERT_EQ(ERROR_SUCCESS, key.GetSecurity(DACL_SECURITY_INFORMATION, abSecurity, &cb));
  BOOL bPresent = FALSE, bDefaulted = TRUE;
  PACL pDacl = reinterpret_cast<PACL>(1);
  ASSERT_TRUE(GetSecurityDescriptorDacl(abSecurity, &bPresent, &pDacl, &bDefaulted));
  EXPECT_TRUE(bPresent);
  EXPECT_EQ(nullptr, pDacl) << "the null DACL that was set";

  CFileHandle hEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(hEvent);
  EXPECT_EQ(ERROR_SUCCESS, key.NotifyChange(TRUE, REG_NOTIFY_CHANGE_LAST_SET, hEvent.Get(), TRUE));
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(hEvent.Get(), 0));
  CRegistryKey keyWriter(HKEY_LOCAL_MACHINE, Path(L"secure\\below").c_str());
  keyWriter.SetDWord(L"v", 1);
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(hEvent.Get(), 5000))
      << "a value written in the subtree signals";
}

TEST_F(RegistryMaintenanceTest, RetargetingClosesAndReopens) {
  CRegistryKey key(m_testKey.Handle(), L"first", TRUE);
  CWideString str;
  key.EnumSubKey(str);
  const CRegistryKey keyOther(m_testKey.Handle(), L"other");
  key = keyOther;
  EXPECT_EQ(L"other", TextOf(key.GetPath()));
  EXPECT_TRUE(key.IsOpen());
  EXPECT_TRUE(KeyExists(Path(L"other"))) << "opened with create";
  EXPECT_EQ(0, key.GetSubKeyIndex()) << "the cursors are reset";
  key = key;
  EXPECT_EQ(L"other", TextOf(key.GetPath()));
  EXPECT_TRUE(key.IsOpen());
  key = L"third";
  EXPECT_TRUE(key.IsOpen());
  EXPECT_TRUE(KeyExists(Path(L"third")));

  // An adopted handle replaces the open one and is closed with the object; the
  // object is back on the default root and path.
  HKEY hAdopted = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(m_testKey.Handle(), L"first", 0, KEY_READ, &hAdopted));
  {
    CRegistryKey keyAdopting(m_testKey.Handle(), L"other", TRUE);
    keyAdopting.Attach(hAdopted);
    EXPECT_EQ(hAdopted, keyAdopting.GetHandle());
    EXPECT_EQ(L"Software\\Tarquel", TextOf(keyAdopting.GetPath()));
    keyAdopting.Attach(keyAdopting.GetHandle());
    EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(hAdopted, nullptr, nullptr, nullptr, nullptr, nullptr,
                                              nullptr, nullptr, nullptr, nullptr, nullptr, nullptr))
        << "adopting the held handle keeps it open";
  }
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryInfoKeyW(hAdopted, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                   nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
}

}  // namespace
