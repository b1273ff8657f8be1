#pragma once
/* The control interface of the simulated audio driver (tqaudio.sys): the control
   device, its requests and records, and the names the installation uses. Shared
   by the driver (C, kernel mode), the tqsim tool and the tests, so it stays plain
   C. All records are little-endian and packed to 4 bytes. */

#include "driver/DriverProtocol.h"

/* Service and file names. The Device%03d keys below the service's "parameters"
   key decide how many devices the driver creates when it loads. */
#define TQSIM_SERVICE_NAME      L"tqaudio"
#define TQSIM_DRIVER_FILE_NAME  L"tqaudio.sys"
#define TQSIM_PARAMETERS_PATH   L"system\\CurrentControlSet\\services\\tqaudio\\parameters"
#define TQSIM_SEED_VALUE        L"Seed"        /* REG_DWORD; 1 when missing */

/* "\\.\TqSimControl" opens the control device. */
#define TQSIM_CONTROL_NAME      L"TqSimControl"

/* The driver never creates more devices than this, whatever the registry holds. */
#define TQSIM_MAX_DEVICES       2048

/* Directions of a device: the record direction (TqWaveIn<n>) and the playback
   direction (TqWaveOut<n>). */
#define TQSIM_DIRECTION_IN      0
#define TQSIM_DIRECTION_OUT     1
#define TQSIM_DIRECTION_BOTH    2          /* wildcard in settings */
#define TQSIM_ALL_DEVICES       0xFFFFFFFFu /* wildcard in settings */

/* Modes: demo computes records from a seeded schedule and the clock; scripted
   answers with the records the control device has set. */
#define TQSIM_MODE_DEMO         0
#define TQSIM_MODE_SCRIPTED     1

/* Control requests. Vendor function numbers start at 0x800. */
#define TQSIM_CTL(fn) CTL_CODE(FILE_DEVICE_UNKNOWN, (fn), METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_TQSIM_GET_INFO          TQSIM_CTL(0x800) /* out TQSIM_INFO */
#define IOCTL_TQSIM_SET_MODE          TQSIM_CTL(0x801) /* in ULONG mode */
#define IOCTL_TQSIM_SET_WAVE_RECORD   TQSIM_CTL(0x802) /* in TQSIM_WAVE_RECORD */
#define IOCTL_TQSIM_SET_GLOBAL_RECORD TQSIM_CTL(0x803) /* in GlobalCounters */
#define IOCTL_TQSIM_SET_SHORT_ANSWER  TQSIM_CTL(0x804) /* in TQSIM_SHORT_ANSWER */
#define IOCTL_TQSIM_SET_FAILURE       TQSIM_CTL(0x805) /* in TQSIM_FAILURE */
#define IOCTL_TQSIM_GET_STATS         TQSIM_CTL(0x806) /* in TQSIM_TARGET, out TQSIM_STATS */
#define IOCTL_TQSIM_GET_EVENTS        TQSIM_CTL(0x807) /* in ULONG first, out TQSIM_EVENT_PAGE + events */
#define IOCTL_TQSIM_CLEAR             TQSIM_CTL(0x808) /* in ULONG TQSIM_CLEAR_* flags */
#define IOCTL_TQSIM_SET_CLOCK         TQSIM_CTL(0x809) /* in TQSIM_CLOCK, out LONGLONG simulated time */

#pragma pack(push, 4)

typedef struct TQSIM_INFO {
  unsigned int Version;             /* TQSIM_VERSION */
  unsigned int DeviceCount;         /* devices created at load */
  unsigned int Mode;                /* TQSIM_MODE_* */
  unsigned int Seed;                /* schedule seed read at load */
  long long SimulatedTime;          /* the driver's clock now, FILETIME units */
  long long LoadTime;               /* the driver's clock at load */
  unsigned int TimeScale;           /* simulated ticks per 1000 real ticks */
  unsigned int EventCapacity;       /* events the log keeps before it drops */
} TQSIM_INFO;
#define TQSIM_VERSION 1

typedef struct TQSIM_TARGET {
  unsigned int Device;              /* index, or TQSIM_ALL_DEVICES where allowed */
  unsigned int Direction;           /* TQSIM_DIRECTION_*, BOTH where allowed */
} TQSIM_TARGET;

