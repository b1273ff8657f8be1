#include "support/WideString.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

#include "support/OutOfMemory.h"

namespace {

// A BSTR of exactly cch characters copied from pch (uninitialised when pch is null).
BSTR AllocLength(const wchar_t* pch, UINT cch) {
  BSTR bstr = CheckedSysAllocStringLen(pch, cch);
  if (!bstr) ThrowOutOfMemory();
  return bstr;
}

BSTR AllocCopy(const wchar_t* psz) {
  if (!psz) return nullptr;
  BSTR bstr = CheckedSysAllocString(psz);
  if (!bstr) ThrowOutOfMemory();
  return bstr;
}

// Converts from the ANSI code page; an empty or unconvertible source gives null.
BSTR AllocFromNarrow(const char* psz) {
  if (!psz || !*psz) return nullptr;
  size_t cb = strlen(psz);
  if (cb > INT_MAX) ThrowOutOfMemory();
  int nBytes = static_cast<int>(cb);
  BSTR bstr = AllocLength(nullptr, static_cast<UINT>(nBytes));
  int cch = MultiByteToWideChar(CP_ACP, 0, psz, nBytes, bstr, nBytes);
  if (cch == nBytes) return bstr;
  // A double-byte code page yields fewer characters than bytes: trim the prefix so
  // it never counts uninitialised characters.
  BSTR bstrExact = cch > 0 ? CheckedSysAllocStringLen(bstr, static_cast<UINT>(cch)) : nullptr;
  SysFreeString(bstr);
  if (cch > 0 && !bstrExact) ThrowOutOfMemory();
  return bstrExact;
}

// Joins two counted runs; a total of 0 characters gives null.
BSTR AllocJoined(const wchar_t* pchLeft, UINT cchLeft, const wchar_t* pchRight, UINT cchRight) {
  if (cchLeft > UINT_MAX / 2 - cchRight) ThrowOutOfMemory();
  UINT cchTotal = cchLeft + cchRight;
  if (cchTotal == 0) return nullptr;
  BSTR bstr = AllocLength(nullptr, cchTotal);
  if (cchLeft) wmemcpy(bstr, pchLeft, cchLeft);
  if (cchRight) wmemcpy(bstr + cchLeft, pchRight, cchRight);
  return bstr;
}

// The result of a concatenation is copied up to its first NUL; empty becomes null.
CWideString FromJoined(BSTR bstrJoined) {
  CWideString result;
  if (bstrJoined && bstrJoined[0] != L'\0') {
    BSTR bstrCopy = CheckedSysAllocString(bstrJoined);
    if (!bstrCopy) {
      SysFreeString(bstrJoined);
      ThrowOutOfMemory();
    }
    result.Attach(bstrCopy);
  }
  SysFreeString(bstrJoined);
  return result;
}

UINT CountOf(const wchar_t* psz) {
  if (!psz) return 0;
  size_t cch = wcslen(psz);
  if (cch > UINT_MAX / 2) ThrowOutOfMemory();
  return static_cast<UINT>(cch);
}

// Converts cch characters to the ANSI code page into a zeroed buffer of 2 * cch + 1
// bytes (enough for any ANSI code page), always NUL-terminated.
void ConvertNarrow(const wchar_t* pch, int cch, char* psz) {
  size_t cb = 2 * static_cast<size_t>(cch) + 1;
  memset(psz, 0, cb);
  if (cch > 0) {
    int nWritten = WideCharToMultiByte(CP_ACP, 0, pch, cch, psz, static_cast<int>(cb - 1),
                                       nullptr, nullptr);
    psz[nWritten > 0 ? nWritten : 0] = '\0';
  }
  psz[cb - 1] = '\0';
}

}  // namespace

CWideString::CWideString(const wchar_t* pszText) : m_bstr(AllocCopy(pszText)) {}

