#include "framework/Clipboard.h"

#include <cstring>

#include "support/UniqueHandle.h"

namespace {

// Global memory for the clipboard: ours until SetClipboardData takes it.
struct CGlobalMemoryTraits {
  using Handle = HGLOBAL;
  static Handle Invalid() noexcept { return nullptr; }
  static bool IsValid(Handle handle) noexcept { return handle != nullptr; }
  static void Close(Handle handle) noexcept { ::GlobalFree(handle); }
};

}  // namespace

BOOL CClipboard::SetText(const wchar_t* pszText, size_t nLength) const {
  if (!m_bOpen || !::EmptyClipboard()) return FALSE;
  CUniqueHandle<CGlobalMemoryTraits> memory(::GlobalAlloc(GMEM_MOVEABLE, (nLength + 1) * sizeof(wchar_t)));
  if (!memory) return FALSE;
  wchar_t* pCopy = static_cast<wchar_t*>(::GlobalLock(memory.Get()));
  if (!pCopy) return FALSE;
  if (nLength) std::memcpy(pCopy, pszText, nLength * sizeof(wchar_t));
  pCopy[nLength] = L'\0';
  ::GlobalUnlock(memory.Get());
  if (!::SetClipboardData(CF_UNICODETEXT, memory.Get())) return FALSE;
  // The system owns the memory now.
  memory.Detach();
  return TRUE;
}
