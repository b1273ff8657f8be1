// Service control, registry parameters and the control device of the simulated driver.

#include "tqaudio/SimClient.h"

#include <cwchar>

#include "support/Win32Result.h"

namespace {

// Registry functions return their error instead of setting the last error.
HRESULT FromStatus(LONG status) {
  return status == ERROR_SUCCESS ? S_OK : HResultFromError(static_cast<DWORD>(status));
}

HRESULT LastError() {
  return HResultFromError(GetLastError());
}

HRESULT OpenParameters(CKeyHandle& key) {
  return FromStatus(RegCreateKeyExW(HKEY_LOCAL_MACHINE, TQSIM_PARAMETERS_PATH, 0, nullptr, 0,
                                    KEY_READ | KEY_WRITE, nullptr, key.Receive(), nullptr));
}

void DeviceKeyName(wchar_t (&name)[32], int index) {
  _snwprintf(name, 31, L"Device%03d", index);
  name[31] = L'\0';
}

// The driver's service opened for `access`. The manager's handle may close before
// the service's: each stands alone.
HRESULT OpenDriverService(DWORD access, CServiceHandle& service) {
  CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager)
    return LastError();
  service.Attach(OpenServiceW(manager.Get(), TQSIM_SERVICE_NAME, access));
  return service ? S_OK : LastError();
}

const HRESULT kServiceMissing = HRESULT_FROM_WIN32(ERROR_SERVICE_DOES_NOT_EXIST);

// Waits until the service leaves its pending state; returns the state reached.
DWORD WaitWhilePending(SC_HANDLE service, DWORD pendingState, SERVICE_STATUS& status) {
  for (int attempt = 0; attempt < 200; ++attempt) {
    if (!QueryServiceStatus(service, &status))
      return 0;
    if (status.dwCurrentState != pendingState)
      return status.dwCurrentState;
    Sleep(50);
  }
  return status.dwCurrentState;
}

}  // namespace

// ---- CSimControl -------------------------------------------------------------

HRESULT CSimControl::Open() {
  // Closed first, so that closing an open handle can't overwrite the open's error.
  m_device.Close();
  m_device.Attach(CreateFileW(L"\\\\.\\" TQSIM_CONTROL_NAME, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr));
  return m_device.IsValid() ? S_OK : LastError();
}

HRESULT CSimControl::Request(DWORD code, const void* input, DWORD inputSize, void* output, DWORD outputSize,
                             DWORD* returned) {
  DWORD bytes = 0;
  if (!m_device.IsValid())
    return HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
  if (!DeviceIoControl(m_device.Get(), code, const_cast<void*>(input), inputSize, output, outputSize, &bytes,
                       nullptr))
    return LastError();
  if (returned != nullptr)
    *returned = bytes;
  return S_OK;
}

HRESULT CSimControl::GetInfo(TQSIM_INFO& info) {
  DWORD returned = 0;
  HRESULT hr = Request(IOCTL_TQSIM_GET_INFO, nullptr, 0, &info, sizeof(info), &returned);
  if (SUCCEEDED(hr) && returned != sizeof(info))
    return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
  return hr;
}

HRESULT CSimControl::SetMode(ULONG mode) {
  return Request(IOCTL_TQSIM_SET_MODE, &mode, sizeof(mode), nullptr, 0);
}

HRESULT CSimControl::SetWaveRecord(ULONG device, ULONG direction, const WaveCounters& record) {
  TQSIM_WAVE_RECORD request = {};
  request.Target.Device = device;
  request.Target.Direction = direction;
  request.Record = record;
  return Request(IOCTL_TQSIM_SET_WAVE_RECORD, &request, sizeof(request), nullptr, 0);
}

HRESULT CSimControl::SetGlobalRecord(const GlobalCounters& record) {
  return Request(IOCTL_TQSIM_SET_GLOBAL_RECORD, &record, sizeof(record), nullptr, 0);
}

HRESULT CSimControl::SetShortAnswer(ULONG device, ULONG direction, ULONG bytes) {
  TQSIM_SHORT_ANSWER request = {};
  request.Target.Device = device;
  request.Target.Direction = direction;
  request.Bytes = bytes;
  return Request(IOCTL_TQSIM_SET_SHORT_ANSWER, &request, sizeof(request), nullptr, 0);
}

HRESULT CSimControl::SetFailure(ULONG device, ULONG direction, ULONG operation, LONG status) {
  TQSIM_FAILURE request = {};
  request.Target.Device = device;
  request.Target.Direction = direction;
  request.Operation = operation;
  request.Status = status;
  return Request(IOCTL_TQSIM_SET_FAILURE, &request, sizeof(request), nullptr, 0);
}