CWideString::CWideString(const wchar_t* pch, int nLength) {
  if (pch && nLength >= 0) m_bstr = AllocLength(pch, static_cast<UINT>(nLength));
}

CWideString::CWideString(const char* pszText) : m_bstr(AllocFromNarrow(pszText)) {}

CWideString::CWideString(const VARIANT& var) {
  if (var.vt == VT_BSTR) {
    if (var.bstrVal) m_bstr = AllocLength(var.bstrVal, SysStringLen(var.bstrVal));
    return;
  }
  if (var.vt == VT_EMPTY || var.vt == VT_NULL) return;
  VARIANT converted;
  VariantInit(&converted);
  HRESULT hr = VariantChangeType(&converted, const_cast<VARIANT*>(&var), 0, VT_BSTR);
  if (hr == E_OUTOFMEMORY) ThrowOutOfMemory();
  if (SUCCEEDED(hr) && converted.vt == VT_BSTR) {
    m_bstr = converted.bstrVal;  // adopt the converted string
    converted.vt = VT_EMPTY;
  }
  VariantClear(&converted);
}

CWideString::CWideString(const CWideString& other) {
  if (other.m_bstr) m_bstr = AllocLength(other.m_bstr, SysStringLen(other.m_bstr));
}

CWideString::CWideString(CWideString&& other) noexcept
    : m_bstr(std::exchange(other.m_bstr, nullptr)),
      m_pszNarrow(std::exchange(other.m_pszNarrow, nullptr)) {}

CWideString::~CWideString() {
  Free();
  FreeNarrow();
}

CWideString& CWideString::operator=(const CWideString& other) {
  if (this != &other) {
    BSTR bstr = other.m_bstr ? AllocLength(other.m_bstr, SysStringLen(other.m_bstr)) : nullptr;
    Attach(bstr);
  }
  return *this;
}

CWideString& CWideString::operator=(CWideString&& other) noexcept {
  if (this != &other) {
    Attach(std::exchange(other.m_bstr, nullptr));
    FreeNarrow();
    m_pszNarrow = std::exchange(other.m_pszNarrow, nullptr);
  }
  return *this;
}

CWideString& CWideString::operator=(const wchar_t* pszText) {
  // Copied before the old text goes, so a pointer into our own text is safe.
  Attach(AllocCopy(pszText));
  return *this;
}

CWideString& CWideString::operator=(const char* pszText) {
  Free();
  m_bstr = AllocFromNarrow(pszText);
  return *this;
}

CWideString& CWideString::operator=(std::nullptr_t) noexcept {
  Free();
  return *this;
}

CWideString& CWideString::AssignInteger(long nValue) {
  wchar_t szDigits[16];
  _snwprintf(szDigits, 16, L"%ld", nValue);
  szDigits[15] = L'\0';
  return *this = szDigits;
}

BSTR* CWideString::Receive() noexcept {
  Free();
  return &m_bstr;
}

void CWideString::Attach(BSTR bstr) noexcept {
  if (bstr != m_bstr) SysFreeString(m_bstr);
  m_bstr = bstr;
}

BSTR CWideString::Detach() noexcept { return std::exchange(m_bstr, nullptr); }

void CWideString::MakeNonNull() {
  if (!m_bstr) m_bstr = AllocCopy(L"");
}

int CWideString::Length() const noexcept {
  return m_bstr ? static_cast<int>(SysStringLen(m_bstr)) : 0;
}

CWideString& CWideString::Append(const CWideString& other) {
  Attach(AllocJoined(m_bstr, static_cast<UINT>(Length()), other.m_bstr,
                     static_cast<UINT>(other.Length())));
  return *this;
}

CWideString operator+(const CWideString& left, const CWideString& right) {
  return FromJoined(AllocJoined(left.m_bstr, static_cast<UINT>(left.Length()), right.m_bstr,
                                static_cast<UINT>(right.Length())));
}

