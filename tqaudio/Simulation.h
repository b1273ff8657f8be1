#pragma once
/* State of the simulated audio driver and its demo schedule. Every function here
   runs with TQ_SIM.Lock held; none of them allocates, waits or needs a timer:
   the demo records are computed from the clock when they are asked for. */

#include <ntddk.h>

#include "tqaudio/SimControl.h"

#define TQ_TICKS_PER_MS     10000LL
#define TQ_TICKS_PER_SECOND 10000000LL

/* Codec classes of the global record's parallel groups: G.711, G.729, other. */
#define TQ_CODEC_CLASSES 3

/* One stretch of a device's demo schedule: an idle gap, then a call. */
typedef struct TQ_SEGMENT {
  LONGLONG Start;                 /* the gap begins */
  LONGLONG CallStart;
  LONGLONG CallEnd;               /* the next segment begins here */
  LONGLONG AddressKnown;          /* the remote address is reported from here on */
  ULONG Address;                  /* remote IPv4, network byte order */
  USHORT RemotePort;              /* host byte order */
  USHORT LocalPort;               /* host byte order */
  USHORT Codec;                   /* wave-format tag */
  USHORT CodecClass;
  LONGLONG PacketTicks;           /* time between two packets */
  LONGLONG AverageBase;           /* per packet, in the record's 0.0001 units */
  LONGLONG Drift;                 /* growth of the per-packet value per packet */
  ULONG LossEvery;                /* one lost packet in so many */
} TQ_SEGMENT;

/* What a device's calls add to the global record since the device's reset. */
typedef struct TQ_TOTALS {
  ULONG Started[TQ_CODEC_CLASSES];
  ULONG Ended;
  ULONGLONG TalkTicks[TQ_CODEC_CLASSES];
  ULONGLONG Packets;
  ULONGLONG Lost;
} TQ_TOTALS;

typedef struct TQ_DEMO_DEVICE {
  ULONGLONG SegmentIndex;
  TQ_SEGMENT Segment;             /* the segment that holds the latest time asked for */
  LONGLONG ResetTime;             /* counters count from here */
  TQ_TOTALS Done;                 /* segments before Segment, from ResetTime on */
} TQ_DEMO_DEVICE;

typedef struct TQ_DIRECTION_STATE {
  WaveCounters Script;            /* scripted mode's answer */
  ULONG ShortBytes;               /* TQSIM_FULL_ANSWER or the bytes an answer carries */
  NTSTATUS FailOpen;              /* 0 or the status opens complete with */
  NTSTATUS FailRequest;           /* 0 or the status requests complete with */
  BOOLEAN LinkHidden;             /* the \DosDevices link is removed (see TQSIM_FAILURE) */
  TQSIM_STATS Stats;
} TQ_DIRECTION_STATE;

typedef struct TQ_DEVICE_STATE {
  TQ_DIRECTION_STATE Direction[2];
  TQ_DEMO_DEVICE Demo;
} TQ_DEVICE_STATE;

typedef struct TQ_SIM {
  KSPIN_LOCK Lock;
  ULONG DeviceCount;
  ULONG Mode;
  ULONG Seed;
  LONGLONG LoadTime;              /* simulated clock at load */
  /* Simulated clock: AnchorSim + (real - AnchorReal) * Scale / 1000. */
  LONGLONG AnchorReal;
  LONGLONG AnchorSim;
  ULONG Scale;
  GlobalCounters ScriptGlobal;
  TQSIM_EVENT* Events;
  ULONG EventCapacity;
  ULONG EventTotal;
  TQ_DEVICE_STATE* Devices;       /* DeviceCount entries */
} TQ_SIM;

LONGLONG TqRealTime(void);
LONGLONG TqSimTime(const TQ_SIM* sim);
void TqSetClock(TQ_SIM* sim, LONGLONG advance, ULONG scale);

/* Puts every device's schedule at its start (the load time) with counters from it. */
void TqDemoInitialize(TQ_SIM* sim);
void TqDemoWaveRecord(TQ_SIM* sim, ULONG device, ULONG direction, LONGLONG now, WaveCounters* record);
void TqDemoGlobalRecord(TQ_SIM* sim, LONGLONG now, GlobalCounters* record);
void TqDemoReset(TQ_SIM* sim, ULONG device, LONGLONG now);
