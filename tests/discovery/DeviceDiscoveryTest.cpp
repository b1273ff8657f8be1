#include "driver/DeviceDiscovery.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

const wchar_t kServicesPath[] = L"system\\CurrentControlSet\\services";
const wchar_t kServicePath[] = L"system\\CurrentControlSet\\services\\tqaudio";
const wchar_t kParametersPath[] = L"system\\CurrentControlSet\\services\\tqaudio\\parameters";

bool KeyExists(const std::wstring& strPath) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, strPath.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
    return false;
  RegCloseKey(hKey);
  return true;
}

std::wstring DevicePath(int nIndex) {
  wchar_t szName[32];
  _snwprintf(szName, 32, L"\\Device%03d", nIndex);
  szName[31] = L'\0';
  return kParametersPath + std::wstring(szName);
}

void CreateDevice(int nIndex) {
  HKEY hKey = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, DevicePath(nIndex).c_str(), 0, nullptr,
                                           0, KEY_ALL_ACCESS, nullptr, &hKey, nullptr));
  RegCloseKey(hKey);
}

void DeleteDevice(int nIndex) {
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_LOCAL_MACHINE, DevicePath(nIndex).c_str()));
}

// The driver's service key is the real one of this prefix: whatever is there is
// copied aside for the whole suite and put back afterwards.
class DeviceDiscoveryTest : public testing::Test {
protected:
  static void SetUpTestSuite() {
    s_strBackup = L"Software\\DelvoraTest\\discovery-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                  std::to_wstring(GetTickCount64());
    s_bHadService = KeyExists(kServicePath);
    if (!s_bHadService) return;
    HKEY hSource = nullptr, hBackup = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kServicePath, 0, KEY_READ, &hSource));
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, s_strBackup.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &hBackup, nullptr));
    LONG nCopied = RegCopyTreeW(hSource, nullptr, hBackup);
    RegCloseKey(hSource);
    RegCloseKey(hBackup);
    ASSERT_EQ(ERROR_SUCCESS, nCopied);
  }

  static void TearDownTestSuite() {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kServicePath);
    if (s_bHadService) {
      HKEY hBackup = nullptr, hService = nullptr;
      if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, s_strBackup.c_str(), 0, KEY_READ, &hBackup) == ERROR_SUCCESS &&
          RegCreateKeyExW(HKEY_LOCAL_MACHINE, kServicePath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          &hService, nullptr) == ERROR_SUCCESS) {
        LONG nRestored = RegCopyTreeW(hBackup, nullptr, hService);
        if (nRestored != ERROR_SUCCESS) fprintf(stderr, "restoring tqaudio failed: %ld\n", nRestored);
      }
      if (hBackup) RegCloseKey(hBackup);
      if (hService) RegCloseKey(hService);
    }
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, s_strBackup.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\DelvoraTest");  // only when now empty
  }

  // Each test starts without the service key.
  void SetUp() override {
    LONG nResult = RegDeleteTreeW(HKEY_LOCAL_MACHINE, kServicePath);
    ASSERT_TRUE(nResult == ERROR_SUCCESS || nResult == ERROR_FILE_NOT_FOUND) << nResult;
    ASSERT_FALSE(KeyExists(kServicePath));
  }

  static std::wstring s_strBackup;
  static bool s_bHadService;
};

std::wstring DeviceDiscoveryTest::s_strBackup;
bool DeviceDiscoveryTest::s_bHadService = false;

TEST_F(DeviceDiscoveryTest, MissingServiceKeyCountsZeroAndIsCreated) {
  ASSERT_TRUE(KeyExists(kServicesPath));
  EXPECT_EQ(0, CountDeviceKeys());
  EXPECT_TRUE(KeyExists(kServicePath));
  EXPECT_TRUE(KeyExists(kParametersPath));
  EXPECT_FALSE(KeyExists(DevicePath(0))) << "device keys are never created";
}

TEST_F(DeviceDiscoveryTest, CountsOnlyTheUnbrokenRunFromDevice000) {
  for (int i = 0; i < 3; ++i) CreateDevice(i);
  EXPECT_EQ(3, CountDeviceKeys());

  CreateDevice(4);  // beyond the gap at 3
  EXPECT_EQ(3, CountDeviceKeys());

  DeleteDevice(1);
  EXPECT_EQ(1, CountDeviceKeys());

  DeleteDevice(0);
  EXPECT_EQ(0, CountDeviceKeys()) << "only Device001 and later present";
  EXPECT_FALSE(KeyExists(DevicePath(0)));
}

TEST_F(DeviceDiscoveryTest, NamesPadToThreeDigitsWithoutTruncating) {
  for (int i = 0; i <= 1000; ++i) CreateDevice(i);
  ASSERT_TRUE(KeyExists(kParametersPath + std::wstring(L"\\Device1000")));
  EXPECT_EQ(1001, CountDeviceKeys());
  // Without Device1000 the run ends at Device999: the probe is not "Device100".
  DeleteDevice(1000);
  EXPECT_EQ(1000, CountDeviceKeys());
}

// The only test that calls GetDeviceCount: its cache lives for the process.
TEST_F(DeviceDiscoveryTest, FirstCountIsCachedForTheProcess) {
  CreateDevice(0);
  CreateDevice(1);
  EXPECT_EQ(2, GetDeviceCount());
  CreateDevice(2);
  EXPECT_EQ(2, GetDeviceCount()) << "keys added later are not seen";
  EXPECT_EQ(3, CountDeviceKeys());
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, kServicePath);
  EXPECT_EQ(2, GetDeviceCount());
}

}  // namespace