HRESULT CSimControl::GetStats(ULONG device, ULONG direction, TQSIM_STATS& stats) {
  // The request's buffer carries the target in and the counters out.
  union {
    TQSIM_TARGET target;
    TQSIM_STATS stats;
  } buffer = {};
  buffer.target.Device = device;
  buffer.target.Direction = direction;
  HRESULT hr = Request(IOCTL_TQSIM_GET_STATS, &buffer, sizeof(buffer.target), &buffer, sizeof(buffer.stats));
  if (SUCCEEDED(hr))
    stats = buffer.stats;
  return hr;
}

HRESULT CSimControl::GetEvents(std::vector<TQSIM_EVENT>& events, ULONG* dropped) {
  constexpr DWORD kPageEvents = 512;
  std::vector<BYTE> buffer(sizeof(TQSIM_EVENT_PAGE) + kPageEvents * sizeof(TQSIM_EVENT));
  std::vector<TQSIM_EVENT> result;
  ULONG first = 0;
  TQSIM_EVENT_PAGE page = {};
  for (;;) {
    HRESULT hr = Request(IOCTL_TQSIM_GET_EVENTS, &first, sizeof(first), buffer.data(),
                         static_cast<DWORD>(buffer.size()));
    if (FAILED(hr))
      return hr;
    memcpy(&page, buffer.data(), sizeof(page));
    if (page.Count > kPageEvents)
      return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    const auto* pageEvents = reinterpret_cast<const TQSIM_EVENT*>(buffer.data() + sizeof(page));
    result.insert(result.end(), pageEvents, pageEvents + page.Count);
    first += page.Count;
    if (page.Count == 0 || first >= page.Stored)
      break;
  }
  events.swap(result);
  if (dropped != nullptr)
    *dropped = page.Total - page.Stored;
  return S_OK;
}

HRESULT CSimControl::Clear(ULONG flags) {
  return Request(IOCTL_TQSIM_CLEAR, &flags, sizeof(flags), nullptr, 0);
}

HRESULT CSimControl::SetClock(LONGLONG advance, ULONG scale, LONGLONG* simulatedTime) {
  TQSIM_CLOCK request = {};
  request.Advance = advance;
  request.Scale = scale;
  LONGLONG now = 0;
  HRESULT hr = Request(IOCTL_TQSIM_SET_CLOCK, &request, sizeof(request), &now, sizeof(now));
  if (SUCCEEDED(hr) && simulatedTime != nullptr)
    *simulatedTime = now;
  return hr;
}

// ---- SimService ----------------------------------------------------------------

namespace SimService {

HRESULT InstalledDriverPath(wchar_t* path, DWORD capacity) {
  wchar_t system[MAX_PATH];
  UINT length = GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    return LastError();
  int written = _snwprintf(path, capacity, L"%s\\drivers\\%s", system, TQSIM_DRIVER_FILE_NAME);
  if (written < 0 || static_cast<DWORD>(written) >= capacity)
    return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
  return S_OK;
}

std::wstring DriverFileBesideProgram() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)  // unknown or cut short: the current folder's
    return TQSIM_DRIVER_FILE_NAME;
  std::wstring result(path, length);
  return result.substr(0, result.find_last_of(L"\\/") + 1) + TQSIM_DRIVER_FILE_NAME;
}

HRESULT Install(const wchar_t* driverFile) {
  if (driverFile == nullptr)
    return E_INVALIDARG;
  wchar_t target[MAX_PATH];
  HRESULT hr = InstalledDriverPath(target, MAX_PATH);
  if (FAILED(hr))
    return hr;
  // A running driver keeps its file; the copy would fail or not take effect.
  hr = Stop();
  if (FAILED(hr))
    return hr;
  if (!CopyFileW(driverFile, target, FALSE))
    return LastError();

  CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager)
    return LastError();
  CServiceHandle created(CreateServiceW(manager.Get(), TQSIM_SERVICE_NAME, TQSIM_SERVICE_NAME, SERVICE_ALL_ACCESS,
                                        SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, target,
                                        nullptr, nullptr, nullptr, nullptr, nullptr));
  if (created)
    return S_OK;
  if (GetLastError() != ERROR_SERVICE_EXISTS)
    return LastError();
  CServiceHandle existing(OpenServiceW(manager.Get(), TQSIM_SERVICE_NAME, SERVICE_ALL_ACCESS));
  if (!existing)
    return LastError();
  if (!ChangeServiceConfigW(existing.Get(), SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                            target, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr))
    return LastError();
  return S_OK;
}

