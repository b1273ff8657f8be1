#pragma once
// The connection to the registry of another machine, and the check of that
// machine's remote-registry service that explains a failed connection in the local
// application event log.

#include <windows.h>

#include "support/RegistryKey.h"

// Connects to hPredefined (HKEY_LOCAL_MACHINE, ...) of pszMachine. On success *ppKey
// is a new key on "Software\Tarquel" of that machine (opened, created when missing),
// which owns the remote root and closes it when deleted; the caller deletes it. On
// failure *ppKey is left alone, the service check reports why, and the connection's
// Win32 number is returned.
LONG ConnectRemoteRegistry(const wchar_t* pszMachine, HKEY hPredefined, CRegistryKey** ppKey);

// Reports an error event of the source "Fernholt_TqOr" in the local application log
// unless the remote-registry service of pszMachine (null: this machine) is running:
// 103 when the service manager, the service or its status cannot be reached, with
// the failing call and its code; 104 when it is not running. The strings are the
// machine name and that message (empty for 104).
void CheckRemoteRegistryService(const wchar_t* pszMachine);
