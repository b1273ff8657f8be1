// tqsim: installs, starts, stops and removes the simulated audio driver in the
// current Windows installation (or Wine prefix) and scripts it from the command
// line through its control device.

#include <windows.h>
#include <shellapi.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "driver/DriverControl.h"
#include "tqaudio/SimClient.h"

namespace {

const char kUsage[] =
    "usage: tqsim <command> [arguments]\n"
    "service:\n"
    "  load <count> [seed] [driver.sys]   install, write the device keys and seed, (re)start\n"
    "  install [driver.sys]               copy the driver to the drivers folder and register it\n"
    "  start | stop | remove | status\n"
    "  devices <count>                    write Device000 ... Device<count-1>\n"
    "  seed <value>                       demo schedule seed (read when the driver starts)\n"
    "control device (driver running):\n"
    "  info\n"
    "  show                               the records every device answers now\n"
    "  mode demo|scripted\n"
    "  set-wave <device> in|out <Total> <PacketCount> <Active> <Port> <Address> <AddressPort> <Counter> <Codec>\n"
    "                                     ports in host order, address dotted or 0\n"
    "  set-global <Counter1> <A0> <A1> <A2> <B0> <B1> <B2> <Counter2> <Counter3> <Counter4> <Counter5>\n"
    "                                     the time stamp is the current time\n"
    "  short <device|all> in|out|both <bytes|full>\n"
    "  fail <device|all> in|out|both open|request <ntstatus|0>\n"
    "  stats <device> in|out\n"
    "  events\n"
    "  clear [counters|script|all]\n"
    "  clock <advance seconds> [scale per mille|keep]\n"
    "The driver file defaults to tqaudio.sys beside tqsim.exe.\n";

class CUsageError {};

std::string Narrow(const wchar_t* text) {
  int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string result(size > 0 ? size - 1 : 0, '\0');
  if (size > 1)
    WideCharToMultiByte(CP_ACP, 0, text, -1, &result[0], size, nullptr, nullptr);
  return result;
}

// Whole-text numbers only: decimal, or hex with 0x.
long long ParseNumber(const wchar_t* text) {
  wchar_t* end = nullptr;
  errno = 0;
  long long value = wcstoll(text, &end, 0);
  if (end == text || *end != L'\0' || errno != 0)
    throw CUsageError();
  return value;
}

unsigned long ParseUnsigned(const wchar_t* text, unsigned long long maximum) {
  long long value = ParseNumber(text);
  if (value < 0 || static_cast<unsigned long long>(value) > maximum)
    throw CUsageError();
  return static_cast<unsigned long>(value);
}

ULONG ParseDevice(const wchar_t* text, bool allowAll) {
  if (allowAll && wcscmp(text, L"all") == 0)
    return TQSIM_ALL_DEVICES;
  return ParseUnsigned(text, TQSIM_MAX_DEVICES - 1);
}

ULONG ParseDirection(const wchar_t* text, bool allowBoth) {
  if (wcscmp(text, L"in") == 0)
    return TQSIM_DIRECTION_IN;
  if (wcscmp(text, L"out") == 0)
    return TQSIM_DIRECTION_OUT;
  if (allowBoth && wcscmp(text, L"both") == 0)
    return TQSIM_DIRECTION_BOTH;
  throw CUsageError();
}

USHORT NetworkShort(unsigned long value) {
  return static_cast<USHORT>(((value & 0xFF) << 8) | ((value >> 8) & 0xFF));
}

// Dotted quad to the network-order value the records carry; "0" is no address.
ULONG ParseAddress(const wchar_t* text) {
  if (wcscmp(text, L"0") == 0)
    return 0;
  unsigned int part[4];
  wchar_t extra;
  if (swscanf(text, L"%u.%u.%u.%u%lc", &part[0], &part[1], &part[2], &part[3], &extra) != 4)
    throw CUsageError();
  for (unsigned int value : part)
    if (value > 255)
      throw CUsageError();
  return part[0] | part[1] << 8 | part[2] << 16 | part[3] << 24;
}

const char* StateName(DWORD state) {
  switch (state) {
  case 0: return "not installed";
  case SERVICE_STOPPED: return "stopped";
  case SERVICE_START_PENDING: return "starting";
  case SERVICE_STOP_PENDING: return "stopping";
  case SERVICE_RUNNING: return "running";
  default: return "in transition";
  }
}

const char* EventName(unsigned short kind) {
  switch (kind) {
  case TQSIM_EVENT_OPEN: return "open";
  case TQSIM_EVENT_CLOSE: return "close";
  case TQSIM_EVENT_REQUEST: return "request";
  default: return "?";
  }
}

HRESULT Report(HRESULT hr, const char* what) {
  if (FAILED(hr))
    fprintf(stderr, "tqsim: %s failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
  return hr;
}

HRESULT RunControl(const std::vector<std::wstring>& args) {
  const std::wstring& command = args[0];
  CSimControl control;
  HRESULT hr = control.Open();
  if (FAILED(hr))
    return Report(hr, "opening the control device (is the driver running?)");

  if (command == L"info" && args.size() == 1) {
    TQSIM_INFO info = {};
    hr = control.GetInfo(info);
    if (SUCCEEDED(hr))
      printf("devices %u, mode %s, seed %u, scale %u/1000, simulated time %lld, loaded at %lld\n",
             info.DeviceCount, info.Mode == TQSIM_MODE_DEMO ? "demo" : "scripted", info.Seed, info.TimeScale,
             info.SimulatedTime, info.LoadTime);
    return Report(hr, "info");
  }
  if (command == L"show" && args.size() == 1) {
    TQSIM_INFO info = {};
    hr = control.GetInfo(info);
    if (FAILED(hr))
      return Report(hr, "info");
    GlobalCounters global = {};
    FILETIME timestamp = {};
    hr = QueryGlobalCounters(global, timestamp);
    if (SUCCEEDED(hr))
      printf("global: active %u, started %u/%u/%u, seconds %u/%u/%u, ended %u, packets %u, lost %u, up %u s\n",
             global.Counter1, global.GroupA[0], global.GroupA[1], global.GroupA[2], global.GroupB[0],
             global.GroupB[1], global.GroupB[2], global.Counter2, global.Counter3, global.Counter4, global.Counter5);
    for (unsigned int device = 0; device < info.DeviceCount; ++device) {
      WaveCounters in = {}, out = {};
      HRESULT hrIn = QueryWaveInCounters(static_cast<int>(device), in);
      HRESULT hrOut = QueryWaveOutCounters(static_cast<int>(device), out);
      if (FAILED(hrIn) || FAILED(hrOut)) {
        printf("%4u: failed 0x%08lX 0x%08lX\n", device, static_cast<unsigned long>(hrIn),
               static_cast<unsigned long>(hrOut));
        continue;
      }
      const unsigned char* address = reinterpret_cast<const unsigned char*>(&out.Address);
      printf("%4u: active %u total %lld packets %u port %u remote %u.%u.%u.%u:%u counter %u codec 0x%04X\n", device,
             in.Active, in.Total, in.PacketCount, NetworkShort(in.Port), address[0], address[1], address[2],
             address[3], NetworkShort(out.AddressPort), in.Counter, in.Codec);
    }
    return S_OK;
  }
  if (command == L"mode" && args.size() == 2) {
    if (args[1] != L"demo" && args[1] != L"scripted")
      throw CUsageError();
    return Report(control.SetMode(args[1] == L"demo" ? TQSIM_MODE_DEMO : TQSIM_MODE_SCRIPTED), "mode");
  }
  if (command == L"set-wave" && args.size() == 11) {
    WaveCounters record = {};
    record.Total = ParseNumber(args[3].c_str());
    record.PacketCount = ParseUnsigned(args[4].c_str(), 0xFFFFFFFFull);
    record.Active = ParseUnsigned(args[5].c_str(), 0xFFFFFFFFull);
    record.Port = NetworkShort(ParseUnsigned(args[6].c_str(), 0xFFFF));
    record.Address = ParseAddress(args[7].c_str());
    record.AddressPort = NetworkShort(ParseUnsigned(args[8].c_str(), 0xFFFF));
    record.Counter = ParseUnsigned(args[9].c_str(), 0xFFFFFFFFull);
    record.Codec = static_cast<unsigned short>(ParseUnsigned(args[10].c_str(), 0xFFFF));
    return Report(control.SetWaveRecord(ParseDevice(args[1].c_str(), false), ParseDirection(args[2].c_str(), false),
                                        record),
                  "set-wave");
  }
  if (command == L"set-global" && args.size() == 12) {
    GlobalCounters record = {};
    GetSystemTimeAsFileTime(&record.Timestamp);
    unsigned int* fields[] = { &record.Counter1, &record.GroupA[0], &record.GroupA[1], &record.GroupA[2],
                               &record.GroupB[0], &record.GroupB[1], &record.GroupB[2], &record.Counter2,
                               &record.Counter3, &record.Counter4, &record.Counter5 };
    for (size_t i = 0; i < 11; ++i)
      *fields[i] = ParseUnsigned(args[i + 1].c_str(), 0xFFFFFFFFull);
    return Report(control.SetGlobalRecord(record), "set-global");
  }
  if (command == L"short" && args.size() == 4) {
    ULONG bytes = args[3] == L"full" ? TQSIM_FULL_ANSWER : ParseUnsigned(args[3].c_str(), sizeof(GlobalCounters));
    return Report(control.SetShortAnswer(ParseDevice(args[1].c_str(), true), ParseDirection(args[2].c_str(), true),
                                         bytes),
                  "short");
  }
  if (command == L"fail" && args.size() == 5) {
    if (args[3] != L"open" && args[3] != L"request")
      throw CUsageError();
    ULONG operation = args[3] == L"open" ? TQSIM_FAIL_OPEN : TQSIM_FAIL_REQUEST;
    LONG status = static_cast<LONG>(ParseUnsigned(args[4].c_str(), 0xFFFFFFFFull));
    return Report(control.SetFailure(ParseDevice(args[1].c_str(), true), ParseDirection(args[2].c_str(), true),
                                     operation, status),
                  "fail");
  }
  if (command == L"stats" && args.size() == 3) {
    TQSIM_STATS stats = {};
    hr = control.GetStats(ParseDevice(args[1].c_str(), false), ParseDirection(args[2].c_str(), false), stats);
    if (SUCCEEDED(hr))
      printf("opens %u, failed opens %u, closes %u, requests %u, failed requests %u, resets %u\n", stats.Opens,
             stats.FailedOpens, stats.Closes, stats.Requests, stats.FailedRequests, stats.Resets);
    return Report(hr, "stats");
  }
  if (command == L"events" && args.size() == 1) {
    std::vector<TQSIM_EVENT> events;
    ULONG dropped = 0;
    hr = control.GetEvents(events, &dropped);
    if (FAILED(hr))
      return Report(hr, "events");
    for (const TQSIM_EVENT& event : events)
      printf("%6u %-7s %s%u code 0x%08X status 0x%08X\n", event.Sequence, EventName(event.Kind),
             event.Direction == TQSIM_DIRECTION_IN ? "TqWaveIn" : "TqWaveOut", event.Device, event.Code,
             static_cast<unsigned int>(event.Status));
    if (dropped != 0)
      printf("(%lu more not kept)\n", static_cast<unsigned long>(dropped));
    return S_OK;
  }
  if (command == L"clear" && args.size() <= 2) {
    ULONG flags = TQSIM_CLEAR_COUNTERS | TQSIM_CLEAR_SCRIPT;
    if (args.size() == 2) {
      if (args[1] == L"counters")
        flags = TQSIM_CLEAR_COUNTERS;
      else if (args[1] == L"script")
        flags = TQSIM_CLEAR_SCRIPT;
      else if (args[1] != L"all")
        throw CUsageError();
    }
    return Report(control.Clear(flags), "clear");
  }
  if (command == L"clock" && (args.size() == 2 || args.size() == 3)) {
    LONGLONG advance = ParseNumber(args[1].c_str());
    if (advance > 7 * 24 * 3600LL || advance < -7 * 24 * 3600LL)
      throw CUsageError();
    ULONG scale = TQSIM_KEEP_SCALE;
    if (args.size() == 3 && args[2] != L"keep")
      scale = ParseUnsigned(args[2].c_str(), TQSIM_MAX_SCALE);
    LONGLONG now = 0;
    hr = control.SetClock(advance * 10000000LL, scale, &now);
    if (SUCCEEDED(hr))
      printf("simulated time %lld\n", now);
    return Report(hr, "clock");
  }
  throw CUsageError();
}

HRESULT Run(const std::vector<std::wstring>& args) {
  const std::wstring& command = args[0];
  if (command == L"load" && args.size() >= 2 && args.size() <= 4) {
    int count = static_cast<int>(ParseUnsigned(args[1].c_str(), TQSIM_MAX_DEVICES));
    DWORD seed = args.size() >= 3 ? ParseUnsigned(args[2].c_str(), 0xFFFFFFFFull) : 1;
    std::wstring file = args.size() >= 4 ? args[3] : SimService::DriverFileBesideProgram();
    return Report(SimService::Load(file.c_str(), count, seed), "load");
  }
  if (command == L"install" && args.size() <= 2) {
    std::wstring file = args.size() == 2 ? args[1] : SimService::DriverFileBesideProgram();
    return Report(SimService::Install(file.c_str()), "install");
  }
  if (command == L"start" && args.size() == 1)
    return Report(SimService::Start(), "start");
  if (command == L"stop" && args.size() == 1)
    return Report(SimService::Stop(), "stop");
  if (command == L"remove" && args.size() == 1)
    return Report(SimService::Remove(), "remove");
  if (command == L"status" && args.size() == 1) {
    printf("%s\n", StateName(SimService::QueryState()));
    return S_OK;
  }
  if (command == L"devices" && args.size() == 2)
    return Report(SimService::SetDeviceKeys(static_cast<int>(ParseUnsigned(args[1].c_str(), TQSIM_MAX_DEVICES))),
                  "devices");
  if (command == L"seed" && args.size() == 2)
    return Report(SimService::SetSeed(ParseUnsigned(args[1].c_str(), 0xFFFFFFFFull)), "seed");
  return RunControl(args);
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr) {
    fprintf(stderr, "tqsim: cannot read the command line\n");
    return 2;
  }
  std::vector<std::wstring> args(argv + 1, argv + argc);
  LocalFree(argv);
  if (args.empty()) {
    fputs(kUsage, stderr);
    return 2;
  }
  try {
    return FAILED(Run(args)) ? 1 : 0;
  } catch (const CUsageError&) {
    fprintf(stderr, "tqsim: bad arguments for \"%s\"\n%s", Narrow(args[0].c_str()).c_str(), kUsage);
    return 2;
  }
}
