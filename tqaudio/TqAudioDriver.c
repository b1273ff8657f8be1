/* tqaudio.sys: a kernel-mode driver that stands in for the audio driver. It
   creates \Device\TqWaveIn<n> and \Device\TqWaveOut<n> for every Device%03d key
   of its parameters, answers the counter requests of the control protocol from a
   demo schedule or from scripted records, and offers \Device\TqSimControl for
   tests: scripted records, short answers, injected failures, counters and an
   ordered log of what the devices were asked. */

#include "tqaudio/Simulation.h"

#define TQ_POOL_TAG 0x64755154u /* "TQud" */
#define TQ_EVENT_CAPACITY 16384
#define TQ_MAX_CLOCK_STEP (7LL * 24 * 3600 * TQ_TICKS_PER_SECOND)

#define TQ_KIND_WAVE    1
#define TQ_KIND_CONTROL 2

typedef struct TQ_DEVICE_EXTENSION {
  ULONG Kind;
  ULONG Device;
  ULONG Direction;
} TQ_DEVICE_EXTENSION;

static TQ_SIM* g_sim;

/* ---- names --------------------------------------------------------------- */

/* Appends the decimal digits of value, at least minDigits of them. Returns the
   new length, or 0 when the buffer would overflow. */
static ULONG AppendDecimal(WCHAR* buffer, ULONG length, ULONG capacity, ULONG value, ULONG minDigits)
{
  WCHAR digits[16];
  ULONG count = 0;
  do {
    digits[count++] = (WCHAR)(L'0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count < minDigits && count < 10)
    digits[count++] = L'0';
  if (length + count + 1 > capacity)
    return 0;
  while (count > 0)
    buffer[length++] = digits[--count];
  buffer[length] = 0;
  return length;
}

static ULONG AppendText(WCHAR* buffer, ULONG length, ULONG capacity, const WCHAR* text)
{
  while (*text != 0) {
    if (length + 2 > capacity)
      return 0;
    buffer[length++] = *text++;
  }
  buffer[length] = 0;
  return length;
}

/* "<root><name><index>", e.g. "\Device\" "TqWaveIn" 12; the index is left out
   when it is ~0 (the control device). */
static void MakeName(WCHAR* buffer, ULONG capacity, const WCHAR* root, const WCHAR* name, ULONG index,
                     UNICODE_STRING* result)
{
  ULONG length = AppendText(buffer, 0, capacity, root);
  length = AppendText(buffer, length, capacity, name);
  if (index != ~0u)
    length = AppendDecimal(buffer, length, capacity, index, 1);
  RtlInitUnicodeString(result, buffer);
}

static const WCHAR* DeviceBaseName(ULONG kind, ULONG direction)
{
  if (kind == TQ_KIND_CONTROL)
    return TQSIM_CONTROL_NAME;
  return direction == TQSIM_DIRECTION_IN ? TQ_WAVEIN_PREFIX : TQ_WAVEOUT_PREFIX;
}

/* ---- registry ------------------------------------------------------------ */

static NTSTATUS OpenKey(HANDLE root, PUNICODE_STRING path, HANDLE* key)
{
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, path, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, root, NULL);
  return ZwOpenKey(key, KEY_READ, &attributes);
}

/* Counts the unbroken run Device000, Device001, ... below the parameters key,
   the way the program counts its devices, and reads the schedule's seed. */
static void ReadParameters(PUNICODE_STRING registryPath, ULONG* deviceCount, ULONG* seed)
{
  HANDLE serviceKey = NULL;
  HANDLE parametersKey = NULL;
  UNICODE_STRING name;
  WCHAR buffer[32];

  *deviceCount = 0;
  *seed = 1;
  if (!NT_SUCCESS(OpenKey(NULL, registryPath, &serviceKey)))
    return;
  RtlInitUnicodeString(&name, L"parameters");
  if (NT_SUCCESS(OpenKey(serviceKey, &name, &parametersKey))) {
    UCHAR valueBuffer[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + sizeof(ULONG)];
    PKEY_VALUE_PARTIAL_INFORMATION value = (PKEY_VALUE_PARTIAL_INFORMATION)valueBuffer;
    ULONG resultLength = 0;

    while (*deviceCount < TQSIM_MAX_DEVICES) {
      HANDLE deviceKey = NULL;
      AppendDecimal(buffer, AppendText(buffer, 0, 32, L"Device"), 32, *deviceCount, 3);
      RtlInitUnicodeString(&name, buffer);
      if (!NT_SUCCESS(OpenKey(parametersKey, &name, &deviceKey)))
        break;
      ZwClose(deviceKey);
      ++*deviceCount;
    }

    RtlInitUnicodeString(&name, TQSIM_SEED_VALUE);
    if (NT_SUCCESS(ZwQueryValueKey(parametersKey, &name, KeyValuePartialInformation, value,
                                   sizeof(valueBuffer), &resultLength))
        && value->Type == REG_DWORD && value->DataLength == sizeof(ULONG))
      RtlCopyMemory(seed, value->Data, sizeof(ULONG));
    ZwClose(parametersKey);
  }
  ZwClose(serviceKey);
}

/* ---- event log and counters ------------------------------------------------ */

static void LogEvent(TQ_SIM* sim, USHORT kind, ULONG device, ULONG direction, ULONG code, NTSTATUS status)
{
  if (sim->EventTotal < sim->EventCapacity) {
    TQSIM_EVENT* event = &sim->Events[sim->EventTotal];
    event->Sequence = sim->EventTotal;
    event->Kind = kind;
    event->Direction = (USHORT)direction;
    event->Device = device;
    event->Code = code;
    event->Status = status;
  }
  if (sim->EventTotal != 0xFFFFFFFFu)
    sim->EventTotal++;
}

static void ClearScript(TQ_SIM* sim)
{
  ULONG device, direction;
  RtlZeroMemory(&sim->ScriptGlobal, sizeof(sim->ScriptGlobal));
  for (device = 0; device < sim->DeviceCount; device++)
    for (direction = 0; direction < 2; direction++) {
      TQ_DIRECTION_STATE* state = &sim->Devices[device].Direction[direction];
      RtlZeroMemory(&state->Script, sizeof(state->Script));
      state->ShortBytes = TQSIM_FULL_ANSWER;
      state->FailOpen = 0;
      state->FailRequest = 0;
    }
}

static void ClearCounters(TQ_SIM* sim)
{
  ULONG device, direction;
  sim->EventTotal = 0;
  for (device = 0; device < sim->DeviceCount; device++)
    for (direction = 0; direction < 2; direction++)
      RtlZeroMemory(&sim->Devices[device].Direction[direction].Stats, sizeof(TQSIM_STATS));
}

/* ---- IRP helpers ----------------------------------------------------------- */

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information)
{
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = NT_SUCCESS(status) ? information : 0;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

static TQ_DEVICE_EXTENSION* ExtensionOf(PDEVICE_OBJECT deviceObject)
{
  return (TQ_DEVICE_EXTENSION*)deviceObject->DeviceExtension;
}

/* ---- wave devices ------------------------------------------------------------ */

static NTSTATUS WaveCreate(const TQ_DEVICE_EXTENSION* ext)
{
  KIRQL irql;
  TQ_DIRECTION_STATE* state = &g_sim->Devices[ext->Device].Direction[ext->Direction];
  NTSTATUS status;

  KeAcquireSpinLock(&g_sim->Lock, &irql);
  status = state->FailOpen != 0 ? state->FailOpen : STATUS_SUCCESS;
  if (NT_SUCCESS(status))
    state->Stats.Opens++;
  else
    state->Stats.FailedOpens++;
  LogEvent(g_sim, TQSIM_EVENT_OPEN, ext->Device, ext->Direction, 0, status);
  KeReleaseSpinLock(&g_sim->Lock, irql);
  return status;
}

static void WaveClose(const TQ_DEVICE_EXTENSION* ext)
{
  KIRQL irql;
  KeAcquireSpinLock(&g_sim->Lock, &irql);
  g_sim->Devices[ext->Device].Direction[ext->Direction].Stats.Closes++;
  LogEvent(g_sim, TQSIM_EVENT_CLOSE, ext->Device, ext->Direction, 0, STATUS_SUCCESS);
  KeReleaseSpinLock(&g_sim->Lock, irql);
}

static ULONG AnswerLength(const TQ_DIRECTION_STATE* state, ULONG recordSize)
{
  return state->ShortBytes < recordSize ? state->ShortBytes : recordSize;
}

static void ResetDevice(TQ_SIM* sim, ULONG device, LONGLONG now)
{
  ULONG direction;
  TqDemoReset(sim, device, now);
  for (direction = 0; direction < 2; direction++) {
    WaveCounters* script = &sim->Devices[device].Direction[direction].Script;
    script->Total = 0;
    script->PacketCount = 0;
    script->Counter = 0;
  }
}

static NTSTATUS WaveControl(const TQ_DEVICE_EXTENSION* ext, ULONG code, void* buffer, ULONG outputLength,
                            ULONG_PTR* information)
{
  KIRQL irql;
  TQ_DIRECTION_STATE* state = &g_sim->Devices[ext->Device].Direction[ext->Direction];
  NTSTATUS status = STATUS_SUCCESS;
  LONGLONG now;

  KeAcquireSpinLock(&g_sim->Lock, &irql);
  now = TqSimTime(g_sim);
  state->Stats.Requests++;
  if (state->FailRequest != 0) {
    status = state->FailRequest;
  } else if (code == IOCTL_GET_GLOBAL_COUNTERS) {
    /* The driver-wide record is asked of TqWaveIn0 only. */
    if (ext->Device != 0 || ext->Direction != TQSIM_DIRECTION_IN) {
      status = STATUS_INVALID_DEVICE_REQUEST;
    } else if (outputLength < sizeof(GlobalCounters)) {
      status = STATUS_BUFFER_TOO_SMALL;
    } else {
      GlobalCounters record;
      if (g_sim->Mode == TQSIM_MODE_SCRIPTED)
        record = g_sim->ScriptGlobal;
      else
        TqDemoGlobalRecord(g_sim, now, &record);
      *information = AnswerLength(state, sizeof(record));
      RtlCopyMemory(buffer, &record, *information);
    }
  } else if (code == IOCTL_GET_WAVE_COUNTERS) {
    if (outputLength < sizeof(WaveCounters)) {
      status = STATUS_BUFFER_TOO_SMALL;
    } else {
      WaveCounters record;
      if (g_sim->Mode == TQSIM_MODE_SCRIPTED)
        record = state->Script;
      else
        TqDemoWaveRecord(g_sim, ext->Device, ext->Direction, now, &record);
      *information = AnswerLength(state, sizeof(record));
      RtlCopyMemory(buffer, &record, *information);
    }
  } else if (code == IOCTL_RESET_COUNTERS && ext->Direction == TQSIM_DIRECTION_IN) {
    ResetDevice(g_sim, ext->Device, now);
    state->Stats.Resets++;
  } else {
    status = STATUS_INVALID_DEVICE_REQUEST;
  }
  if (!NT_SUCCESS(status))
    state->Stats.FailedRequests++;
  LogEvent(g_sim, TQSIM_EVENT_REQUEST, ext->Device, ext->Direction, code, status);
  KeReleaseSpinLock(&g_sim->Lock, irql);
  return status;
}

/* ---- control device ---------------------------------------------------------- */

/* Applies fn to every device and direction the target names; wildcards only
   where allowed. Returns STATUS_INVALID_PARAMETER for a target out of range. */
typedef void (*TARGET_FUNCTION)(TQ_DIRECTION_STATE* state, const void* argument);

static NTSTATUS ForEachTarget(TQ_SIM* sim, const TQSIM_TARGET* target, TARGET_FUNCTION fn, const void* argument)
{
  ULONG firstDevice = target->Device, lastDevice = target->Device;
  ULONG firstDirection = target->Direction, lastDirection = target->Direction;
  ULONG device, direction;

  if (target->Device == TQSIM_ALL_DEVICES) {
    firstDevice = 0;
    lastDevice = sim->DeviceCount - 1;
    if (sim->DeviceCount == 0)
      return STATUS_SUCCESS;
  } else if (target->Device >= sim->DeviceCount) {
    return STATUS_INVALID_PARAMETER;
  }
  if (target->Direction == TQSIM_DIRECTION_BOTH) {
    firstDirection = TQSIM_DIRECTION_IN;
    lastDirection = TQSIM_DIRECTION_OUT;
  } else if (target->Direction > TQSIM_DIRECTION_OUT) {
    return STATUS_INVALID_PARAMETER;
  }
  for (device = firstDevice; device <= lastDevice; device++)
    for (direction = firstDirection; direction <= lastDirection; direction++)
      fn(&sim->Devices[device].Direction[direction], argument);
  return STATUS_SUCCESS;
}

static void SetShortBytes(TQ_DIRECTION_STATE* state, const void* argument)
{
  state->ShortBytes = ((const TQSIM_SHORT_ANSWER*)argument)->Bytes;
}

static void SetFailure(TQ_DIRECTION_STATE* state, const void* argument)
{
  const TQSIM_FAILURE* failure = (const TQSIM_FAILURE*)argument;
  if (failure->Operation == TQSIM_FAIL_OPEN)
    state->FailOpen = failure->Status;
  else
    state->FailRequest = failure->Status;
}

static BOOLEAN IsSingleTarget(const TQ_SIM* sim, const TQSIM_TARGET* target)
{
  return target->Device < sim->DeviceCount && target->Direction <= TQSIM_DIRECTION_OUT;
}

static NTSTATUS ControlRequest(ULONG code, void* buffer, ULONG inputLength, ULONG outputLength,
                               ULONG_PTR* information)
{
  TQ_SIM* sim = g_sim;
  NTSTATUS status = STATUS_SUCCESS;
  KIRQL irql;

  KeAcquireSpinLock(&sim->Lock, &irql);
  switch (code) {
  case IOCTL_TQSIM_GET_INFO:
    if (outputLength < sizeof(TQSIM_INFO)) {
      status = STATUS_BUFFER_TOO_SMALL;
    } else {
      TQSIM_INFO info;
      RtlZeroMemory(&info, sizeof(info));
      info.Version = TQSIM_VERSION;
      info.DeviceCount = sim->DeviceCount;
      info.Mode = sim->Mode;
      info.Seed = sim->Seed;
      info.SimulatedTime = TqSimTime(sim);
      info.LoadTime = sim->LoadTime;
      info.TimeScale = sim->Scale;
      info.EventCapacity = sim->EventCapacity;
      RtlCopyMemory(buffer, &info, sizeof(info));
      *information = sizeof(info);
    }
    break;

  case IOCTL_TQSIM_SET_MODE: {
    ULONG mode;
    if (inputLength < sizeof(ULONG)) {
      status = STATUS_INVALID_PARAMETER;
      break;
    }
    RtlCopyMemory(&mode, buffer, sizeof(mode));
    if (mode != TQSIM_MODE_DEMO && mode != TQSIM_MODE_SCRIPTED)
      status = STATUS_INVALID_PARAMETER;
    else
      sim->Mode = mode;
    break;
  }

  case IOCTL_TQSIM_SET_WAVE_RECORD: {
    TQSIM_WAVE_RECORD request;
    if (inputLength < sizeof(request)) {
      status = STATUS_INVALID_PARAMETER;
      break;
    }
    RtlCopyMemory(&request, buffer, sizeof(request));
    if (!IsSingleTarget(sim, &request.Target))
      status = STATUS_INVALID_PARAMETER;
    else
      sim->Devices[request.Target.Device].Direction[request.Target.Direction].Script = request.Record;
    break;
  }

  case IOCTL_TQSIM_SET_GLOBAL_RECORD:
    if (inputLength < sizeof(GlobalCounters))
      status = STATUS_INVALID_PARAMETER;
    else
      RtlCopyMemory(&sim->ScriptGlobal, buffer, sizeof(GlobalCounters));
    break;

  case IOCTL_TQSIM_SET_SHORT_ANSWER: {
    TQSIM_SHORT_ANSWER request;
    if (inputLength < sizeof(request)) {
      status = STATUS_INVALID_PARAMETER;
      break;
    }
    RtlCopyMemory(&request, buffer, sizeof(request));
    status = ForEachTarget(sim, &request.Target, SetShortBytes, &request);
    break;
  }

  case IOCTL_TQSIM_SET_FAILURE: {
    TQSIM_FAILURE request;
    if (inputLength < sizeof(request)) {
      status = STATUS_INVALID_PARAMETER;
      break;
    }
    RtlCopyMemory(&request, buffer, sizeof(request));
    /* Only failures: a success or pending status would leave the caller waiting. */
    if ((request.Operation != TQSIM_FAIL_OPEN && request.Operation != TQSIM_FAIL_REQUEST)
        || (request.Status != 0 && NT_SUCCESS(request.Status)))
      status = STATUS_INVALID_PARAMETER;
    else
      status = ForEachTarget(sim, &request.Target, SetFailure, &request);
    break;
  }

  case IOCTL_TQSIM_GET_STATS: {
    TQSIM_TARGET target;
    if (inputLength < sizeof(target) || outputLength < sizeof(TQSIM_STATS)) {
      status = STATUS_INVALID_PARAMETER;
      break;
    }
    RtlCopyMemory(&target, buffer, sizeof(target));
    if (!IsSingleTarget(sim, &target)) {
      status = STATUS_INVALID_PARAMETER;
      break;
    }
    RtlCopyMemory(buffer, &sim->Devices[target.Device].Direction[target.Direction].Stats, sizeof(TQSIM_STATS));
    *information = sizeof(TQSIM_STATS);
    break;
  }

  case IOCTL_TQSIM_GET_EVENTS: {
    TQSIM_EVENT_PAGE page;
    ULONG first;
    if (inputLength < sizeof(ULONG) || outputLength < sizeof(page)) {
      status = STATUS_INVALID_PARAMETER;
      break;
    }
    RtlCopyMemory(&first, buffer, sizeof(first));
    page.Total = sim->EventTotal;
    page.Stored = sim->EventTotal < sim->EventCapacity ? sim->EventTotal : sim->EventCapacity;
    page.First = first;
    page.Count = 0;
    if (first < page.Stored) {
      ULONG room = (outputLength - sizeof(page)) / sizeof(TQSIM_EVENT);
      page.Count = page.Stored - first < room ? page.Stored - first : room;
    }
    RtlCopyMemory(buffer, &page, sizeof(page));
    RtlCopyMemory((UCHAR*)buffer + sizeof(page), &sim->Events[first < page.Stored ? first : 0],
                  page.Count * sizeof(TQSIM_EVENT));
    *information = sizeof(page) + page.Count * sizeof(TQSIM_EVENT);
    break;
  }

  case IOCTL_TQSIM_CLEAR: {
    ULONG flags;
    if (inputLength < sizeof(flags)) {
      status = STATUS_INVALID_PARAMETER;
      break;
    }
    RtlCopyMemory(&flags, buffer, sizeof(flags));
    if (flags & TQSIM_CLEAR_COUNTERS)
      ClearCounters(sim);
    if (flags & TQSIM_CLEAR_SCRIPT)
      ClearScript(sim);
    break;
  }

  case IOCTL_TQSIM_SET_CLOCK: {
    TQSIM_CLOCK request;
    if (inputLength < sizeof(request)) {
      status = STATUS_INVALID_PARAMETER;
      break;
    }
    RtlCopyMemory(&request, buffer, sizeof(request));
    /* Bounded so that walking the schedule to the new time stays quick. */
    if (request.Advance > TQ_MAX_CLOCK_STEP || request.Advance < -TQ_MAX_CLOCK_STEP
        || (request.Scale != TQSIM_KEEP_SCALE && request.Scale > TQSIM_MAX_SCALE)) {
      status = STATUS_INVALID_PARAMETER;
      break;
    }
    TqSetClock(sim, request.Advance, request.Scale);
    if (outputLength >= sizeof(LONGLONG)) {
      LONGLONG now = TqSimTime(sim);
      RtlCopyMemory(buffer, &now, sizeof(now));
      *information = sizeof(now);
    }
    break;
  }

  default:
    status = STATUS_INVALID_DEVICE_REQUEST;
    break;
  }
  KeReleaseSpinLock(&sim->Lock, irql);
  return status;
}

/* Removes or restores the \DosDevices links of devices whose opens must fail
   before they reach the driver. Runs outside the lock: link calls may wait. */
static void SyncLinks(void)
{
  ULONG device, direction;
  for (device = 0; device < g_sim->DeviceCount; device++)
    for (direction = 0; direction < 2; direction++) {
      TQ_DIRECTION_STATE* state = &g_sim->Devices[device].Direction[direction];
      BOOLEAN hide;
      KIRQL irql;
      WCHAR nameBuffer[64], linkBuffer[64];
      UNICODE_STRING name, link;

      KeAcquireSpinLock(&g_sim->Lock, &irql);
      hide = state->FailOpen == TQSIM_STATUS_NOT_FOUND;
      KeReleaseSpinLock(&g_sim->Lock, irql);
      if (hide == state->LinkHidden)
        continue;
      MakeName(nameBuffer, 64, L"\\Device\\", DeviceBaseName(TQ_KIND_WAVE, direction), device, &name);
      MakeName(linkBuffer, 64, L"\\DosDevices\\", DeviceBaseName(TQ_KIND_WAVE, direction), device, &link);
      if (hide ? NT_SUCCESS(IoDeleteSymbolicLink(&link)) : NT_SUCCESS(IoCreateSymbolicLink(&link, &name)))
        state->LinkHidden = hide;
    }
}

/* ---- dispatch ------------------------------------------------------------------ */

static NTSTATUS NTAPI DispatchCreate(PDEVICE_OBJECT deviceObject, PIRP irp)
{
  const TQ_DEVICE_EXTENSION* ext = ExtensionOf(deviceObject);
  return Complete(irp, ext->Kind == TQ_KIND_WAVE ? WaveCreate(ext) : STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI DispatchClose(PDEVICE_OBJECT deviceObject, PIRP irp)
{
  const TQ_DEVICE_EXTENSION* ext = ExtensionOf(deviceObject);
  if (ext->Kind == TQ_KIND_WAVE)
    WaveClose(ext);
  return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI DispatchCleanup(PDEVICE_OBJECT deviceObject, PIRP irp)
{
  (void)deviceObject;
  return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI DispatchDeviceControl(PDEVICE_OBJECT deviceObject, PIRP irp)
{
  const TQ_DEVICE_EXTENSION* ext = ExtensionOf(deviceObject);
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  ULONG inputLength = stack->Parameters.DeviceIoControl.InputBufferLength;
  ULONG outputLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
  void* buffer = irp->AssociatedIrp.SystemBuffer;
  ULONG_PTR information = 0;
  NTSTATUS status;

  /* Every request here is buffered; without a buffer only a bare reset makes sense. */
  if (buffer == NULL && (inputLength != 0 || outputLength != 0))
    return Complete(irp, STATUS_INVALID_PARAMETER, 0);
  if (ext->Kind == TQ_KIND_WAVE)
    status = WaveControl(ext, code, buffer, outputLength, &information);
  else
    status = ControlRequest(code, buffer, inputLength, outputLength, &information);
  if (ext->Kind == TQ_KIND_CONTROL && NT_SUCCESS(status) && (code == IOCTL_TQSIM_SET_FAILURE || code == IOCTL_TQSIM_CLEAR))
    SyncLinks();
  return Complete(irp, status, information);
}

/* ---- load and unload -------------------------------------------------------------- */

static void DeleteDevices(PDRIVER_OBJECT driverObject)
{
  while (driverObject->DeviceObject != NULL) {
    PDEVICE_OBJECT deviceObject = driverObject->DeviceObject;
    const TQ_DEVICE_EXTENSION* ext = ExtensionOf(deviceObject);
    WCHAR buffer[64];
    UNICODE_STRING link;
    MakeName(buffer, 64, L"\\DosDevices\\", DeviceBaseName(ext->Kind, ext->Direction),
             ext->Kind == TQ_KIND_WAVE ? ext->Device : ~0u, &link);
    IoDeleteSymbolicLink(&link);
    IoDeleteDevice(deviceObject);
  }
}

static void FreeSimulation(void)
{
  if (g_sim == NULL)
    return;
  if (g_sim->Events != NULL)
    ExFreePool(g_sim->Events);
  if (g_sim->Devices != NULL)
    ExFreePool(g_sim->Devices);
  ExFreePool(g_sim);
  g_sim = NULL;
}

static VOID NTAPI DriverUnload(PDRIVER_OBJECT driverObject)
{
  DeleteDevices(driverObject);
  FreeSimulation();
}

static NTSTATUS CreateOneDevice(PDRIVER_OBJECT driverObject, ULONG kind, ULONG device, ULONG direction)
{
  const WCHAR* base = DeviceBaseName(kind, direction);
  ULONG index = kind == TQ_KIND_WAVE ? device : ~0u;
  WCHAR nameBuffer[64], linkBuffer[64];
  UNICODE_STRING name, link;
  PDEVICE_OBJECT deviceObject = NULL;
  TQ_DEVICE_EXTENSION* ext;
  NTSTATUS status;

  MakeName(nameBuffer, 64, L"\\Device\\", base, index, &name);
  MakeName(linkBuffer, 64, L"\\DosDevices\\", base, index, &link);
  status = IoCreateDevice(driverObject, sizeof(TQ_DEVICE_EXTENSION), &name, FILE_DEVICE_UNKNOWN,
                          FILE_DEVICE_SECURE_OPEN, FALSE, &deviceObject);
  if (!NT_SUCCESS(status))
    return status;
  ext = ExtensionOf(deviceObject);
  ext->Kind = kind;
  ext->Device = device;
  ext->Direction = direction;
  status = IoCreateSymbolicLink(&link, &name);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(deviceObject);
    return status;
  }
  deviceObject->Flags |= DO_BUFFERED_IO;
  deviceObject->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}

static NTSTATUS CreateSimulation(PUNICODE_STRING registryPath)
{
  ULONG deviceCount, seed;

  ReadParameters(registryPath, &deviceCount, &seed);
  g_sim = (TQ_SIM*)ExAllocatePoolWithTag(NonPagedPool, sizeof(TQ_SIM), TQ_POOL_TAG);
  if (g_sim == NULL)
    return STATUS_INSUFFICIENT_RESOURCES;
  RtlZeroMemory(g_sim, sizeof(*g_sim));
  KeInitializeSpinLock(&g_sim->Lock);
  g_sim->DeviceCount = deviceCount;
  g_sim->Seed = seed;
  g_sim->Mode = TQSIM_MODE_DEMO;
  g_sim->Scale = 1000;
  g_sim->AnchorReal = TqRealTime();
  g_sim->AnchorSim = g_sim->AnchorReal;
  g_sim->LoadTime = g_sim->AnchorSim;
  g_sim->EventCapacity = TQ_EVENT_CAPACITY;
  g_sim->Events = (TQSIM_EVENT*)ExAllocatePoolWithTag(NonPagedPool, TQ_EVENT_CAPACITY * sizeof(TQSIM_EVENT),
                                                      TQ_POOL_TAG);
  /* One entry even without devices keeps the allocation well defined. */
  g_sim->Devices = (TQ_DEVICE_STATE*)ExAllocatePoolWithTag(
      NonPagedPool, (deviceCount != 0 ? deviceCount : 1) * sizeof(TQ_DEVICE_STATE), TQ_POOL_TAG);
  if (g_sim->Events == NULL || g_sim->Devices == NULL)
    return STATUS_INSUFFICIENT_RESOURCES;
  RtlZeroMemory(g_sim->Devices, (deviceCount != 0 ? deviceCount : 1) * sizeof(TQ_DEVICE_STATE));
  ClearScript(g_sim);
  TqDemoInitialize(g_sim);
  return STATUS_SUCCESS;
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath)
{
  NTSTATUS status;
  ULONG device;

  status = CreateSimulation(registryPath);
  if (NT_SUCCESS(status))
    status = CreateOneDevice(driverObject, TQ_KIND_CONTROL, 0, 0);
  for (device = 0; NT_SUCCESS(status) && device < g_sim->DeviceCount; device++) {
    status = CreateOneDevice(driverObject, TQ_KIND_WAVE, device, TQSIM_DIRECTION_IN);
    if (NT_SUCCESS(status))
      status = CreateOneDevice(driverObject, TQ_KIND_WAVE, device, TQSIM_DIRECTION_OUT);
  }
  if (!NT_SUCCESS(status)) {
    DeleteDevices(driverObject);
    FreeSimulation();
    return status;
  }

  driverObject->MajorFunction[IRP_MJ_CREATE] = DispatchCreate;
  driverObject->MajorFunction[IRP_MJ_CLOSE] = DispatchClose;
  driverObject->MajorFunction[IRP_MJ_CLEANUP] = DispatchCleanup;
  driverObject->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
  driverObject->DriverUnload = DriverUnload;
  return STATUS_SUCCESS;
}
