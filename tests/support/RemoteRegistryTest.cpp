#include "support/RemoteRegistry.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/UniqueHandle.h"
#include "tests/support/MemoryEventLog.h"
#include "tests/support/RegistryTestKey.h"

namespace {

bool KeyIsOpen(HKEY hKey) {
  return RegQueryInfoKeyW(hKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                          nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

// The library's event reporting creates the maker's key for its help-line lookup;
// a test that reports removes it again unless it was there before.
class CMakerKeyGuard {
public:
  CMakerKeyGuard() : m_bExisted(CRegistryTestKey::KeyExists(HKEY_LOCAL_MACHINE, kPath)) {}
  ~CMakerKeyGuard() {
    if (!m_bExisted) RegDeleteTreeW(HKEY_LOCAL_MACHINE, kPath);
  }
  CMakerKeyGuard(const CMakerKeyGuard&) = delete;
  CMakerKeyGuard& operator=(const CMakerKeyGuard&) = delete;

private:
  static constexpr const wchar_t* kPath = L"Software\\Tarquel";
  bool m_bExisted;
};

// A remote-registry service entry of the test's own, never started, deleted again.
class CStoppedService {
public:
  CStoppedService() {
    m_hManager.Attach(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!m_hManager) return;
    m_hService.Attach(CreateServiceW(m_hManager.Get(), L"RemoteRegistry", L"Delvora test service",
                                     SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                     SERVICE_ERROR_IGNORE, L"C:\\windows\\system32\\delvora-none.exe",
                                     nullptr, nullptr, nullptr, nullptr, nullptr));
  }
  ~CStoppedService() {
    if (m_hService) DeleteService(m_hService.Get());
  }
  CStoppedService(const CStoppedService&) = delete;
  CStoppedService& operator=(const CStoppedService&) = delete;

  bool Created() const noexcept { return m_hService.IsValid(); }

private:
  CServiceHandle m_hManager;
  CServiceHandle m_hService;
};

bool ServiceExists(const wchar_t* pszName) {
  CServiceHandle hManager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  CServiceHandle hService(hManager ? OpenServiceW(hManager.Get(), pszName, SERVICE_QUERY_STATUS) : nullptr);
  return hService.IsValid();
}

TEST(RemoteRegistryTest, ConnectedKeyOwnsTheRemoteRoot) {
  CRegistryTestKey testKey;
  // This machine's registry, reached through a key of the test's own: where the
  // connection hands that key back as its root, its closing can be watched.
  HKEY hRoot = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, testKey.FullPath().c_str(), 0, KEY_ALL_ACCESS,
                                         &hRoot));
  CRegistryKey* pKey = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, ConnectRemoteRegistry(nullptr, hRoot, &pKey));
  ASSERT_NE(nullptr, pKey);
  std::unique_ptr<CRegistryKey> key(pKey);
  EXPECT_STREQ(L"Software\\Tarquel", key->GetPath().GetText());
  EXPECT_TRUE(key->IsOpen());
  if (key->GetRoot() != hRoot) {
    RegCloseKey(hRoot);
    GTEST_SKIP() << "the platform gives the connection a root of its own";
  }
  EXPECT_TRUE(testKey.KeyExists(testKey.Path(L"Software\\Tarquel"))) << "opened with create";

  EXPECT_EQ(ERROR_SUCCESS, key->Close());
  EXPECT_TRUE(KeyIsOpen(hRoot)) << "Close never closes the owned root";
  key.reset();
  EXPECT_FALSE(KeyIsOpen(hRoot)) << "the destructor does";

  // Re-targeting forgets the root's ownership, so it releases the root first.
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, testKey.FullPath().c_str(), 0, KEY_ALL_ACCESS,
                                         &hRoot));
  ASSERT_EQ(ERROR_SUCCESS, ConnectRemoteRegistry(nullptr, hRoot, &pKey));
  key.reset(pKey);
  HKEY hOther = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(testKey.Handle(), L"Software", 0, KEY_READ, &hOther));
  key->Attach(hOther);
  EXPECT_FALSE(KeyIsOpen(hRoot));
  EXPECT_EQ(HKEY_LOCAL_MACHINE, key->GetRoot());
}

TEST(RemoteRegistryTest, ServiceCheckReportsWhyTheRegistryIsUnreachable) {
  if (ServiceExists(L"RemoteRegistry")) GTEST_SKIP() << "this machine has its own remote-registry service";
  CMakerKeyGuard makerKey;
  CMemoryEventLog log;

  // No such service: the failing call and its code.
  CheckRemoteRegistryService(nullptr);
  ASSERT_EQ(1u, log.GetReported().size());
  const CMemoryEventLog::Event& unreachable = log.GetReported()[0];
  EXPECT_EQ(EVENTLOG_ERROR_TYPE, unreachable.wType);
  EXPECT_EQ(0, unreachable.wCategory);
  EXPECT_EQ(103u, unreachable.dwEventId);
  EXPECT_EQ(kEventSourceName, unreachable.strSource);
  ASSERT_GE(unreachable.strings.size(), 2u);
  EXPECT_EQ(L"", unreachable.strings[0]);
  EXPECT_EQ(L"OpenService of RemoteRegistry failed 0x80070424", unreachable.strings[1]);

  // A stopped service, behind a connection that fails.
  CStoppedService service;
  ASSERT_TRUE(service.Created());
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
