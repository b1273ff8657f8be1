#include "framework/Resource.h"

namespace {

// The framework's one piece of resource state; GUI thread only, like the rest.
HINSTANCE& CurrentResourceHandle() {
  static HINSTANCE s_hInstResource = GetModuleHandleW(nullptr);
  return s_hInstResource;
}

}  // namespace

HINSTANCE AfxGetResourceHandle() { return CurrentResourceHandle(); }

void AfxSetResourceHandle(HINSTANCE hInstResource) { CurrentResourceHandle() = hInstResource; }

HINSTANCE AfxFindResourceHandle(LPCWSTR lpszName, LPCWSTR lpszType) {
  HINSTANCE hResource = AfxGetResourceHandle();
  if (hResource != nullptr && FindResourceW(hResource, lpszName, lpszType) != nullptr) return hResource;
  return GetModuleHandleW(nullptr);
}
