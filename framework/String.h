#pragma once
// CString: the framework's UTF-16 text value. Formatting follows the MS C
// runtime's wide conventions (%s takes a wide string); every formatting path
// refuses the %n conversion because formats can come from a resource module.

#include <windows.h>

#include <cstdarg>
#include <cstddef>
#include <string>
#include <type_traits>

class CString {
public:
  CString() = default;
  CString(const wchar_t* psz);                 // null gives the empty text
  CString(const wchar_t* pch, int nLength);    // exactly nLength units (embedded NULs kept)
  CString(wchar_t ch, int nRepeat = 1);
  CString(const CString&) = default;
  CString(CString&&) noexcept = default;
  CString& operator=(const CString&) = default;
  CString& operator=(CString&&) noexcept = default;
  CString& operator=(const wchar_t* psz);
  CString& operator=(wchar_t ch);

  int GetLength() const { return static_cast<int>(m_str.size()); }
  bool IsEmpty() const { return m_str.empty(); }
  void Empty() { m_str.clear(); }

  // Index must lie in [0, GetLength()); outside it the result is NUL and SetAt does nothing.
  wchar_t GetAt(int nIndex) const;
  wchar_t operator[](int nIndex) const { return GetAt(nIndex); }
  void SetAt(int nIndex, wchar_t ch);

  operator const wchar_t*() const { return m_str.c_str(); }
  const wchar_t* GetString() const { return m_str.c_str(); }

  CString& operator+=(const CString& str);
  CString& operator+=(const wchar_t* psz);
  CString& operator+=(wchar_t ch);

  friend CString operator+(const CString& lhs, const CString& rhs);
  friend CString operator+(const CString& lhs, const wchar_t* rhs);
  friend CString operator+(const wchar_t* lhs, const CString& rhs);
  friend CString operator+(const CString& lhs, wchar_t rhs);
  friend CString operator+(wchar_t lhs, const CString& rhs);

  // Code-unit order, as wcscmp: <0, 0 or >0.
  int Compare(const wchar_t* psz) const;
  int CompareNoCase(const wchar_t* psz) const;

  // Substrings; out-of-range arguments are clamped to the text.
  CString Mid(int nFirst) const;
  CString Mid(int nFirst, int nCount) const;
  CString Left(int nCount) const;
  CString Right(int nCount) const;

  CString& MakeUpper();
  CString& MakeLower();
  CString& MakeReverse();
  CString& TrimLeft();
  CString& TrimRight();
  CString& Trim();

  // Returns the number of replacements.
  int Replace(wchar_t chOld, wchar_t chNew);
  int Replace(const wchar_t* pszOld, const wchar_t* pszNew);
  int Remove(wchar_t ch);
  int Insert(int nIndex, wchar_t ch);
  int Insert(int nIndex, const wchar_t* psz);
  int Delete(int nIndex, int nCount = 1);

  // Index of the first occurrence at or after nStart, or -1.
  int Find(wchar_t ch, int nStart = 0) const;
  int Find(const wchar_t* pszSub, int nStart = 0) const;
  int ReverseFind(wchar_t ch) const;
  int FindOneOf(const wchar_t* pszCharSet) const;

  // A writable buffer of at least nMinBufLength units (plus a NUL) holding the
  // current text. ReleaseBuffer(-1) takes the length up to the first NUL.
  wchar_t* GetBuffer(int nMinBufLength = 0);
  wchar_t* GetBufferSetLength(int nNewLength);
  void ReleaseBuffer(int nNewLength = -1);

  // printf-style with the MS runtime's wide conventions. Returns false, leaving
  // the text empty, for a null format, a format with %n, or a formatting failure.
  bool Format(const wchar_t* pszFormat, ...);
  bool FormatV(const wchar_t* pszFormat, va_list args);

  // Message-style insertion (%1 to %99, FormatMessageW rules). Each insert is a
  // wide text (const wchar_t* or CString) or an integer for a %1!d!-style insert.
  // Inserts the template names but the caller did not pass read as empty text,
  // so a template from a resource module can never read beyond the arguments; a
  // template that would read an integer insert as text is refused.
  // Returns false, leaving the text empty, when the template cannot be formatted.
  template <typename... Inserts>
  bool FormatMessage(const wchar_t* pszTemplate, const Inserts&... inserts) {
    static_assert(sizeof...(Inserts) <= kMaxInserts, "FormatMessage takes at most 99 inserts");
    const DWORD_PTR given[sizeof...(Inserts) + 1] = {InsertArg(inserts)..., 0};
    const bool isText[sizeof...(Inserts) + 1] = {IsTextInsert(inserts)..., true};
    return FormatMessageArray(pszTemplate, given, sizeof...(Inserts), isText);
  }
  // The same with the inserts as an array of DWORD_PTR values; pIsText, when given,
  // says which of them are texts (the others are integers).
  bool FormatMessageArray(const wchar_t* pszTemplate, const DWORD_PTR* pInserts, size_t nInserts,
                          const bool* pIsText = nullptr);

  // Loads string resource nID from the current resource handle (AfxGetResourceHandle).
  // Returns false, leaving the text empty, when the module has no such string.
  bool LoadString(UINT nID);
  bool LoadString(HINSTANCE hInstance, UINT nID);

  const std::wstring& Str() const { return m_str; }

  static constexpr size_t kMaxInserts = 99;

private:
  static DWORD_PTR InsertArg(const wchar_t* psz) { return reinterpret_cast<DWORD_PTR>(psz ? psz : L""); }
  static DWORD_PTR InsertArg(const CString& str) { return reinterpret_cast<DWORD_PTR>(str.GetString()); }
  template <typename T, typename = std::enable_if_t<std::is_integral_v<T> || std::is_enum_v<T>>>
  static DWORD_PTR InsertArg(T value) {
    return static_cast<DWORD_PTR>(value);
  }
  static bool IsTextInsert(const wchar_t*) { return true; }
  static bool IsTextInsert(const CString&) { return true; }
  template <typename T, typename = std::enable_if_t<std::is_integral_v<T> || std::is_enum_v<T>>>
  static bool IsTextInsert(T) {
    return false;
  }

  std::wstring m_str;
};

bool operator==(const CString& lhs, const CString& rhs);
bool operator==(const CString& lhs, const wchar_t* rhs);
bool operator==(const wchar_t* lhs, const CString& rhs);
bool operator!=(const CString& lhs, const CString& rhs);
bool operator!=(const CString& lhs, const wchar_t* rhs);
bool operator!=(const wchar_t* lhs, const CString& rhs);
bool operator<(const CString& lhs, const CString& rhs);
bool operator>(const CString& lhs, const CString& rhs);
bool operator<=(const CString& lhs, const CString& rhs);
bool operator>=(const CString& lhs, const CString& rhs);
