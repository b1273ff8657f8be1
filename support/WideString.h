#pragma once
// CWideString: the support library's text type. The text is an OLE string (BSTR)
// so it can go to COM and to wide Windows functions as it is; a null BSTR is the
// empty string and every operation accepts it. Allocation failure throws the
// long value E_OUTOFMEMORY (0x8007000E); nothing else is thrown.

#include <windows.h>
#include <oleauto.h>

#include <cstdarg>
#include <cstddef>
#include <memory>

class CWideString {
public:
  CWideString() noexcept = default;
  CWideString(const wchar_t* pszText);           // copy up to the first NUL; null stays null
  CWideString(const wchar_t* pch, int nLength);  // nLength characters, NULs kept; null pch gives null
  explicit CWideString(const char* pszText);     // from the ANSI code page; empty gives null
  explicit CWideString(const VARIANT& var);      // VT_BSTR copied, other types converted
  CWideString(const CWideString& other);         // deep copy: copies never share
  CWideString(CWideString&& other) noexcept;
  ~CWideString();

  CWideString& operator=(const CWideString& other);
  CWideString& operator=(CWideString&& other) noexcept;
  CWideString& operator=(const wchar_t* pszText); // null frees and sets null
  CWideString& operator=(const char* pszText);    // old text freed first; empty gives null
  CWideString& operator=(std::nullptr_t) noexcept;
  CWideString& AssignInteger(long nValue);        // decimal text of a 32-bit signed value

  // Ownership of the BSTR itself, for COM calls.
  const wchar_t* GetText() const noexcept { return m_bstr; }  // may be null
  BSTR GetBSTR() const noexcept { return m_bstr; }
  BSTR* Receive() noexcept;                       // frees the text; for out-BSTR arguments
  void Attach(BSTR bstr) noexcept;
  BSTR Detach() noexcept;

  bool IsNull() const noexcept { return m_bstr == nullptr; }
  bool IsEmpty() const noexcept { return Length() == 0; }
  void MakeNonNull();                             // null becomes an allocated ""
  int Length() const noexcept;                    // characters, from the length prefix
  wchar_t operator[](int nIndex) const noexcept { return m_bstr[nIndex]; }

  CWideString& Append(const CWideString& other);  // keeps embedded NULs
  CWideString& operator+=(const CWideString& other) { return Append(other); }
  friend CWideString operator+(const CWideString& left, const CWideString& right);
  friend CWideString operator+(const CWideString& left, const wchar_t* pszRight);
  friend CWideString operator+(const wchar_t* pszLeft, const CWideString& right);

  // Searches return an index or -1 (also for a null text).
  int Find(wchar_t ch) const noexcept;
  int ReverseFind(wchar_t ch) const noexcept;
  int FindOneOf(const wchar_t* pszSet) const noexcept;
  int FindString(const wchar_t* pszSub) const noexcept;

  // Substrings; an empty result is null.
  CWideString Mid(int nStart, int nCount) const;
  CWideString Mid(int nStart) const;
  CWideString Left(int nCount) const;
  CWideString Right(int nCount) const;
  CWideString SpanIncluding(const wchar_t* pszSet) const;
  CWideString SpanExcluding(const wchar_t* pszSet) const;
  void TrimRight();
  void TrimLeft();

  // Replaces %NAME% references by the process environment's values (see the .cpp).
  void ExpandEnvironment();

  // Narrow forms. GetNarrow refreshes the cached ANSI copy (the text is made
  // non-null first) and returns it; it stays valid until the next request or
  // the destructor. GetAscii transliterates that copy to 7-bit letters.
  const char* GetNarrow();
  const char* GetAscii();
  // The same conversion into a holder of the caller's (2 * length + 1 bytes).
  void GetPlainNarrow(std::unique_ptr<char[]>& holder) const;

  static UINT ByteLength(const wchar_t* psz) noexcept;                     // 0 for null
  static bool IsReadableString(const wchar_t* psz, UINT_PTR cchMax) noexcept;
  static bool IsUsableMemory(const void* p, UINT_PTR cb, bool bWrite) noexcept;

private:
  void FreeNarrow() noexcept;
  void Free() noexcept;

  BSTR m_bstr = nullptr;
  char* m_pszNarrow = nullptr;
};

// printf-style formatting with the Microsoft runtime's wide conventions: %s and %c
// take wide text, %S and %C narrow. The target receives the runtime's whole text,
// a NUL written by %c and what follows it included. Returns S_OK; E_INVALIDARG
// (target unchanged) when the format holds a %n conversion, which is never
// honoured; E_FAIL (target unchanged) when the runtime rejects the format;
// E_OUTOFMEMORY (target unchanged) when only the final copy could not be
// allocated. Other allocation failures throw E_OUTOFMEMORY. A null format formats as "".
HRESULT FormatString(CWideString& target, const wchar_t* pszFormat, ...);
HRESULT FormatStringV(CWideString& target, const wchar_t* pszFormat, va_list args);

// The first-try buffer size in characters (without the NUL) that FormatString
// estimates from the format and its arguments. A string argument is read no
// further than its precision. The walk stops at the first conversion that runtimes
// read differently (an unknown letter, a size modifier before a letter it does not
// size): from there on it reads no argument, and FormatString sizes the text with
// the runtime's own count.
size_t EstimateFormatLength(const wchar_t* pszFormat, ...);
size_t EstimateFormatLengthV(const wchar_t* pszFormat, va_list args);
