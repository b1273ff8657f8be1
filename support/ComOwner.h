#pragma once
// Owns one COM interface pointer and releases it on every path. Move-only in
// spirit: copies are refused so that a pointer is released exactly once.

#include <unknwn.h>

template <typename T>
class CComOwner {
public:
  CComOwner() = default;
  CComOwner(const CComOwner&) = delete;
  CComOwner& operator=(const CComOwner&) = delete;
  ~CComOwner() { Release(); }

  void Release() {
    if (m_p) {
      m_p->Release();
      m_p = nullptr;
    }
  }
  T* get() const { return m_p; }
  T* operator->() const { return m_p; }
  // For CoCreateInstance and QueryInterface: the old pointer is released first.
  void** Receive() {
    Release();
    return reinterpret_cast<void**>(&m_p);
  }

private:
  T* m_p = nullptr;
};
