/* The demo schedule: for each device an endless run of segments (an idle gap,
   then a call), each drawn from a hash of the seed, the device and the segment's
   index, so a seed repeats a run exactly. Gaps and calls are short enough that
   any simulated minute sees a call start and a call end on every device. */

#include "tqaudio/Simulation.h"

static ULONGLONG Mix(ULONGLONG x)
{
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

static ULONGLONG Draw(ULONG seed, ULONG device, ULONGLONG index, ULONG salt)
{
  return Mix(Mix(Mix((ULONGLONG)seed) ^ ((ULONGLONG)device << 32 | salt)) ^ index);
}

/* A value in [low, high], both included. */
static LONGLONG Pick(ULONGLONG random, LONGLONG low, LONGLONG high)
{
  return low + (LONGLONG)(random % (ULONGLONG)(high - low + 1));
}

static USHORT NetworkShort(USHORT value)
{
  return (USHORT)((value >> 8) | (value << 8));
}

static ULONG NetworkAddress(ULONG a, ULONG b, ULONG c, ULONG d)
{
  return (a & 0xFF) | (b & 0xFF) << 8 | (c & 0xFF) << 16 | (d & 0xFF) << 24;
}

static void MakeSegment(const TQ_SIM* sim, ULONG device, ULONGLONG index, LONGLONG start, TQ_SEGMENT* segment)
{
  ULONGLONG r;
  static const USHORT unknownCodecs[] = { 0x0002, 0x0011, 0x0031, 0x0055 };

  RtlZeroMemory(segment, sizeof(*segment));
  segment->Start = start;
  /* The first gap is short so a freshly loaded driver shows calls at once. */
  segment->CallStart = start + (index == 0 ? Pick(Draw(sim->Seed, device, index, 1), 0, 8000)
                                           : Pick(Draw(sim->Seed, device, index, 1), 1000, 12000)) * TQ_TICKS_PER_MS;
  r = Draw(sim->Seed, device, index, 2);
  /* A quarter of the calls are brief, the rest run up to 36 s. */
  segment->CallEnd = segment->CallStart
      + ((r & 3) == 0 ? Pick(r >> 2, 4000, 10000) : Pick(r >> 2, 10000, 36000)) * TQ_TICKS_PER_MS;
  segment->AddressKnown = segment->CallStart + Pick(Draw(sim->Seed, device, index, 3), 300, 2500) * TQ_TICKS_PER_MS;

  r = Draw(sim->Seed, device, index, 4);
  switch (r & 3) {
  case 0: segment->Address = NetworkAddress(10, (ULONG)(r >> 8), (ULONG)(r >> 16), 1 + (ULONG)((r >> 24) % 254)); break;
  case 1: segment->Address = NetworkAddress(172, 16 + (ULONG)((r >> 8) % 16), (ULONG)(r >> 16), 1 + (ULONG)((r >> 24) % 254)); break;
  case 2: segment->Address = NetworkAddress(192, 168, (ULONG)(r >> 16), 1 + (ULONG)((r >> 24) % 254)); break;
  default: segment->Address = NetworkAddress(203, 0, 113, 1 + (ULONG)((r >> 24) % 254)); break;
  }
  r = Draw(sim->Seed, device, index, 5);
  segment->RemotePort = (USHORT)(2 * Pick(r & 0xFFFF, 5000, 10000));   /* RTP ports are even */
  segment->LocalPort = (USHORT)(2 * Pick(r >> 16 & 0xFFFF, 8192, 16383));

  r = Draw(sim->Seed, device, index, 6);
  switch (r % 16) {
  case 0: case 1: case 2: case 3: case 4: case 5: segment->Codec = 7; segment->CodecClass = 0; break;
  case 6: case 7: case 8: case 9: segment->Codec = 6; segment->CodecClass = 0; break;
  case 10: case 11: case 12: segment->Codec = 0x0133; segment->CodecClass = 1; break;
  case 13: case 14: segment->Codec = 1; segment->CodecClass = 2; break;
  default: segment->Codec = unknownCodecs[(r >> 8) % 4]; segment->CodecClass = 2; break;
  }
  segment->PacketTicks = ((r >> 16) & 1 ? 20 : 30) * TQ_TICKS_PER_MS;

  r = Draw(sim->Seed, device, index, 7);
  segment->AverageBase = Pick(r & 0xFFFFFFFF, 20000, 600000);
  segment->Drift = Pick((r >> 32) & 0xFF, 0, 12);
  segment->LossEvery = (ULONG)Pick(r >> 40, 15, 400);
}

static LONGLONG Max64(LONGLONG a, LONGLONG b) { return a > b ? a : b; }
static LONGLONG Min64(LONGLONG a, LONGLONG b) { return a < b ? a : b; }

/* Packets of the segment's call between its start (or the reset) and now. */
static LONGLONG PacketsAt(const TQ_SEGMENT* segment, LONGLONG resetTime, LONGLONG now)
{
  LONGLONG from = Max64(segment->CallStart, resetTime);
  LONGLONG to = Min64(segment->CallEnd, now);
  return to > from ? (to - from) / segment->PacketTicks : 0;
}

/* Adds what the segment's call contributed between resetTime and now. */
static void AddCall(TQ_TOTALS* totals, const TQ_SEGMENT* segment, LONGLONG resetTime, LONGLONG now)
{
  LONGLONG from = Max64(segment->CallStart, resetTime);
  LONGLONG to = Min64(segment->CallEnd, now);
  LONGLONG packets = PacketsAt(segment, resetTime, now);

  if (segment->CallStart >= resetTime && segment->CallStart <= now)
    totals->Started[segment->CodecClass]++;
  if (segment->CallEnd > resetTime && segment->CallEnd <= now)
    totals->Ended++;
  if (to > from)
    totals->TalkTicks[segment->CodecClass] += (ULONGLONG)(to - from);
  totals->Packets += (ULONGLONG)packets;
  totals->Lost += (ULONGLONG)packets / segment->LossEvery;
}

static void Restart(TQ_SIM* sim, ULONG device)
{
  TQ_DEMO_DEVICE* demo = &sim->Devices[device].Demo;
  demo->SegmentIndex = 0;
  MakeSegment(sim, device, 0, sim->LoadTime, &demo->Segment);
  RtlZeroMemory(&demo->Done, sizeof(demo->Done));
}

/* Moves the device's schedule to the segment that holds now. The clock normally
   only goes forward; when it was set back, the schedule is walked again from
   the load time. */
static void Advance(TQ_SIM* sim, ULONG device, LONGLONG now)
{
  TQ_DEMO_DEVICE* demo = &sim->Devices[device].Demo;
  if (now < demo->Segment.Start)
    Restart(sim, device);
  while (now >= demo->Segment.CallEnd) {
    AddCall(&demo->Done, &demo->Segment, demo->ResetTime, demo->Segment.CallEnd);
    demo->SegmentIndex++;
    MakeSegment(sim, device, demo->SegmentIndex, demo->Segment.CallEnd, &demo->Segment);
  }
}

LONGLONG TqRealTime(void)
{
  /* KeQuerySystemTime reads the shared user data page. Wine's kernel emulates
     that read instruction by instruction and knows only plain integer moves,
     while the compiler may load the value into an SSE register; so the load is
     spelled out. */
  const volatile LONGLONG* source = (const volatile LONGLONG*)SharedSystemTime;
  LONGLONG now;
  __asm__ __volatile__("movq (%1), %0" : "=r"(now) : "r"(source) : "memory");
  return now;
}

LONGLONG TqSimTime(const TQ_SIM* sim)
{
  LONGLONG elapsed = TqRealTime() - sim->AnchorReal;
  /* Split so that days of elapsed time times the largest scale cannot overflow. */
  return sim->AnchorSim + (elapsed / 1000) * (LONGLONG)sim->Scale + (elapsed % 1000) * (LONGLONG)sim->Scale / 1000;
}

void TqSetClock(TQ_SIM* sim, LONGLONG advance, ULONG scale)
{
  LONGLONG now = TqSimTime(sim);
  sim->AnchorReal = TqRealTime();
  sim->AnchorSim = now + advance;
  if (scale != TQSIM_KEEP_SCALE)
    sim->Scale = scale;
}

void TqDemoInitialize(TQ_SIM* sim)
{
  ULONG device;
  for (device = 0; device < sim->DeviceCount; device++) {
    sim->Devices[device].Demo.ResetTime = sim->LoadTime;
    Restart(sim, device);
  }
}

void TqDemoWaveRecord(TQ_SIM* sim, ULONG device, ULONG direction, LONGLONG now, WaveCounters* record)
{
  const TQ_DEMO_DEVICE* demo = &sim->Devices[device].Demo;
  const TQ_SEGMENT* segment = &demo->Segment;
  LONGLONG packets;

  Advance(sim, device, now);
  RtlZeroMemory(record, sizeof(*record));
  if (now < segment->CallStart)
    return;  /* idle: a real device reports nothing between calls */

  packets = PacketsAt(segment, demo->ResetTime, now);
  record->Active = 1;
  record->Port = NetworkShort(segment->LocalPort);
  record->Codec = segment->Codec;
  record->PacketCount = (ULONG)packets;
  if (direction == TQSIM_DIRECTION_IN) {
    /* The per-packet value drifts a little as the call goes on. */
    record->Total = packets * segment->AverageBase + segment->Drift * packets * (packets > 0 ? packets - 1 : 0) / 2;
    record->Counter = (ULONG)(packets / segment->LossEvery);
  } else {
    record->Total = packets * (segment->AverageBase / 2);
    record->Counter = (ULONG)(packets / (2 * (LONGLONG)segment->LossEvery));
    record->AddressPort = NetworkShort(segment->RemotePort);
    if (now >= segment->AddressKnown)
      record->Address = segment->Address;
  }
}

void TqDemoGlobalRecord(TQ_SIM* sim, LONGLONG now, GlobalCounters* record)
{
  TQ_TOTALS totals;
  ULONG active = 0;
  ULONG device;
  ULONG k;

  RtlZeroMemory(&totals, sizeof(totals));
  for (device = 0; device < sim->DeviceCount; device++) {
    const TQ_DEMO_DEVICE* demo = &sim->Devices[device].Demo;
    Advance(sim, device, now);
    for (k = 0; k < TQ_CODEC_CLASSES; k++) {
      totals.Started[k] += demo->Done.Started[k];
      totals.TalkTicks[k] += demo->Done.TalkTicks[k];
    }
    totals.Ended += demo->Done.Ended;
    totals.Packets += demo->Done.Packets;
    totals.Lost += demo->Done.Lost;
    AddCall(&totals, &demo->Segment, demo->ResetTime, now);
    if (now >= demo->Segment.CallStart)
      active++;
  }

  RtlZeroMemory(record, sizeof(*record));
  record->Timestamp.dwLowDateTime = (ULONG)now;
  record->Timestamp.dwHighDateTime = (ULONG)((ULONGLONG)now >> 32);
  record->Counter1 = active;
  for (k = 0; k < TQ_CODEC_CLASSES; k++) {
    record->GroupA[k] = totals.Started[k];
    record->GroupB[k] = (ULONG)(totals.TalkTicks[k] / TQ_TICKS_PER_SECOND);
  }
  record->Counter2 = totals.Ended;
  record->Counter3 = (ULONG)totals.Packets;
  record->Counter4 = (ULONG)totals.Lost;
  record->Counter5 = now > sim->LoadTime ? (ULONG)((now - sim->LoadTime) / TQ_TICKS_PER_SECOND) : 0;
}

void TqDemoReset(TQ_SIM* sim, ULONG device, LONGLONG now)
{
  TQ_DEMO_DEVICE* demo = &sim->Devices[device].Demo;
  Advance(sim, device, now);
  demo->ResetTime = now;
  RtlZeroMemory(&demo->Done, sizeof(demo->Done));
}
