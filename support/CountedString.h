#pragma once
// CCountedString: a wide string whose text is shared between copies by a reference
// count and copied only before a change. The object holds one pointer, to the text;
// a CStringHeader lies in front of it. Texts of up to 512 characters live in the four
// block pools (support/BlockPool.h), longer ones on the process heap. Copies may be
// made and dropped on several threads; a single object is not guarded. Allocation
// failure throws the long value E_OUTOFMEMORY and leaves the object as it was.

#include <windows.h>

struct CStringHeader {
  // Objects sharing the text; -1 marks a locked text or the shared empty text.
  // Changed only with interlocked operations.
  volatile LONG nReferences;
  LONG nLength;    // characters in use; the text is NUL-terminated there
  LONG nCapacity;  // characters that fit, without the NUL; names the storage class

  wchar_t* Text() noexcept { return reinterpret_cast<wchar_t*>(this + 1); }
};

class CCountedString {
public:
  CCountedString() noexcept;
  CCountedString(const CCountedString& other);   // shares, unless other is locked
  // Wide text; a value of at most 0xFFFF in place of the pointer is a string
  // resource id, loaded with LoadText from hModule (null: the executable).
  CCountedString(const wchar_t* pszText, HINSTANCE hModule = nullptr);
  explicit CCountedString(const char* pszText);  // from the ANSI code page
  ~CCountedString();

  // Shares, unless either side is locked: then the text is copied (a locked target
  // keeps its storage while the text fits).
  CCountedString& operator=(const CCountedString& other);
  CCountedString& operator=(const wchar_t* pszText);
  CCountedString& operator=(const char* pszText);

  friend CCountedString operator+(const CCountedString& left, const CCountedString& right);
  friend CCountedString operator+(const CCountedString& left, const wchar_t* pszRight);
  friend CCountedString operator+(const wchar_t* pszLeft, const CCountedString& right);

  // In place while the text is not shared and fits, otherwise into a new text.
  CCountedString& operator+=(const wchar_t* pszText);
  CCountedString& operator+=(wchar_t ch);
  CCountedString& operator+=(const CCountedString& other);

  int GetLength() const noexcept { return Header()->nLength; }
  bool IsEmpty() const noexcept { return Header()->nLength == 0; }
  const wchar_t* GetString() const noexcept { return m_pchData; }
  operator const wchar_t*() const noexcept { return m_pchData; }
  wchar_t GetAt(int nIndex) const noexcept { return m_pchData[nIndex]; }
  // The header, for tests and diagnostics.
  const CStringHeader* GetHeader() const noexcept { return Header(); }

  // A private text of at least nMinCapacity characters (the length kept), for
  // writing up to the capacity. ReleaseWriteBuffer sets the length to nLength, or up
  // to the first NUL when nLength is -1; a length beyond the capacity is cut to it.
  wchar_t* GetWriteBuffer(int nMinCapacity);
  void ReleaseWriteBuffer(int nLength = -1);
  wchar_t* SetWriteLength(int nLength);
  // Moves the text to the storage class of its length. A locked text stays where
  // it is, since its owner may hold its buffer.
  void Compact();
  // A locked text is never shared: copies of it are copies.
  wchar_t* LockText();
  void UnlockText() noexcept;
  // A locked text is emptied in place and stays locked.
  void Empty() noexcept;

  // Indexes, or -1. Find starts at nStart (below 0 counts as 0).
  int Find(wchar_t ch, int nStart = 0) const noexcept;
  int FindOneOf(const wchar_t* pszSet) const noexcept;

  void MakeUpper();
  void MakeLower();
  void MakeReverse();
  void SetAt(int nIndex, wchar_t ch);  // an index outside the text is ignored

  // The string resource nId of hModule (null: the executable), of any length.
  // True when something was loaded; otherwise the string is emptied.
  bool LoadText(HINSTANCE hModule, UINT nId);

  // strOut = the field after nField separators of pszText. False, with strOut
  // empty, when the text ends first.
  static bool ExtractField(CCountedString& strOut, const wchar_t* pszText, int nField, wchar_t chSeparator);

private:
  CStringHeader* Header() const noexcept { return reinterpret_cast<CStringHeader*>(m_pchData) - 1; }
  bool IsShared() const noexcept { return Header()->nReferences > 1; }
  bool IsLocked() const noexcept;
  void AssignCopy(const wchar_t* pch, int nLength);
  void AppendCopy(const wchar_t* pch, int nLength);
  void MakePrivate();

  wchar_t* m_pchData;
};
