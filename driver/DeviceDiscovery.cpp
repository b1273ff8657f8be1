#include "driver/DeviceDiscovery.h"

#include "support/RegistryKey.h"
#include "support/WideString.h"

int CountDeviceKeys() {
  int nCount = 0;
  CRegistryKey key(HKEY_LOCAL_MACHINE, L"system", FALSE);
  // Each step opens the key reached so far and creates it when missing, so the
  // driver's parameters key exists afterwards wherever the process may write.
  key.AppendPath(L"CurrentControlSet", TRUE);
  key.AppendPath(L"services", TRUE);
  key.AppendPath(L"tqaudio", TRUE);
  key.AppendPath(L"parameters", TRUE);

  // Only an unbroken run counts: the first device key that does not open ends it.
  // The device keys themselves are never created.
  CWideString strDevice;
  FormatString(strDevice, L"Device%03d", nCount);
  key.AppendPath(strDevice.GetText(), FALSE);
  while (key.Open(FALSE) == ERROR_SUCCESS) {
    ++nCount;
    FormatString(strDevice, L"Device%03d", nCount);
    key.MoveToParent();
    key.AppendPath(strDevice.GetText(), FALSE);
  }
  key.Close();
  return nCount;
}

int GetDeviceCount() {
  // Counted once per process on the GUI thread; devices added later are seen at
  // the next start. The flag is set first so a failed count is not retried.
  static bool s_bCounted = false;
  static int s_nCount = 0;
  if (s_bCounted) return s_nCount;
  s_bCounted = true;
  s_nCount = CountDeviceKeys();
  return s_nCount;
}
