// The driver control functions against the simulated driver: device names, the
// records as the driver wrote them, short answers, failures and their result
// codes, the reset loop, and a simulated minute of demo traffic.

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DriverTestEnvironment.h"
#include "driver/DriverControl.h"
#include "support/Win32Result.h"

namespace {

// The driver has 16 devices; the registry is left saying 3, which is what
// ResetAllCounters loops over in this process.
constexpr int kDriverDevices = 16;
constexpr int kProgramDevices = 3;

::testing::Environment* const g_pEnvironment =
    ::testing::AddGlobalTestEnvironment(new CDriverEnvironment(kDriverDevices, kProgramDevices));

constexpr LONG kStatusAccessDenied = static_cast<LONG>(0xC0000022);
constexpr LONG kStatusInvalidDeviceRequest = static_cast<LONG>(0xC0000010);
// Maps to Win32 error 0: the call fails but its last error reads "success".
constexpr LONG kStatusWithoutError = static_cast<LONG>(0xC0010000);

std::string Describe(const TQSIM_EVENT& event) {
  std::string text = event.Kind == TQSIM_EVENT_OPEN ? "open" : event.Kind == TQSIM_EVENT_CLOSE ? "close" : "request";
  if (event.Kind == TQSIM_EVENT_REQUEST) {
    char szCode[16];
    snprintf(szCode, sizeof(szCode), " %#x", event.Code);
    text += szCode;
  }
  text += event.Direction == TQSIM_DIRECTION_IN ? " TqWaveIn" : " TqWaveOut";
  return text + std::to_string(event.Device);
}

std::vector<std::string> DescribeEvents() {
  std::vector<std::string> texts;
  for (const TQSIM_EVENT& event : ReadEvents())
    texts.push_back(Describe(event));
  return texts;
}

WaveCounters MakeRecord(unsigned int nSalt) {
  WaveCounters record = {};
  record.Total = 200000LL * nSalt + 17;
  record.PacketCount = 4 + nSalt;
  record.Active = 1;
  record.Unused16 = 0xA5A5A5A5u;
  record.Port = 0xC413;  // bytes 0x13 0xC4: port 5060 in network order
  record.Address = 0x0100007Fu + (nSalt << 24);
  record.AddressPort = 0x401F;
  record.Counter = 1000 + nSalt;
  record.Codec = 0x0133;
  record.Unused38 = 0x5A5A;
  return record;
}

GlobalCounters MakeGlobalRecord() {
  GlobalCounters record = {};
  record.Timestamp.dwLowDateTime = 0x89ABCDEFu;
  record.Timestamp.dwHighDateTime = 0x01D9A1B2u;
  unsigned int nValue = 11;
  for (unsigned int* p = &record.Counter1; p <= &record.Reserved; ++p)
    *p = nValue++;
  return record;
}

class DriverControlTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(Control().IsOpen()) << "the simulated driver did not load";
    ASSERT_EQ(S_OK, Control().SetMode(TQSIM_MODE_SCRIPTED));
    ASSERT_EQ(S_OK, Control().Clear(TQSIM_CLEAR_COUNTERS | TQSIM_CLEAR_SCRIPT));
  }
  void TearDown() override {
    Control().SetMode(TQSIM_MODE_SCRIPTED);
    Control().SetClock(0, 1000);
    Control().Clear(TQSIM_CLEAR_COUNTERS | TQSIM_CLEAR_SCRIPT);
  }
  static CSimControl& Control() { return CDriverEnvironment::Control(); }
};

}  // namespace

