#include "support/RegistryKey.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Every test works below its own key HKLM\Software\DelvoraTest\<unique>, which it
// removes again, so runs never see each other's leftovers.
class RegistryKeyTest : public testing::Test {
protected:
  void SetUp() override {
    m_strRoot = L"Software\\DelvoraTest\\support-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(++s_nSerial);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, m_strRoot.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &m_hRoot, nullptr));
  }
  void TearDown() override {
    if (m_hRoot) RegCloseKey(m_hRoot);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, m_strRoot.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\DelvoraTest");  // only when now empty
  }

  std::wstring Path(const wchar_t* pszSub) const { return m_strRoot + L"\\" + pszSub; }

  bool KeyExists(const std::wstring& strPath) const {
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, strPath.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
      return false;
    RegCloseKey(hKey);
    return true;
  }

  void SetValue(const wchar_t* pszName, DWORD dwType, const void* pData, DWORD cb) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(m_hRoot, pszName, 0, dwType,
                                            static_cast<const BYTE*>(pData), cb));
  }
  void SetText(const wchar_t* pszName, const std::wstring& strText, DWORD dwType = REG_SZ) {
    SetValue(pszName, dwType, strText.c_str(), static_cast<DWORD>((strText.size() + 1) * 2));
  }

  static int s_nSerial;
  std::wstring m_strRoot;
  HKEY m_hRoot = nullptr;
};

int RegistryKeyTest::s_nSerial = 0;

std::wstring PathOf(const CRegistryKey& key) {
  return key.GetPath().IsNull() ? std::wstring() : std::wstring(key.GetPath().GetText());
}

TEST_F(RegistryKeyTest, DefaultsAndRefusedOpens) {
  CRegistryKey keyDefault;
  EXPECT_EQ(L"Software\\Tarquel", PathOf(keyDefault));
  EXPECT_EQ(HKEY_LOCAL_MACHINE, keyDefault.GetRoot());
  EXPECT_FALSE(keyDefault.IsOpen());

  CRegistryKey keyEmpty(HKEY_LOCAL_MACHINE, nullptr);
  EXPECT_EQ(L"", PathOf(keyEmpty));
  EXPECT_EQ(ERROR_INVALID_HANDLE, keyEmpty.Open(TRUE));
  EXPECT_EQ(ERROR_INVALID_HANDLE, keyEmpty.Create());
  EXPECT_FALSE(keyEmpty.IsOpen());
  CWideString str(L"unchanged");
  EXPECT_EQ(ERROR_INVALID_HANDLE, keyEmpty.GetString(L"x", str));
  EXPECT_STREQ(L"unchanged", str.GetText());

  CRegistryKey keyNoRoot(static_cast<HKEY>(nullptr), Path(L"a").c_str());
  EXPECT_EQ(ERROR_INVALID_HANDLE, keyNoRoot.Open(TRUE));
  EXPECT_FALSE(KeyExists(Path(L"a")));
  EXPECT_EQ(ERROR_INVALID_HANDLE, keyNoRoot.Close()) << "nothing to close";
}

TEST_F(RegistryKeyTest, PathBuildingAndParentMoves) {
  CRegistryKey key(m_hRoot, L"a");
  key.AppendPath(L"b");
  EXPECT_EQ(L"a\\b", PathOf(key));
  key.SetPath(L"a\\");
  key.AppendPath(L"b");
  EXPECT_EQ(L"a\\b", PathOf(key));
  key.SetPath(nullptr);
  key.AppendPath(L"b");
  EXPECT_EQ(L"b", PathOf(key));
  key.SetPath(L"a");
  key.AppendPath(nullptr);
  EXPECT_EQ(L"a\\", PathOf(key));
  key.AppendPath(L"\\c");
  EXPECT_EQ(L"a\\\\c", PathOf(key)) << "the component is not inspected";
  EXPECT_FALSE(key.IsOpen());

  // Opening on append creates what is missing; a path change closes first.
  key.SetPath(L"x");
  key.AppendPath(L"y", TRUE);
  EXPECT_TRUE(key.IsOpen());
  EXPECT_TRUE(KeyExists(Path(L"x\\y")));
  key.AppendPath(L"Device003");
  EXPECT_FALSE(key.IsOpen());
  EXPECT_FALSE(KeyExists(Path(L"x\\y\\Device003")));
  key.MoveToParent();
  EXPECT_EQ(L"x\\y", PathOf(key));
  EXPECT_TRUE(key.IsOpen());

  key.SetPath(L"solo");
  key.MoveToParent();
  EXPECT_EQ(L"solo", PathOf(key)) << "a path without a backslash stays";
  EXPECT_TRUE(key.IsOpen());
  EXPECT_TRUE(KeyExists(Path(L"solo"))) << "the parent is opened with the create fallback";
}