CWideString operator+(const CWideString& left, const wchar_t* pszRight) {
  return FromJoined(
      AllocJoined(left.m_bstr, static_cast<UINT>(left.Length()), pszRight, CountOf(pszRight)));
}

CWideString operator+(const wchar_t* pszLeft, const CWideString& right) {
  return FromJoined(
      AllocJoined(pszLeft, CountOf(pszLeft), right.m_bstr, static_cast<UINT>(right.Length())));
}

int CWideString::Find(wchar_t ch) const noexcept {
  for (int i = 0, n = Length(); i < n; ++i)
    if (m_bstr[i] == ch) return i;
  return -1;
}

int CWideString::ReverseFind(wchar_t ch) const noexcept {
  for (int i = Length() - 1; i >= 0; --i)
    if (m_bstr[i] == ch) return i;
  return -1;
}

int CWideString::FindOneOf(const wchar_t* pszSet) const noexcept {
  if (!pszSet) return -1;
  for (int i = 0, n = Length(); i < n; ++i)
    if (m_bstr[i] != L'\0' && wcschr(pszSet, m_bstr[i])) return i;
  return -1;
}

int CWideString::FindString(const wchar_t* pszSub) const noexcept {
  if (!pszSub) return -1;
  size_t cchSub = wcslen(pszSub);
  size_t cch = static_cast<size_t>(Length());
  if (cchSub > cch) return -1;
  for (size_t i = 0; i + cchSub <= cch; ++i)
    if (wmemcmp(m_bstr + i, pszSub, cchSub) == 0) return static_cast<int>(i);
  return -1;
}

CWideString CWideString::Mid(int nStart, int nCount) const {
  int nLength = Length();
  if (nStart < 0) nStart = 0;
  if (nCount < 0) nCount = 0;
  if (nStart >= nLength) return CWideString();
  if (nCount > nLength - nStart) nCount = nLength - nStart;
  if (nCount == 0) return CWideString();
  return CWideString(m_bstr + nStart, nCount);
}

CWideString CWideString::Mid(int nStart) const { return Mid(nStart, INT_MAX); }

CWideString CWideString::Left(int nCount) const { return Mid(0, nCount); }

CWideString CWideString::Right(int nCount) const {
  int nLength = Length();
  if (nCount < 0) nCount = 0;
  if (nCount > nLength) nCount = nLength;
  return Mid(nLength - nCount, nCount);
}

CWideString CWideString::SpanIncluding(const wchar_t* pszSet) const {
  if (!m_bstr || !pszSet) return CWideString();
  return Left(static_cast<int>(wcsspn(m_bstr, pszSet)));
}

CWideString CWideString::SpanExcluding(const wchar_t* pszSet) const {
  if (!m_bstr) return CWideString();
  return Left(static_cast<int>(pszSet ? wcscspn(m_bstr, pszSet) : wcslen(m_bstr)));
}

void CWideString::TrimRight() {
  int nLength = Length();
  int nKeep = nLength;
  while (nKeep > 0 && iswspace(m_bstr[nKeep - 1])) --nKeep;
  if (nKeep != nLength) *this = Left(nKeep);
}

void CWideString::TrimLeft() {
  int nLength = Length();
  int nSkip = 0;
  while (nSkip < nLength && iswspace(m_bstr[nSkip])) ++nSkip;
  if (nSkip != 0) *this = Mid(nSkip);
}

