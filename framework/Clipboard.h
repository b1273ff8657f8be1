#pragma once
// CClipboard: the clipboard held open for one change and closed again on every
// path. Only one window of the desktop can have it open at a time, so a holder
// keeps it no longer than the change takes.

#include <windows.h>

#include <cstddef>

class CClipboard {
public:
  // Opens the clipboard for hOwner; IsOpen() tells whether that worked (another
  // program may hold it).
  explicit CClipboard(HWND hOwner) : m_bOpen(::OpenClipboard(hOwner) != FALSE) {}
  ~CClipboard() {
    if (m_bOpen) ::CloseClipboard();
  }
  CClipboard(const CClipboard&) = delete;
  CClipboard& operator=(const CClipboard&) = delete;

  bool IsOpen() const { return m_bOpen; }

  // Empties the clipboard and puts nLength characters of pszText on it as
  // CF_UNICODETEXT (the system takes the copy). FALSE when the clipboard is not
  // open or the copy cannot be made or handed over.
  BOOL SetText(const wchar_t* pszText, size_t nLength) const;

private:
  bool m_bOpen;
};