TEST_F(RegistryKeyTest, OpenCreateAndHandleOwnership) {
  CRegistryKey key(HKEY_LOCAL_MACHINE, Path(L"missing").c_str());
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.Open(FALSE));
  EXPECT_FALSE(key.IsOpen());
  EXPECT_FALSE(KeyExists(Path(L"missing")));
  EXPECT_EQ(ERROR_SUCCESS, key.Open(TRUE));
  EXPECT_TRUE(KeyExists(Path(L"missing")));
  EXPECT_EQ(ERROR_SUCCESS, key.Create()) << "creating an existing key opens it";
  EXPECT_EQ(ERROR_SUCCESS, key.Close());
  EXPECT_FALSE(key.IsOpen());

  // A read with the create flag leaves the new key behind and reports the value missing.
  CRegistryKey keyRead(HKEY_LOCAL_MACHINE, Path(L"made\\by\\read").c_str());
  DWORD dw = 77;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, keyRead.GetDWord(L"v", &dw, TRUE));
  EXPECT_EQ(77u, dw);
  EXPECT_TRUE(keyRead.IsOpen());
  EXPECT_TRUE(KeyExists(Path(L"made\\by\\read")));
  CRegistryKey keyAbsent(HKEY_LOCAL_MACHINE, Path(L"absent").c_str());
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, keyAbsent.GetDWord(L"v", &dw, FALSE));
  EXPECT_FALSE(keyAbsent.ValueExists(L"v"));
  EXPECT_TRUE(KeyExists(Path(L"absent"))) << "ValueExists opens with create";

  // A copy takes root and path, never the handle.
  CRegistryKey keyCopy(key, FALSE);
  EXPECT_EQ(PathOf(key), PathOf(keyCopy));
  EXPECT_FALSE(keyCopy.IsOpen());
  CRegistryKey keyCopyOpen(key, TRUE);
  EXPECT_TRUE(keyCopyOpen.IsOpen());

  // An adopted handle is closed with the object.
  HKEY hAdopted = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(m_hRoot, L"missing", 0, KEY_READ, &hAdopted));
  {
    CRegistryKey keyAdopting(hAdopted);
    EXPECT_TRUE(keyAdopting.IsOpen());
  }
  DWORD cSubKeys = 0;
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryInfoKeyW(hAdopted, nullptr, nullptr, nullptr, &cSubKeys,
                                                   nullptr, nullptr, nullptr, nullptr, nullptr,
                                                   nullptr, nullptr));

  // The security form opens (creating) when asked to apply.
  SECURITY_DESCRIPTOR sd;
  ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE));
  CRegistryKey keySecured(Path(L"secured").c_str(), KEY_ALL_ACCESS, DACL_SECURITY_INFORMATION, &sd, TRUE);
  EXPECT_TRUE(keySecured.IsOpen());
  EXPECT_TRUE(KeyExists(Path(L"secured")));
}

TEST_F(RegistryKeyTest, GetStringReadsAnyLengthAndLeavesOutputOnFailure) {
  const std::wstring strBig(1499, L'q');  // 3000 bytes with the NUL
  SetText(L"big", strBig);
  SetText(L"empty", L"");
  CRegistryKey key(HKEY_LOCAL_MACHINE, m_strRoot.c_str());

  DWORD cb = 1024;
  wchar_t szSmall[512];
  EXPECT_EQ(ERROR_MORE_DATA, key.QueryString(L"big", szSmall, &cb));
  EXPECT_EQ(3000u, cb);

  CWideString str(L"previous");
  EXPECT_EQ(ERROR_SUCCESS, key.GetString(L"big", str));
  EXPECT_EQ(1499, str.Length());
  EXPECT_EQ(strBig, std::wstring(str.GetText()));

  str = L"previous";
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.GetString(L"nothing", str));
  EXPECT_STREQ(L"previous", str.GetText());
  EXPECT_EQ(ERROR_SUCCESS, key.GetString(L"empty", str));
  EXPECT_EQ(0, str.Length());
  EXPECT_TRUE(key.ValueExists(L"empty"));
  EXPECT_FALSE(key.ValueExists(L"nothing"));

  DWORD dw = 0;
  const DWORD dwStored = 0x12345678;
  SetValue(L"dword", REG_DWORD, &dwStored, 4);
  EXPECT_EQ(ERROR_SUCCESS, key.GetDWord(L"dword", &dw));
  EXPECT_EQ(dwStored, dw);
  EXPECT_EQ(ERROR_MORE_DATA, key.GetDWord(L"big", &dw));
  EXPECT_EQ(dwStored, dw);
}

