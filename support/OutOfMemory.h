#pragma once
// The one exception the support library throws: the long value E_OUTOFMEMORY,
// for every allocation that fails. Used by the library's sources, not its callers.

#include <windows.h>

#include <cstdlib>
#include <memory>

[[noreturn]] inline void ThrowOutOfMemory() { throw static_cast<long>(E_OUTOFMEMORY); }

// Wide buffers from malloc/calloc, which report failure as null instead of throwing.
struct CFreeDeleter {
  void operator()(void* p) const noexcept { free(p); }
};
using CWideBuffer = std::unique_ptr<wchar_t[], CFreeDeleter>;
