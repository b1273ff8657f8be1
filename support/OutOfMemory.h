#pragma once
// The one exception the support library throws: the long value E_OUTOFMEMORY,
// for every allocation that fails. Used by the library's sources, not its callers.

#include <windows.h>
#include <oleauto.h>

#include <cstdlib>
#include <memory>

#include "support/AllocationFault.h"

[[noreturn]] inline void ThrowOutOfMemory() { throw static_cast<long>(E_OUTOFMEMORY); }

// Wide buffers from malloc/calloc, which report failure as null instead of throwing.
struct CFreeDeleter {
  void operator()(void* p) const noexcept { free(p); }
};
using CWideBuffer = std::unique_ptr<wchar_t[], CFreeDeleter>;

// The library's allocators: the runtime's and OLE's, except that a test's countdown
// (support/AllocationFault.h) can make any one of them return null.
inline void* CheckedMalloc(size_t cb) noexcept {
  return allocation_fault::ShouldFail() ? nullptr : malloc(cb);
}
inline void* CheckedCalloc(size_t n, size_t cb) noexcept {
  return allocation_fault::ShouldFail() ? nullptr : calloc(n, cb);
}
inline BSTR CheckedSysAllocString(const wchar_t* psz) noexcept {
  return allocation_fault::ShouldFail() ? nullptr : SysAllocString(psz);
}
inline BSTR CheckedSysAllocStringLen(const wchar_t* pch, UINT cch) noexcept {
  return allocation_fault::ShouldFail() ? nullptr : SysAllocStringLen(pch, cch);
}
inline void* CheckedHeapAlloc(size_t cb) noexcept {
  return allocation_fault::ShouldFail() ? nullptr : ::HeapAlloc(::GetProcessHeap(), 0, cb);
}