TEST_F(RegistryKeyTest, UnterminatedAndOddSizedDataGiveTerminatedText) {
  // Binary data, because Wine terminates unterminated REG_SZ data itself.
  // Exactly the first buffer's 1024 bytes and no NUL: the text is all 512 characters.
  const std::wstring strFull(512, L'f');
  SetValue(L"full", REG_BINARY, strFull.c_str(), 1024);
  // 1026 bytes without NUL: read on the retry, sized exactly to the data.
  const std::wstring strOver(513, L'o');
  SetValue(L"over", REG_BINARY, strOver.c_str(), 1026);
  // Five bytes: two characters and a stray byte.
  SetValue(L"odd", REG_BINARY, "a\0b\0c", 5);
  // A short value read as a DWORD is zero-extended.
  const WORD wShort = 0xBEEF;
  SetValue(L"short", REG_BINARY, &wShort, 2);

  CRegistryKey key(HKEY_LOCAL_MACHINE, m_strRoot.c_str());
  CWideString str;
  EXPECT_EQ(ERROR_SUCCESS, key.GetString(L"full", str));
  EXPECT_EQ(strFull, std::wstring(str.GetText(), str.Length()));
  EXPECT_EQ(ERROR_SUCCESS, key.GetString(L"over", str));
  EXPECT_EQ(strOver, std::wstring(str.GetText(), str.Length()));
  EXPECT_EQ(ERROR_SUCCESS, key.GetString(L"odd", str));
  EXPECT_STREQ(L"ab", str.GetText());
  EXPECT_EQ(ERROR_SUCCESS, key.GetString(L"full", str, FALSE, TRUE));
  EXPECT_EQ(512, str.Length());

  // Expanding an unterminated value reads no further than the data.
  wchar_t szBuffer[8];
  wmemset(szBuffer, L'#', 8);
  SetValue(L"four", REG_BINARY, L"wxyz", 8);
  DWORD cb = 8;
  EXPECT_EQ(ERROR_SUCCESS, key.QueryString(L"four", szBuffer, &cb, FALSE, TRUE));
  EXPECT_STREQ(L"wxy", szBuffer);
  EXPECT_EQ(8u, cb);

  DWORD dw = 0xFFFFFFFF;
  EXPECT_EQ(ERROR_SUCCESS, key.GetDWord(L"short", &dw));
  EXPECT_EQ(0xBEEFu, dw);
}

TEST_F(RegistryKeyTest, QueryStringExpandsIntoTheCallersBuffer) {
  ASSERT_EQ(0, _wputenv(L"DLV_TEMP=C:\\T"));
  ASSERT_EQ(0, _wputenv(L"Q=alpha"));
  std::wstring strLong(700, L'L');
  ASSERT_EQ(0, _wputenv((L"DLV_LONG=" + strLong).c_str()));
  SetText(L"logs", L"%DLV_TEMP%\\logs", REG_EXPAND_SZ);
  SetText(L"shortref", L"%Q%");
  SetText(L"longref", L"<%DLV_LONG%>");
  SetValue(L"zero", REG_SZ, L"", 0);
  CRegistryKey key(HKEY_LOCAL_MACHINE, m_strRoot.c_str());

  wchar_t szBuffer[64];
  DWORD cb = sizeof(szBuffer);
  EXPECT_EQ(ERROR_SUCCESS, key.QueryString(L"logs", szBuffer, &cb, FALSE, TRUE));
  EXPECT_STREQ(L"C:\\T\\logs", szBuffer);
  EXPECT_EQ(20u, cb);
  cb = sizeof(szBuffer);
  EXPECT_EQ(ERROR_SUCCESS, key.QueryString(L"logs", szBuffer, &cb, FALSE, FALSE));
  EXPECT_STREQ(L"%DLV_TEMP%\\logs", szBuffer) << "without expand the text is raw";

  // The raw value fits 8 bytes; its expansion is cut to 3 characters and a NUL.
  wmemset(szBuffer, L'#', 64);
  cb = 8;
  EXPECT_EQ(ERROR_SUCCESS, key.QueryString(L"shortref", szBuffer, &cb, FALSE, TRUE));
  EXPECT_STREQ(L"alp", szBuffer);
  EXPECT_EQ(8u, cb);
  EXPECT_EQ(L'#', szBuffer[4]) << "nothing written past the capacity";

  // Capacities below one character write nothing and report the size needed.
  for (DWORD cbCapacity : {0u, 1u}) {
    wmemset(szBuffer, L'#', 64);
    cb = cbCapacity;
    EXPECT_EQ(ERROR_MORE_DATA, key.QueryString(L"zero", szBuffer + 1, &cb, FALSE, TRUE));
    EXPECT_EQ(2u, cb);
    EXPECT_EQ(L'#', szBuffer[0]);
    EXPECT_EQ(L'#', szBuffer[1]);
  }
  EXPECT_EQ(ERROR_INVALID_PARAMETER, key.QueryString(L"logs", szBuffer, nullptr, FALSE, TRUE));
  cb = 64;
  EXPECT_EQ(ERROR_INVALID_PARAMETER, key.QueryString(L"logs", nullptr, &cb, FALSE, TRUE));

  // GetString expands after reading the whole raw text: nothing is cut.
  CWideString str;
  EXPECT_EQ(ERROR_SUCCESS, key.GetString(L"longref", str, FALSE, TRUE));
  EXPECT_EQ(L"<" + strLong + L">", std::wstring(str.GetText()));
  EXPECT_EQ(ERROR_SUCCESS, key.GetString(L"logs", str, FALSE, TRUE));
  EXPECT_STREQ(L"C:\\T\\logs", str.GetText());
  SetText(L"vanishing", L"%%");
  EXPECT_EQ(ERROR_SUCCESS, key.GetString(L"vanishing", str, FALSE, TRUE));
  EXPECT_FALSE(str.IsNull());
  EXPECT_EQ(0, str.Length());
}

}  // namespace