DWORD QueryState() {
  CServiceHandle service;
  SERVICE_STATUS status = {};
  if (FAILED(OpenDriverService(SERVICE_QUERY_STATUS, service)) || !QueryServiceStatus(service.Get(), &status))
    return 0;
  return status.dwCurrentState;
}

HRESULT Start() {
  CServiceHandle service;
  HRESULT hr = OpenDriverService(SERVICE_START | SERVICE_QUERY_STATUS, service);
  if (FAILED(hr))
    return hr;
  if (!StartServiceW(service.Get(), 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
    return LastError();
  SERVICE_STATUS status = {};
  DWORD state = WaitWhilePending(service.Get(), SERVICE_START_PENDING, status);
  if (state == SERVICE_RUNNING)
    return S_OK;
  // The driver refused to load: its entry's status travels as the exit code.
  if (status.dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR)
    return HResultFromError(status.dwServiceSpecificExitCode);
  return HResultFromError(status.dwWin32ExitCode != 0 ? status.dwWin32ExitCode : ERROR_SERVICE_NOT_ACTIVE);
}

HRESULT Stop() {
  CServiceHandle service;
  HRESULT hr = OpenDriverService(SERVICE_STOP | SERVICE_QUERY_STATUS, service);
  if (FAILED(hr))
    return hr == kServiceMissing ? S_OK : hr;
  SERVICE_STATUS status = {};
  if (!ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) {
    DWORD error = GetLastError();
    if (error != ERROR_SERVICE_NOT_ACTIVE && error != ERROR_SERVICE_CANNOT_ACCEPT_CTRL)
      return HResultFromError(error);
  }
  DWORD state = WaitWhilePending(service.Get(), SERVICE_STOP_PENDING, status);
  if (state == SERVICE_RUNNING)  // stop may not be pending yet: give it one more round
    state = WaitWhilePending(service.Get(), SERVICE_RUNNING, status);
  return state == SERVICE_STOPPED ? S_OK : HRESULT_FROM_WIN32(ERROR_SERVICE_REQUEST_TIMEOUT);
}

HRESULT Remove() {
  HRESULT hr = Stop();
  if (FAILED(hr))
    return hr;
  LONG status = RegDeleteTreeW(HKEY_LOCAL_MACHINE, TQSIM_PARAMETERS_PATH);
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
    return FromStatus(status);
  CServiceHandle service;
  hr = OpenDriverService(DELETE, service);
  if (FAILED(hr) && hr != kServiceMissing)
    return hr;
  if (service && !DeleteService(service.Get()))
    return LastError();
  wchar_t target[MAX_PATH];
  hr = InstalledDriverPath(target, MAX_PATH);
  if (FAILED(hr))
    return hr;
  if (!DeleteFileW(target) && GetLastError() != ERROR_FILE_NOT_FOUND)
    return LastError();
  return S_OK;
}

HRESULT SetDeviceKeys(int count) {
  if (count < 0 || count > TQSIM_MAX_DEVICES)
    return E_INVALIDARG;
  CKeyHandle parameters;
  HRESULT hr = OpenParameters(parameters);
  if (FAILED(hr))
    return hr;
  wchar_t name[32];
  for (int index = 0; index < count; ++index) {
    DeviceKeyName(name, index);
    CKeyHandle device;
    hr = FromStatus(RegCreateKeyExW(parameters.Get(), name, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                                    device.Receive(), nullptr));
    if (FAILED(hr))
      return hr;
  }
  // The run ends at the first missing key; the ones after it would join a later run.
  for (int index = count; index <= TQSIM_MAX_DEVICES; ++index) {
    DeviceKeyName(name, index);
    LONG status = RegDeleteTreeW(parameters.Get(), name);
    if (status == ERROR_FILE_NOT_FOUND)
      break;
    if (status != ERROR_SUCCESS)
      return FromStatus(status);
  }
  return S_OK;
}

HRESULT SetSeed(DWORD seed) {
  CKeyHandle parameters;
  HRESULT hr = OpenParameters(parameters);
  if (FAILED(hr))
    return hr;
  return FromStatus(RegSetValueExW(parameters.Get(), TQSIM_SEED_VALUE, 0, REG_DWORD,
                                   reinterpret_cast<const BYTE*>(&seed), sizeof(seed)));
}

HRESULT Load(const wchar_t* driverFile, int deviceCount, DWORD seed) {
  HRESULT hr = Install(driverFile);
  if (SUCCEEDED(hr))
    hr = SetDeviceKeys(deviceCount);
  if (SUCCEEDED(hr))
    hr = SetSeed(seed);
  if (SUCCEEDED(hr))
    hr = Start();
  return hr;
}

}  // namespace SimService