TEST(ResultCodes, LastErrorFoldsIntoAFailureAndZeroIsNeverSuccess) {
  EXPECT_EQ(static_cast<HRESULT>(0x80004005), HResultFromError(0));
  EXPECT_EQ(static_cast<HRESULT>(0x80070002), HResultFromError(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(static_cast<HRESULT>(0x80070001), HResultFromError(ERROR_INVALID_FUNCTION));
  EXPECT_EQ(static_cast<HRESULT>(0x80072345), HResultFromError(0x00012345));  // only the low 16 bits
  EXPECT_EQ(static_cast<HRESULT>(0x80070057), HResultFromError(0x80070057));  // a failure code stays
}

TEST_F(DriverControlTest, DevicesAreNamedByPrefixAndUnpaddedIndexAndRecordsArriveVerbatim) {
  const WaveCounters out12 = MakeRecord(12), in12 = MakeRecord(112), in0 = MakeRecord(1), out1 = MakeRecord(2);
  ASSERT_EQ(S_OK, Control().SetWaveRecord(12, TQSIM_DIRECTION_OUT, out12));
  ASSERT_EQ(S_OK, Control().SetWaveRecord(12, TQSIM_DIRECTION_IN, in12));
  ASSERT_EQ(S_OK, Control().SetWaveRecord(0, TQSIM_DIRECTION_IN, in0));
  ASSERT_EQ(S_OK, Control().SetWaveRecord(1, TQSIM_DIRECTION_OUT, out1));

  WaveCounters record = Filled<WaveCounters>();
  EXPECT_EQ(S_OK, QueryWaveOutCounters(12, record));
  EXPECT_TRUE(SameBytes(out12, record));
  record = Filled<WaveCounters>();
  EXPECT_EQ(S_OK, QueryWaveInCounters(0, record));
  EXPECT_TRUE(SameBytes(in0, record));
  record = Filled<WaveCounters>();
  EXPECT_EQ(S_OK, QueryDeviceCounters(12, TQ_WAVEIN_PREFIX, record));
  EXPECT_TRUE(SameBytes(in12, record));

  WaitForBalancedStats(12, TQSIM_DIRECTION_IN);
  const std::vector<std::string> expected = {
      "open TqWaveOut12", "request 0x224004 TqWaveOut12", "close TqWaveOut12",
      "open TqWaveIn0",   "request 0x224004 TqWaveIn0",   "close TqWaveIn0",
      "open TqWaveIn12",  "request 0x224004 TqWaveIn12",  "close TqWaveIn12"};
  EXPECT_EQ(expected, DescribeEvents());
}

TEST_F(DriverControlTest, GlobalRecordAndItsTimestampCarryTheSameBytes) {
  const GlobalCounters global = MakeGlobalRecord();
  ASSERT_EQ(S_OK, Control().SetGlobalRecord(global));

  GlobalCounters record = Filled<GlobalCounters>();
  FILETIME timestamp = Filled<FILETIME>();
  ASSERT_EQ(S_OK, QueryGlobalCounters(record, timestamp));
  EXPECT_TRUE(SameBytes(global, record));
  EXPECT_EQ(0, memcmp(&record, &timestamp, sizeof(timestamp)));
  EXPECT_EQ(0x89ABCDEFu, timestamp.dwLowDateTime);
  EXPECT_EQ(0x01D9A1B2u, timestamp.dwHighDateTime);

  WaitForBalancedStats(0, TQSIM_DIRECTION_IN);
  const std::vector<std::string> expected = {"open TqWaveIn0", "request 0x224000 TqWaveIn0", "close TqWaveIn0"};
  EXPECT_EQ(expected, DescribeEvents());
}

TEST_F(DriverControlTest, ShortAnswersLeaveTheRestOfEitherRecordZero) {
  const WaveCounters in5 = MakeRecord(5), out5 = MakeRecord(6);
  ASSERT_EQ(S_OK, Control().SetWaveRecord(5, TQSIM_DIRECTION_IN, in5));
  ASSERT_EQ(S_OK, Control().SetWaveRecord(5, TQSIM_DIRECTION_OUT, out5));
  ASSERT_EQ(S_OK, Control().SetShortAnswer(5, TQSIM_DIRECTION_IN, 10));
  ASSERT_EQ(S_OK, Control().SetShortAnswer(5, TQSIM_DIRECTION_OUT, 0));

  WaveCounters record = Filled<WaveCounters>();
  ASSERT_EQ(S_OK, QueryWaveInCounters(5, record));
  WaveCounters expected = {};
  memcpy(&expected, &in5, 10);
  EXPECT_TRUE(SameBytes(expected, record));

  record = Filled<WaveCounters>();
  ASSERT_EQ(S_OK, QueryWaveOutCounters(5, record));
  EXPECT_TRUE(SameBytes(WaveCounters{}, record));

  // Whole answers again once the short setting is lifted.
  ASSERT_EQ(S_OK, Control().SetShortAnswer(5, TQSIM_DIRECTION_BOTH, TQSIM_FULL_ANSWER));
  ASSERT_EQ(S_OK, QueryWaveInCounters(5, record));
  EXPECT_TRUE(SameBytes(in5, record));

  const GlobalCounters global = MakeGlobalRecord();
  ASSERT_EQ(S_OK, Control().SetGlobalRecord(global));
  ASSERT_EQ(S_OK, Control().SetShortAnswer(0, TQSIM_DIRECTION_IN, 13));
  GlobalCounters globalRecord = Filled<GlobalCounters>();
  FILETIME timestamp = Filled<FILETIME>();
  ASSERT_EQ(S_OK, QueryGlobalCounters(globalRecord, timestamp));
  GlobalCounters expectedGlobal = {};
  memcpy(&expectedGlobal, &global, 13);
  EXPECT_TRUE(SameBytes(expectedGlobal, globalRecord));
  EXPECT_EQ(0, memcmp(&global, &timestamp, sizeof(timestamp)));

  ASSERT_EQ(S_OK, Control().SetShortAnswer(0, TQSIM_DIRECTION_IN, 5));
  globalRecord = Filled<GlobalCounters>();
  timestamp = Filled<FILETIME>();
  ASSERT_EQ(S_OK, QueryGlobalCounters(globalRecord, timestamp));
  memset(&expectedGlobal, 0, sizeof(expectedGlobal));
  memcpy(&expectedGlobal, &global, 5);
  EXPECT_TRUE(SameBytes(expectedGlobal, globalRecord));
  EXPECT_EQ(0, memcmp(&expectedGlobal, &timestamp, sizeof(timestamp)));  // the same truncated 8 bytes
}

TEST_F(DriverControlTest, ResetAllCountersAddressesTheCountedRecordDevicesInOrder) {
  for (unsigned int nDevice = 0; nDevice < 4; ++nDevice) {
    ASSERT_EQ(S_OK, Control().SetWaveRecord(nDevice, TQSIM_DIRECTION_IN, MakeRecord(nDevice)));
    ASSERT_EQ(S_OK, Control().SetWaveRecord(nDevice, TQSIM_DIRECTION_OUT, MakeRecord(nDevice + 10)));
  }
  ASSERT_EQ(S_OK, Control().Clear(TQSIM_CLEAR_COUNTERS));

  ResetAllCounters();

  WaitForBalancedStats(2, TQSIM_DIRECTION_IN);
  const std::vector<std::string> expected = {
      "open TqWaveIn0", "request 0x224008 TqWaveIn0", "close TqWaveIn0",
      "open TqWaveIn1", "request 0x224008 TqWaveIn1", "close TqWaveIn1",
      "open TqWaveIn2", "request 0x224008 TqWaveIn2", "close TqWaveIn2"};
  EXPECT_EQ(expected, DescribeEvents());
  for (unsigned int nDevice = 0; nDevice < 3; ++nDevice) {
    TQSIM_STATS stats = {};
    ASSERT_EQ(S_OK, Control().GetStats(nDevice, TQSIM_DIRECTION_IN, stats));
    EXPECT_EQ(1u, stats.Resets) << "TqWaveIn" << nDevice;
  }

  // The driver zeroed the counters of the reset devices and kept the stream's
  // state; device 3 was not counted by the program and kept everything.
  WaveCounters record = {};
  ASSERT_EQ(S_OK, QueryWaveInCounters(1, record));
  EXPECT_EQ(0, record.Total);
  EXPECT_EQ(0u, record.PacketCount);
  EXPECT_EQ(0u, record.Counter);
  EXPECT_EQ(1u, record.Active);
  EXPECT_EQ(0xC413, record.Port);
  ASSERT_EQ(S_OK, QueryWaveInCounters(3, record));
  EXPECT_TRUE(SameBytes(MakeRecord(3), record));
}

TEST_F(DriverControlTest, MissingOrOverlongPrefixIsInvalidAndOpensNothing) {
  WaveCounters record = Filled<WaveCounters>();
  EXPECT_EQ(static_cast<HRESULT>(0x80070057), QueryDeviceCounters(0, nullptr, record));
  std::wstring longPrefix(300, L'X');
  EXPECT_EQ(static_cast<HRESULT>(0x80070057), QueryDeviceCounters(0, longPrefix.c_str(), record));
  EXPECT_TRUE(SameBytes(Filled<WaveCounters>(), record));
  EXPECT_TRUE(ReadEvents().empty());
}

TEST_F(DriverControlTest, RejectedRequestsReportTheirErrorCloseTheHandleAndLeaveTheRecord) {
  ASSERT_EQ(S_OK, Control().SetWaveRecord(4, TQSIM_DIRECTION_IN, MakeRecord(4)));
  ASSERT_EQ(S_OK, Control().SetFailure(4, TQSIM_DIRECTION_IN, TQSIM_FAIL_REQUEST, kStatusAccessDenied));
  WaveCounters record = Filled<WaveCounters>();
  EXPECT_EQ(static_cast<HRESULT>(0x80070005), QueryWaveInCounters(4, record));
  EXPECT_TRUE(SameBytes(Filled<WaveCounters>(), record));

  // A failure whose last error reads 0 must not pass for success.
  ASSERT_EQ(S_OK, Control().SetFailure(4, TQSIM_DIRECTION_OUT, TQSIM_FAIL_REQUEST, kStatusWithoutError));
  EXPECT_EQ(E_FAIL, QueryWaveOutCounters(4, record));
  EXPECT_TRUE(SameBytes(Filled<WaveCounters>(), record));

  ASSERT_EQ(S_OK, Control().SetGlobalRecord(MakeGlobalRecord()));
  ASSERT_EQ(S_OK, Control().SetFailure(0, TQSIM_DIRECTION_IN, TQSIM_FAIL_REQUEST, kStatusInvalidDeviceRequest));
  GlobalCounters global = Filled<GlobalCounters>();
  FILETIME timestamp = Filled<FILETIME>();
  EXPECT_EQ(static_cast<HRESULT>(0x80070001), QueryGlobalCounters(global, timestamp));
  EXPECT_TRUE(SameBytes(Filled<GlobalCounters>(), global));
  EXPECT_TRUE(SameBytes(Filled<FILETIME>(), timestamp));

  const struct { ULONG nDevice, nDirection; } targets[] = {
      {4, TQSIM_DIRECTION_IN}, {4, TQSIM_DIRECTION_OUT}, {0, TQSIM_DIRECTION_IN}};
  for (const auto& target : targets) {
    TQSIM_STATS stats = WaitForBalancedStats(target.nDevice, target.nDirection);
    EXPECT_EQ(1u, stats.Opens) << target.nDevice << "/" << target.nDirection;
    EXPECT_EQ(1u, stats.Closes) << target.nDevice << "/" << target.nDirection;
    EXPECT_EQ(1u, stats.FailedRequests) << target.nDevice << "/" << target.nDirection;
  }
}

TEST_F(DriverControlTest, RefusedOpensReportTheirErrorAndRequestNothing) {
  ASSERT_EQ(S_OK, Control().SetFailure(6, TQSIM_DIRECTION_OUT, TQSIM_FAIL_OPEN, TQSIM_STATUS_NOT_FOUND));
  WaveCounters record = Filled<WaveCounters>();
  EXPECT_EQ(static_cast<HRESULT>(0x80070002), QueryWaveOutCounters(6, record));
  EXPECT_TRUE(SameBytes(Filled<WaveCounters>(), record));
  EXPECT_TRUE(ReadEvents().empty());

  // The other direction of the device and the device itself once the failure is lifted.
  WaveCounters in6 = MakeRecord(6);
  ASSERT_EQ(S_OK, Control().SetWaveRecord(6, TQSIM_DIRECTION_IN, in6));
  EXPECT_EQ(S_OK, QueryWaveInCounters(6, record));
  EXPECT_TRUE(SameBytes(in6, record));
  ASSERT_EQ(S_OK, Control().SetFailure(6, TQSIM_DIRECTION_OUT, TQSIM_FAIL_OPEN, 0));
  EXPECT_EQ(S_OK, QueryWaveOutCounters(6, record));
  EXPECT_TRUE(SameBytes(WaveCounters{}, record));

  // A device index the driver doesn't have is a missing file too.
  record = Filled<WaveCounters>();
  EXPECT_EQ(static_cast<HRESULT>(0x80070002), QueryWaveInCounters(kDriverDevices, record));
  EXPECT_EQ(static_cast<HRESULT>(0x80070002), QueryWaveOutCounters(-1, record));
  EXPECT_TRUE(SameBytes(Filled<WaveCounters>(), record));
}

namespace {

// What the program's stream model would make of one device's answers.
struct DeviceTrace {
  bool bRunning = false;
  int nStarts = 0;
  int nEnds = 0;
  WaveCounters last = {};
  std::set<ULONG> addresses;
};

}  // namespace

TEST_F(DriverControlTest, DemoMinuteStartsAndEndsStreamsWithAddressesOnEveryDevice) {
  ASSERT_EQ(S_OK, Control().SetMode(TQSIM_MODE_DEMO));
  ASSERT_EQ(S_OK, Control().SetClock(0, 0));  // frozen: the test steps it
  const std::set<unsigned short> knownCodecs = {1, 6, 7, 0x0133};
  std::vector<DeviceTrace> traces(kDriverDevices);
  std::set<unsigned short> codecs;
  GlobalCounters previousGlobal = {};
  LONGLONG previousTime = 0;

  for (int nStep = 0; nStep <= 120; ++nStep) {  // 60 s in half-second refreshes
    int nActive = 0;
    for (int nDevice = 0; nDevice < kDriverDevices; ++nDevice) {
      WaveCounters in = {}, out = {};
      ASSERT_EQ(S_OK, QueryWaveInCounters(nDevice, in));
      ASSERT_EQ(S_OK, QueryWaveOutCounters(nDevice, out));
      DeviceTrace& trace = traces[nDevice];
      if (in.Active != 0) {
        ++nActive;
        EXPECT_NE(0u, out.Active);
        codecs.insert(in.Codec);
        EXPECT_NE(0, in.Port);
        EXPECT_NE(0, out.AddressPort);
        if (trace.last.Active != 0) {  // counters of a running stream only grow
          EXPECT_GE(in.PacketCount, trace.last.PacketCount);
          EXPECT_GE(in.Total, trace.last.Total);
          EXPECT_GE(in.Counter, trace.last.Counter);
        }
        if (out.Address != 0) {
          trace.addresses.insert(out.Address);
          if (!trace.bRunning)
            ++trace.nStarts;
          trace.bRunning = true;
        }
      } else {
        EXPECT_EQ(0u, out.Address);
        if (trace.bRunning)
          ++trace.nEnds;
        trace.bRunning = false;
      }
      trace.last = in;
    }

    GlobalCounters global = {};
    FILETIME timestamp = {};
    ASSERT_EQ(S_OK, QueryGlobalCounters(global, timestamp));
    EXPECT_EQ(static_cast<unsigned>(nActive), global.Counter1) << "step " << nStep;
    LONGLONG time = static_cast<LONGLONG>(static_cast<ULONGLONG>(timestamp.dwHighDateTime) << 32
                                          | timestamp.dwLowDateTime);
    if (nStep > 0) {
      EXPECT_EQ(5000000, time - previousTime);  // the frozen clock moved only by the steps
      for (int k = 0; k < 3; ++k) {
        EXPECT_GE(global.GroupA[k], previousGlobal.GroupA[k]);
        EXPECT_GE(global.GroupB[k], previousGlobal.GroupB[k]);
      }
      EXPECT_GE(global.Counter2, previousGlobal.Counter2);
      EXPECT_GE(global.Counter3, previousGlobal.Counter3);
    }
    previousGlobal = global;
    previousTime = time;
    ASSERT_EQ(S_OK, Control().SetClock(5000000, TQSIM_KEEP_SCALE));
  }

  for (int nDevice = 0; nDevice < kDriverDevices; ++nDevice) {
    EXPECT_GE(traces[nDevice].nStarts, 1) << "device " << nDevice;
    EXPECT_GE(traces[nDevice].nEnds, 1) << "device " << nDevice;
    EXPECT_FALSE(traces[nDevice].addresses.empty()) << "device " << nDevice;
  }
  int nKnown = 0;
  for (unsigned short wCodec : codecs)
    nKnown += knownCodecs.count(wCodec) != 0 ? 1 : 0;
  EXPECT_GE(nKnown, 3) << "the demo should show most of the known codecs";
  EXPECT_GT(previousGlobal.GroupA[0] + previousGlobal.GroupA[1] + previousGlobal.GroupA[2], 0u);
}

TEST_F(DriverControlTest, DemoResetRestartsTheCountersOfARunningStream) {
  ASSERT_EQ(S_OK, Control().SetMode(TQSIM_MODE_DEMO));
  ASSERT_EQ(S_OK, Control().SetClock(0, 0));
  // Step until device 1 has been running for a while.
  WaveCounters before = {};
  for (int nStep = 0; nStep < 200 && before.PacketCount < 40; ++nStep) {
    ASSERT_EQ(S_OK, QueryWaveInCounters(1, before));
    if (before.PacketCount < 40) {
      ASSERT_EQ(S_OK, Control().SetClock(2500000, TQSIM_KEEP_SCALE));
    }
  }
  ASSERT_GE(before.PacketCount, 40u) << "device 1 never ran a stream";

  GlobalCounters globalBefore = {};
  FILETIME timestamp = {};
  ASSERT_EQ(S_OK, QueryGlobalCounters(globalBefore, timestamp));
  ResetAllCounters();

  WaveCounters after = {};
  ASSERT_EQ(S_OK, QueryWaveInCounters(1, after));
  EXPECT_NE(0u, after.Active);
  EXPECT_EQ(0u, after.PacketCount);
  EXPECT_EQ(0, after.Total);
  EXPECT_EQ(before.Port, after.Port);
  EXPECT_EQ(before.Codec, after.Codec);
  GlobalCounters globalAfter = {};
  ASSERT_EQ(S_OK, QueryGlobalCounters(globalAfter, timestamp));
  EXPECT_EQ(globalBefore.Counter1, globalAfter.Counter1);  // streams keep running
  EXPECT_LT(globalAfter.Counter3, globalBefore.Counter3);  // their packets count afresh

  ASSERT_EQ(S_OK, Control().SetClock(10000000, TQSIM_KEEP_SCALE));
  ASSERT_EQ(S_OK, QueryWaveInCounters(1, after));
  if (after.Active != 0) {
    EXPECT_GT(after.PacketCount, 0u);
  }
}

TEST_F(DriverControlTest, DriverRejectsRequestsOutsideTheProtocol) {
  struct Case {
    const wchar_t* pszPath;
    DWORD dwCode;
    DWORD cbOutput;
    DWORD dwError;
  } const cases[] = {
      {L"\\\\.\\TqWaveIn1", IOCTL_GET_GLOBAL_COUNTERS, sizeof(GlobalCounters), ERROR_INVALID_FUNCTION},
      {L"\\\\.\\TqWaveOut0", IOCTL_GET_GLOBAL_COUNTERS, sizeof(GlobalCounters), ERROR_INVALID_FUNCTION},
      {L"\\\\.\\TqWaveOut2", IOCTL_RESET_COUNTERS, 0, ERROR_INVALID_FUNCTION},
      {L"\\\\.\\TqWaveIn2", CTL_CODE(FILE_DEVICE_UNKNOWN, 3, METHOD_BUFFERED, FILE_READ_ACCESS), 0,
       ERROR_INVALID_FUNCTION},
      {L"\\\\.\\TqWaveIn2", IOCTL_GET_WAVE_COUNTERS, sizeof(WaveCounters) - 1, ERROR_INSUFFICIENT_BUFFER},
  };
  for (const Case& test : cases) {
    HANDLE hDevice = OpenDriverDevice(test.pszPath);
    ASSERT_NE(INVALID_HANDLE_VALUE, hDevice);
    GlobalCounters buffer = {};
    DWORD cbReturned = 0;
    SetLastError(0);
    EXPECT_FALSE(DeviceIoControl(hDevice, test.dwCode, nullptr, 0, test.cbOutput != 0 ? &buffer : nullptr,
                                 test.cbOutput, &cbReturned, nullptr));
    EXPECT_EQ(test.dwError, GetLastError()) << "code " << std::hex << test.dwCode;
    CloseHandle(hDevice);
  }
  TQSIM_STATS stats = WaitForBalancedStats(2, TQSIM_DIRECTION_IN);
  EXPECT_EQ(2u, stats.FailedRequests);
  EXPECT_EQ(0u, stats.Resets);
}

TEST_F(DriverControlTest, DemoRecordsFollowTheClockAndRepeatWhenItIsSetBack) {
  ASSERT_EQ(S_OK, Control().SetMode(TQSIM_MODE_DEMO));
  ASSERT_EQ(S_OK, Control().SetClock(0, 0));
  auto snapshot = [](std::vector<WaveCounters>& records, GlobalCounters& global) {
    records.assign(2 * kDriverDevices, WaveCounters{});
    for (int nDevice = 0; nDevice < kDriverDevices; ++nDevice) {
      ASSERT_EQ(S_OK, QueryWaveInCounters(nDevice, records[2 * nDevice]));
      ASSERT_EQ(S_OK, QueryWaveOutCounters(nDevice, records[2 * nDevice + 1]));
    }
    FILETIME timestamp = {};
    ASSERT_EQ(S_OK, QueryGlobalCounters(global, timestamp));
  };

  constexpr LONGLONG kStep = 70000000;  // 7 s
  std::vector<std::vector<WaveCounters>> first(5);
  std::vector<GlobalCounters> firstGlobal(5);
  for (int nStep = 0; nStep < 5; ++nStep) {
    snapshot(first[nStep], firstGlobal[nStep]);
    ASSERT_EQ(S_OK, Control().SetClock(kStep, TQSIM_KEEP_SCALE));
  }
  ASSERT_EQ(S_OK, Control().SetClock(-5 * kStep, TQSIM_KEEP_SCALE));
  for (int nStep = 0; nStep < 5; ++nStep) {
    std::vector<WaveCounters> again;
    GlobalCounters againGlobal = {};
    snapshot(again, againGlobal);
    for (size_t i = 0; i < again.size(); ++i)
      EXPECT_TRUE(SameBytes(first[nStep][i], again[i])) << "step " << nStep << " record " << i;
    EXPECT_TRUE(SameBytes(firstGlobal[nStep], againGlobal)) << "step " << nStep;
    ASSERT_EQ(S_OK, Control().SetClock(kStep, TQSIM_KEEP_SCALE));
  }
  EXPECT_FALSE(SameBytes(firstGlobal[0], firstGlobal[4]));  // and the clock did move them
}
