#pragma once
// How many driver devices there are: the unbroken run of sub-keys Device000,
// Device001, ... below HKLM\system\CurrentControlSet\services\tqaudio\parameters.

// That key as a user would look it up (messages name it).
constexpr const wchar_t kDeviceKeysLocation[] = L"HKLM\\system\\CurrentControlSet\\services\\tqaudio\\parameters";

// The count, read from the registry at the first call and cached for the rest of
// the process. Never fails: an unreadable registry gives 0.
int GetDeviceCount();

// The same count read now, without the cache. Like GetDeviceCount it creates the
// service and parameters keys when they are missing (where permitted).
int CountDeviceKeys();
