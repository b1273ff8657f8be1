#pragma once
// The control protocol between the program and the kernel audio driver: request
// codes and counter records. Included by the program (C++) and by the simulated
// driver (C, kernel mode), so it stays plain C.

#include <stddef.h>

#ifdef DELVORA_KERNEL_MODE
#include <ntddk.h>
#ifndef _FILETIME_
#define _FILETIME_
typedef struct _FILETIME {
  ULONG dwLowDateTime;
  ULONG dwHighDateTime;
} FILETIME;
#endif
#else
#include <windows.h>
#include <winioctl.h>
#endif

#define IOCTL_GET_GLOBAL_COUNTERS CTL_CODE(FILE_DEVICE_UNKNOWN, 0, METHOD_BUFFERED, FILE_READ_ACCESS)
#define IOCTL_GET_WAVE_COUNTERS   CTL_CODE(FILE_DEVICE_UNKNOWN, 1, METHOD_BUFFERED, FILE_READ_ACCESS)
#define IOCTL_RESET_COUNTERS      CTL_CODE(FILE_DEVICE_UNKNOWN, 2, METHOD_BUFFERED, FILE_READ_ACCESS)

/* Device name prefixes of the two directions; "\\.\<prefix><index>" opens one. */
#define TQ_WAVEIN_PREFIX  L"TqWaveIn"
#define TQ_WAVEOUT_PREFIX L"TqWaveOut"

#pragma pack(push, 4)

/* Driver-wide counters, 56 bytes, little-endian, no header. */
typedef struct GlobalCounters {
  FILETIME Timestamp;           /* UTC, 100 ns since 1601 */
  unsigned int Counter1;
  unsigned int GroupA[3];
  unsigned int GroupB[3];
  unsigned int Counter2;
  unsigned int Counter3;
  unsigned int Counter4;
  unsigned int Counter5;
  unsigned int Reserved;
} GlobalCounters;

/* Counters of one device in one direction, 40 bytes. Both directions share the
   layout; some fields are meaningful only in one direction. */
typedef struct WaveCounters {
  long long Total;              /* record direction: accumulator behind the average */
  unsigned int PacketCount;     /* record direction */
  unsigned int Active;          /* record direction: nonzero while a stream runs */
  unsigned int Unused16;
  unsigned short Port;          /* record direction: local port, network order */
  unsigned short Unused22;
  unsigned int Address;         /* playback direction: remote IPv4, network order */
  unsigned short AddressPort;   /* playback direction: remote port, network order */
  unsigned short Unused30;
  unsigned int Counter;         /* record direction */
  unsigned short Codec;         /* record direction: wave-format tag */
  unsigned short Unused38;
} WaveCounters;

#pragma pack(pop)

/* The layouts are fixed by the driver: sizes and the offset of every field read. */
#ifdef __cplusplus
#define DELVORA_LAYOUT_CHECK(cond, what) static_assert(cond, what)
#else
#define DELVORA_LAYOUT_CHECK(cond, what) _Static_assert(cond, what)
#endif

DELVORA_LAYOUT_CHECK(sizeof(GlobalCounters) == 56, "GlobalCounters is 56 bytes");
DELVORA_LAYOUT_CHECK(offsetof(GlobalCounters, Timestamp) == 0, "GlobalCounters.Timestamp");
DELVORA_LAYOUT_CHECK(offsetof(GlobalCounters, Counter1) == 8, "GlobalCounters.Counter1");
DELVORA_LAYOUT_CHECK(offsetof(GlobalCounters, GroupA) == 12, "GlobalCounters.GroupA");
DELVORA_LAYOUT_CHECK(offsetof(GlobalCounters, GroupB) == 24, "GlobalCounters.GroupB");
DELVORA_LAYOUT_CHECK(offsetof(GlobalCounters, Counter2) == 36, "GlobalCounters.Counter2");
DELVORA_LAYOUT_CHECK(offsetof(GlobalCounters, Counter3) == 40, "GlobalCounters.Counter3");
DELVORA_LAYOUT_CHECK(offsetof(GlobalCounters, Counter4) == 44, "GlobalCounters.Counter4");
DELVORA_LAYOUT_CHECK(offsetof(GlobalCounters, Counter5) == 48, "GlobalCounters.Counter5");
DELVORA_LAYOUT_CHECK(offsetof(GlobalCounters, Reserved) == 52, "GlobalCounters.Reserved");

DELVORA_LAYOUT_CHECK(sizeof(WaveCounters) == 40, "WaveCounters is 40 bytes");
DELVORA_LAYOUT_CHECK(offsetof(WaveCounters, Total) == 0, "WaveCounters.Total");
DELVORA_LAYOUT_CHECK(offsetof(WaveCounters, PacketCount) == 8, "WaveCounters.PacketCount");
DELVORA_LAYOUT_CHECK(offsetof(WaveCounters, Active) == 12, "WaveCounters.Active");
DELVORA_LAYOUT_CHECK(offsetof(WaveCounters, Port) == 20, "WaveCounters.Port");
DELVORA_LAYOUT_CHECK(offsetof(WaveCounters, Address) == 24, "WaveCounters.Address");
DELVORA_LAYOUT_CHECK(offsetof(WaveCounters, AddressPort) == 28, "WaveCounters.AddressPort");
DELVORA_LAYOUT_CHECK(offsetof(WaveCounters, Counter) == 32, "WaveCounters.Counter");
DELVORA_LAYOUT_CHECK(offsetof(WaveCounters, Codec) == 36, "WaveCounters.Codec");

DELVORA_LAYOUT_CHECK(IOCTL_GET_GLOBAL_COUNTERS == 0x00224000, "request code");
DELVORA_LAYOUT_CHECK(IOCTL_GET_WAVE_COUNTERS == 0x00224004, "request code");
DELVORA_LAYOUT_CHECK(IOCTL_RESET_COUNTERS == 0x00224008, "request code");
