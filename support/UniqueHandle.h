#pragma once
// Move-only owners of one Win32 handle each. The traits say which value means
// "no handle" and how a handle is released; the owner releases on every path.
// Header-only, so that components which do not link the support library (the
// resource loader, the simulated driver's client) can use it as well.

#include <windows.h>
#include <winsvc.h>

#include <utility>

template <typename Traits>
class CUniqueHandle {
public:
  using Handle = typename Traits::Handle;

  CUniqueHandle() noexcept = default;
  explicit CUniqueHandle(Handle handle) noexcept : m_handle(handle) {}
  CUniqueHandle(CUniqueHandle&& other) noexcept : m_handle(other.Detach()) {}
  CUniqueHandle& operator=(CUniqueHandle&& other) noexcept {
    if (this != &other) Attach(other.Detach());
    return *this;
  }
  CUniqueHandle(const CUniqueHandle&) = delete;
  CUniqueHandle& operator=(const CUniqueHandle&) = delete;
  ~CUniqueHandle() { Close(); }

  Handle Get() const noexcept { return m_handle; }
  bool IsValid() const noexcept { return Traits::IsValid(m_handle); }
  explicit operator bool() const noexcept { return IsValid(); }

  // For out-parameters: releases the held handle first.
  Handle* Receive() noexcept {
    Close();
    return &m_handle;
  }
  void Attach(Handle handle) noexcept {
    if (handle != m_handle) Close();
    m_handle = handle;
  }
  Handle Detach() noexcept { return std::exchange(m_handle, Traits::Invalid()); }
  void Close() noexcept {
    if (IsValid()) Traits::Close(m_handle);
    m_handle = Traits::Invalid();
  }

private:
  Handle m_handle = Traits::Invalid();
};

// Files and devices: CreateFileW fails with INVALID_HANDLE_VALUE, while other
// kernel-object calls fail with null, so neither is released.
struct CFileHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle handle) noexcept { return handle != INVALID_HANDLE_VALUE && handle != nullptr; }
  static void Close(Handle handle) noexcept { CloseHandle(handle); }
};

struct CKeyHandleTraits {
  using Handle = HKEY;
  static Handle Invalid() noexcept { return nullptr; }
  static bool IsValid(Handle handle) noexcept { return handle != nullptr; }
  static void Close(Handle handle) noexcept { RegCloseKey(handle); }
};

// FindFirstFileW's search handle: released by FindClose, never CloseHandle.
struct CFindHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle handle) noexcept { return handle != INVALID_HANDLE_VALUE; }
  static void Close(Handle handle) noexcept { FindClose(handle); }
};

// Kernel objects other than files (events, processes, threads): the calls that
// make them fail with null.
struct CKernelHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() noexcept { return nullptr; }
  static bool IsValid(Handle handle) noexcept { return handle != nullptr; }
  static void Close(Handle handle) noexcept { CloseHandle(handle); }
};

// The service control manager and its services.
struct CServiceHandleTraits {
  using Handle = SC_HANDLE;
  static Handle Invalid() noexcept { return nullptr; }
  static bool IsValid(Handle handle) noexcept { return handle != nullptr; }
  static void Close(Handle handle) noexcept { CloseServiceHandle(handle); }
};

using CFileHandle = CUniqueHandle<CFileHandleTraits>;
using CKernelHandle = CUniqueHandle<CKernelHandleTraits>;
using CKeyHandle = CUniqueHandle<CKeyHandleTraits>;
using CFindHandle = CUniqueHandle<CFindHandleTraits>;
using CServiceHandle = CUniqueHandle<CServiceHandleTraits>;