/* Scripted record of one device and direction (no wildcards). */
typedef struct TQSIM_WAVE_RECORD {
  TQSIM_TARGET Target;
  WaveCounters Record;
} TQSIM_WAVE_RECORD;

/* Answers of the target carry only the first Bytes bytes of their record (wave or
   global); TQSIM_FULL_ANSWER restores whole answers. Wildcards allowed. */
typedef struct TQSIM_SHORT_ANSWER {
  TQSIM_TARGET Target;
  unsigned int Bytes;
} TQSIM_SHORT_ANSWER;
#define TQSIM_FULL_ANSWER 0xFFFFFFFFu

/* Opens or requests of the target complete with Status (an NTSTATUS); 0 stops
   the failure. Wildcards allowed. Wine opens a device without waiting for the
   driver's answer to the open, so there a failed open would still give a
   handle; an open failure with TQSIM_STATUS_NOT_FOUND therefore also removes
   the device's \DosDevices link, and the open fails with "file not found"
   before it reaches the driver (on Windows as well). */
typedef struct TQSIM_FAILURE {
  TQSIM_TARGET Target;
  unsigned int Operation;           /* TQSIM_FAIL_OPEN or TQSIM_FAIL_REQUEST */
  int Status;
} TQSIM_FAILURE;
#define TQSIM_FAIL_OPEN    0
#define TQSIM_FAIL_REQUEST 1
#define TQSIM_STATUS_NOT_FOUND ((int)0xC0000034) /* STATUS_OBJECT_NAME_NOT_FOUND */

/* Counters of one device and direction since the last clear. */
typedef struct TQSIM_STATS {
  unsigned int Opens;               /* opens that succeeded */
  unsigned int FailedOpens;
  unsigned int Closes;
  unsigned int Requests;            /* every control request, whatever its outcome */
  unsigned int FailedRequests;
  unsigned int Resets;              /* reset requests that succeeded */
} TQSIM_STATS;

/* The ordered event log. Kind TQSIM_EVENT_REQUEST carries the request code. */
typedef struct TQSIM_EVENT {
  unsigned int Sequence;            /* 0, 1, 2, ... since the last clear */
  unsigned short Kind;              /* TQSIM_EVENT_* */
  unsigned short Direction;
  unsigned int Device;
  unsigned int Code;                /* request code, 0 for opens and closes */
  int Status;                       /* NTSTATUS the driver answered with */
} TQSIM_EVENT;
#define TQSIM_EVENT_OPEN    1
#define TQSIM_EVENT_CLOSE   2
#define TQSIM_EVENT_REQUEST 3

/* Answer header of IOCTL_TQSIM_GET_EVENTS, followed by Count events starting at
   sequence First. Events beyond the log's capacity are counted but not kept. */
typedef struct TQSIM_EVENT_PAGE {
  unsigned int Total;               /* events since the last clear */
  unsigned int Stored;              /* events kept: min(Total, capacity) */
  unsigned int First;
  unsigned int Count;
} TQSIM_EVENT_PAGE;

#define TQSIM_CLEAR_COUNTERS 0x1u   /* per-device counters and the event log */
#define TQSIM_CLEAR_SCRIPT   0x2u   /* scripted records, short answers, failures */

/* Moves the simulated clock by Advance (FILETIME units, may be negative) and,
   unless Scale is TQSIM_KEEP_SCALE, lets it run at Scale simulated ticks per 1000
   real ticks from now on (0 freezes it). */
typedef struct TQSIM_CLOCK {
  long long Advance;
  unsigned int Scale;
  unsigned int Reserved;
} TQSIM_CLOCK;
#define TQSIM_KEEP_SCALE 0xFFFFFFFFu
#define TQSIM_MAX_SCALE  1000000u

#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(TQSIM_INFO) == 40, "TQSIM_INFO layout");
static_assert(sizeof(TQSIM_WAVE_RECORD) == 48, "TQSIM_WAVE_RECORD layout");
static_assert(sizeof(TQSIM_EVENT) == 20, "TQSIM_EVENT layout");
static_assert(sizeof(TQSIM_CLOCK) == 16, "TQSIM_CLOCK layout");
#endif
