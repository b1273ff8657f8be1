#pragma once
// The current resource handle: the module from which every dialog template,
// menu, icon and string is loaded by id. Start-up points it at the language's
// resource module; until then it is the executable's own module.

#include <windows.h>

HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE hInstResource);

// The module that holds resource (name, type): the current resource handle when it
// has it, otherwise the executable's module (which then may not have it either).
HINSTANCE AfxFindResourceHandle(LPCWSTR lpszName, LPCWSTR lpszType);