void CWideString::ExpandEnvironment() {
  if (Length() == 0) return;
  std::wstring strResult;
  try {
    const std::wstring strText(m_bstr, static_cast<size_t>(Length()));
    size_t nCursor = 0;
    for (;;) {
      size_t nOpen = strText.find(L'%', nCursor);
      size_t nClose = nOpen == std::wstring::npos ? nOpen : strText.find(L'%', nOpen + 1);
      if (nClose == std::wstring::npos) {
        // No reference left: the rest, a lone '%' included, stays as it is.
        strResult.append(strText, nCursor, std::wstring::npos);
        break;
      }
      strResult.append(strText, nCursor, nOpen - nCursor);
      const std::wstring strName(strText, nOpen + 1, nClose - nOpen - 1);
      // An empty name (%%) is never defined; undefined references vanish.
      const wchar_t* pszValue = strName.empty() ? nullptr : _wgetenv(strName.c_str());
      if (pszValue) strResult.append(pszValue);
      nCursor = nClose + 1;
    }
  } catch (const std::bad_alloc&) {
    ThrowOutOfMemory();
  } catch (const std::length_error&) {
    ThrowOutOfMemory();
  }
  if (strResult.size() > UINT_MAX / 2) ThrowOutOfMemory();
  Attach(strResult.empty() ? nullptr
                           : AllocLength(strResult.data(), static_cast<UINT>(strResult.size())));
}

const char* CWideString::GetNarrow() {
  MakeNonNull();
  char* psz = static_cast<char*>(CheckedMalloc(2 * static_cast<size_t>(Length()) + 1));
  if (!psz) ThrowOutOfMemory();
  ConvertNarrow(m_bstr, Length(), psz);
  FreeNarrow();
  m_pszNarrow = psz;
  return m_pszNarrow;
}

const char* CWideString::GetAscii() {
  // Letters for the bytes 0xC0..0xFF; a digit d would stand for pair d of kPairs.
  static const char kLetters[] = "AAAAAAACEEEEIIIIDNOOOOOXOUUUUYdsaaaaaaaceeeeiiiidnooooooouuuuyDy";
  static const char kPairs[] = "AeAEOeUessaeoe";
  static_assert(sizeof(kLetters) == 64 + 1, "one letter per byte from 0xC0");
  const char* pszNarrow = GetNarrow();
  size_t cb = strlen(pszNarrow);
  char* pszAscii = static_cast<char*>(CheckedMalloc(2 * cb + 1));
  if (!pszAscii) ThrowOutOfMemory();
  char* pOut = pszAscii;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(pszNarrow); *p; ++p) {
    if (*p < 0xC0) {
      if (*p < 0x80) *pOut++ = static_cast<char>(*p);
      continue;
    }
    char chLetter = kLetters[*p - 0xC0];
    if (chLetter >= '0' && chLetter <= '9') {
      size_t nPair = static_cast<size_t>(chLetter - '0');
      if (2 * nPair + 1 < sizeof(kPairs) - 1) {
        *pOut++ = kPairs[2 * nPair];
        *pOut++ = kPairs[2 * nPair + 1];
      }
    } else {
      *pOut++ = chLetter;
    }
  }
  *pOut = '\0';
  FreeNarrow();
  m_pszNarrow = pszAscii;
  return m_pszNarrow;
}

void CWideString::GetPlainNarrow(std::unique_ptr<char[]>& holder) const {
  char* psz = new (std::nothrow) char[2 * static_cast<size_t>(Length()) + 1];
  if (!psz) ThrowOutOfMemory();
  ConvertNarrow(m_bstr, Length(), psz);
  holder.reset(psz);
}

UINT CWideString::ByteLength(const wchar_t* psz) noexcept {
  return psz ? static_cast<UINT>(2 * wcslen(psz)) : 0;
}

bool CWideString::IsReadableString(const wchar_t* psz, UINT_PTR cchMax) noexcept {
  return psz && !IsBadStringPtrW(psz, cchMax);
}

bool CWideString::IsUsableMemory(const void* p, UINT_PTR cb, bool bWrite) noexcept {
  if (!p || IsBadReadPtr(p, cb)) return false;
  return !bWrite || !IsBadWritePtr(const_cast<void*>(p), cb);
}

void CWideString::FreeNarrow() noexcept {
  free(m_pszNarrow);
  m_pszNarrow = nullptr;
}

void CWideString::Free() noexcept {
  SysFreeString(m_bstr);
  m_bstr = nullptr;
}
