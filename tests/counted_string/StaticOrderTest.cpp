// The program's static objects are built in the order of support/InitOrder.h, after
// the string pools, whatever the link order, and each can use the pools from its
// constructor and its destructor. A probe object stands at each place; the
// destructors' half is read from a child run of this program, whose probes report
// when they are all gone.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "support/InitOrder.h"
#include "support/UniqueHandle.h"
#include "tests/counted_string/StaticOrderProbe.h"

CStaticProbe g_probeItemData DELVORA_INIT_ORDER(init_order::kItemData)("item array");
CStaticProbe g_probeEndedStreams DELVORA_INIT_ORDER(init_order::kEndedStreams)("ended-stream queue");
CStaticProbe g_probeApplication DELVORA_INIT_ORDER(init_order::kApplication)("application");

namespace {

// Runs this program again with no tests and returns what it wrote.
std::string ChildReport() {
  SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
  CFileHandle readEnd, writeEnd;
  if (!::CreatePipe(readEnd.Receive(), writeEnd.Receive(), &sa, 0)) return "no pipe";
  ::SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);

  wchar_t szPath[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, szPath, MAX_PATH);
  std::wstring strCommand = L"\"" + std::wstring(szPath) + L"\" --gtest_filter=-*";
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd.Get();
  si.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi = {};
  ::SetEnvironmentVariableW(L"DELVORA_STATIC_ORDER_REPORT", L"1");
  const BOOL bStarted =
      ::CreateProcessW(nullptr, &strCommand[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  ::SetEnvironmentVariableW(L"DELVORA_STATIC_ORDER_REPORT", nullptr);
  if (!bStarted) return "no child";
  CFileHandle process(pi.hProcess), thread(pi.hThread);
  writeEnd.Close();

  std::string strOutput;
  char buffer[1024];
  DWORD cbRead = 0;
  while (::ReadFile(readEnd.Get(), buffer, sizeof(buffer), &cbRead, nullptr) && cbRead > 0)
    strOutput.append(buffer, cbRead);
  ::WaitForSingleObject(process.Get(), 60000);
  return strOutput;
}

std::string WithoutCarriageReturns(std::string str) {
  std::string result;
  for (char ch : str)
    if (ch != '\r') result += ch;
  return result;
}

TEST(StaticOrderTest, ObjectsAreBuiltInTheStatedOrderAfterThePoolsAndDestroyedInReverse) {
  const char* const kBuilt =
      "built application: pools ok\n"
      "built ended-stream queue: pools ok\n"
      "built item array: pools ok\n"
      "built history: pools ok\n"
      "built message module cache: pools ok\n"
      "built help line: pools ok\n"
      "built object without a place: pools ok\n";
  EXPECT_EQ(kBuilt, std::string(StaticProbeLog()));

  const std::string strExpected = std::string(kBuilt) +
      "destroyed object without a place: pools ok\n"
      "destroyed help line: pools ok\n"
      "destroyed message module cache: pools ok\n"
      "destroyed history: pools ok\n"
      "destroyed item array: pools ok\n"
      "destroyed ended-stream queue: pools ok\n"
      "destroyed application: pools ok\n";
  // The child's test runner speaks first; the probes report after it has finished.
  const std::string strReport = WithoutCarriageReturns(ChildReport());
  const size_t nStart = strReport.find("built ");
  EXPECT_EQ(strExpected, nStart == std::string::npos ? strReport : strReport.substr(nStart));
}

}  // namespace
