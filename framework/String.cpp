#include "framework/String.h"

#include <cwchar>
#include <cwctype>

#include "framework/Resource.h"
#include "support/FormatGuard.h"

namespace {

// Largest text a formatting call may produce; beyond it Format reports failure.
constexpr size_t kMaxFormattedLength = 64u * 1024u * 1024u;

bool IsDigit(wchar_t ch) { return ch >= L'0' && ch <= L'9'; }

// Rewrites a FormatMessage template so that it refers only to the inserts that
// were passed: a reference to a missing insert is dropped (it reads as empty
// text). Returns false for inserts whose printf part would write memory (%n) or
// take further arguments (*), which a template from a resource module must not
// do, and for a text conversion of an insert that is an integer (pIsText).
bool RestrictInserts(const wchar_t* pszTemplate, size_t nInserts, const bool* pIsText, std::wstring& out) {
  out.clear();
  for (const wchar_t* p = pszTemplate; *p != L'\0';) {
    if (*p != L'%') {
      out += *p++;
      continue;
    }
    const wchar_t next = p[1];
    if (next < L'1' || next > L'9') {
      // %%, %n (line break), %0, %t, %r, %., %!, %space: copied unchanged.
      out += *p++;
      if (*p != L'\0') out += *p++;
      continue;
    }
    const wchar_t* start = p;
    size_t number = static_cast<size_t>(next - L'0');
    p += 2;
    if (IsDigit(*p)) number = number * 10 + static_cast<size_t>(*p++ - L'0');
    // Without a printf part an insert is a text (!s!).
    wchar_t conversion = L's';
    if (*p == L'!') {
      const wchar_t* close = std::wcschr(p + 1, L'!');
      if (close == nullptr || close == p + 1) return false;
      for (const wchar_t* q = p + 1; q < close; ++q) {
        if (*q == L'n' || *q == L'*') return false;
      }
      conversion = close[-1];
      p = close + 1;
    }
    if (number > nInserts) continue;
    const bool readsText = conversion == L's' || conversion == L'S';
    if (readsText && pIsText != nullptr && !pIsText[number - 1]) return false;
    out.append(start, static_cast<size_t>(p - start));
  }
  return true;
}

}  // namespace

CString::CString(const wchar_t* psz) : m_str(psz ? psz : L"") {}

CString::CString(const wchar_t* pch, int nLength) {
  if (pch != nullptr && nLength > 0) m_str.assign(pch, static_cast<size_t>(nLength));
}

CString::CString(wchar_t ch, int nRepeat) {
  if (nRepeat > 0) m_str.assign(static_cast<size_t>(nRepeat), ch);
}

CString& CString::operator=(const wchar_t* psz) {
  if (psz == nullptr) {
    m_str.clear();
  } else {
    m_str = psz;  // std::wstring handles a source inside its own buffer
  }
  return *this;
}

CString& CString::operator=(wchar_t ch) {
  m_str.assign(1, ch);
  return *this;
}

wchar_t CString::GetAt(int nIndex) const {
  if (nIndex < 0 || nIndex >= GetLength()) return L'\0';
  return m_str[static_cast<size_t>(nIndex)];
}

void CString::SetAt(int nIndex, wchar_t ch) {
  if (nIndex < 0 || nIndex >= GetLength()) return;
  m_str[static_cast<size_t>(nIndex)] = ch;
}

CString& CString::operator+=(const CString& str) {
  m_str += str.m_str;
  return *this;
}

CString& CString::operator+=(const wchar_t* psz) {
  if (psz != nullptr) m_str += psz;
  return *this;
}

CString& CString::operator+=(wchar_t ch) {
  m_str += ch;
  return *this;
}

CString operator+(const CString& lhs, const CString& rhs) {
  CString result(lhs);
  result += rhs;
  return result;
}

CString operator+(const CString& lhs, const wchar_t* rhs) {
  CString result(lhs);
  result += rhs;
  return result;
}

CString operator+(const wchar_t* lhs, const CString& rhs) {
  CString result(lhs);
  result += rhs;
  return result;
}

CString operator+(const CString& lhs, wchar_t rhs) {
  CString result(lhs);
  result += rhs;
  return result;
}

CString operator+(wchar_t lhs, const CString& rhs) {
  CString result(lhs, 1);
  result += rhs;
  return result;
}

int CString::Compare(const wchar_t* psz) const { return std::wcscmp(m_str.c_str(), psz ? psz : L""); }

int CString::CompareNoCase(const wchar_t* psz) const { return _wcsicmp(m_str.c_str(), psz ? psz : L""); }

CString CString::Mid(int nFirst) const { return Mid(nFirst, GetLength()); }

CString CString::Mid(int nFirst, int nCount) const {
  const int length = GetLength();
  if (nFirst < 0) nFirst = 0;
  if (nCount < 0) nCount = 0;
  if (nFirst >= length) return CString();
  if (nCount > length - nFirst) nCount = length - nFirst;
  return CString(m_str.data() + nFirst, nCount);
}

CString CString::Left(int nCount) const { return Mid(0, nCount); }

CString CString::Right(int nCount) const {
  const int length = GetLength();
  if (nCount < 0) nCount = 0;
  if (nCount > length) nCount = length;
  return Mid(length - nCount, nCount);
}

CString& CString::MakeUpper() {
  if (!m_str.empty()) CharUpperBuffW(&m_str[0], static_cast<DWORD>(m_str.size()));
  return *this;
}

CString& CString::MakeLower() {
  if (!m_str.empty()) CharLowerBuffW(&m_str[0], static_cast<DWORD>(m_str.size()));
  return *this;
}

CString& CString::MakeReverse() {
  m_str.assign(m_str.rbegin(), m_str.rend());
  return *this;
}

CString& CString::TrimLeft() {
  size_t i = 0;
  while (i < m_str.size() && std::iswspace(m_str[i])) ++i;
  m_str.erase(0, i);
  return *this;
}

CString& CString::TrimRight() {
  size_t n = m_str.size();
  while (n > 0 && std::iswspace(m_str[n - 1])) --n;
  m_str.resize(n);
  return *this;
}

CString& CString::Trim() { return TrimRight().TrimLeft(); }

int CString::Replace(wchar_t chOld, wchar_t chNew) {
  int count = 0;
  for (wchar_t& ch : m_str) {
    if (ch == chOld) {
      ch = chNew;
      ++count;
    }
  }
  return count;
}

int CString::Replace(const wchar_t* pszOld, const wchar_t* pszNew) {
  if (pszOld == nullptr || *pszOld == L'\0') return 0;
  const std::wstring oldText(pszOld);
  const std::wstring newText(pszNew ? pszNew : L"");
  std::wstring result;
  int count = 0;
  size_t pos = 0;
  for (size_t hit; (hit = m_str.find(oldText, pos)) != std::wstring::npos; pos = hit + oldText.size()) {
    result.append(m_str, pos, hit - pos);
    result += newText;
    ++count;
  }
  if (count == 0) return 0;
  result.append(m_str, pos, std::wstring::npos);
  m_str.swap(result);
  return count;
}

int CString::Remove(wchar_t ch) {
  const size_t before = m_str.size();
  std::wstring kept;
  kept.reserve(before);
  for (wchar_t c : m_str) {
    if (c != ch) kept += c;
  }
  m_str.swap(kept);
  return static_cast<int>(before - m_str.size());
}

int CString::Insert(int nIndex, wchar_t ch) {
  if (nIndex < 0) nIndex = 0;
  if (nIndex > GetLength()) nIndex = GetLength();
  m_str.insert(static_cast<size_t>(nIndex), 1, ch);
  return GetLength();
}

int CString::Insert(int nIndex, const wchar_t* psz) {
  if (psz == nullptr) return GetLength();
  if (nIndex < 0) nIndex = 0;
  if (nIndex > GetLength()) nIndex = GetLength();
  m_str.insert(static_cast<size_t>(nIndex), psz);
  return GetLength();
}

int CString::Delete(int nIndex, int nCount) {
  if (nIndex < 0) nIndex = 0;
  if (nCount > 0 && nIndex < GetLength()) m_str.erase(static_cast<size_t>(nIndex), static_cast<size_t>(nCount));
  return GetLength();
}

int CString::Find(wchar_t ch, int nStart) const {
  if (nStart < 0 || nStart >= GetLength()) return -1;
  const size_t pos = m_str.find(ch, static_cast<size_t>(nStart));
  return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(const wchar_t* pszSub, int nStart) const {
  if (pszSub == nullptr || nStart < 0 || nStart > GetLength()) return -1;
  const size_t pos = m_str.find(pszSub, static_cast<size_t>(nStart));
  return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(wchar_t ch) const {
  const size_t pos = m_str.rfind(ch);
  return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

int CString::FindOneOf(const wchar_t* pszCharSet) const {
  if (pszCharSet == nullptr) return -1;
  const size_t pos = m_str.find_first_of(pszCharSet);
  return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

wchar_t* CString::GetBuffer(int nMinBufLength) {
  if (nMinBufLength > GetLength()) m_str.resize(static_cast<size_t>(nMinBufLength));
  return &m_str[0];  // C++17: valid (and NUL-terminated) even when empty
}

wchar_t* CString::GetBufferSetLength(int nNewLength) {
  m_str.resize(static_cast<size_t>(nNewLength < 0 ? 0 : nNewLength));
  return &m_str[0];
}

void CString::ReleaseBuffer(int nNewLength) {
  if (nNewLength < 0) {
    m_str.resize(std::wcslen(m_str.c_str()));
  } else if (static_cast<size_t>(nNewLength) <= m_str.size()) {
    m_str.resize(static_cast<size_t>(nNewLength));
  }
}

bool CString::Format(const wchar_t* pszFormat, ...) {
  va_list args;
  va_start(args, pszFormat);
  const bool ok = FormatV(pszFormat, args);
  va_end(args);
  return ok;
}

bool CString::FormatV(const wchar_t* pszFormat, va_list args) {
  m_str.clear();
  if (pszFormat == nullptr || FormatHasWriteConversion(pszFormat)) return false;
  // The runtime's own formatter (%s is a wide string here) and its own count: Wine's
  // _vsnwprintf reports a text cut inside a %c with a width as whole, so a buffer
  // sized by that count is the only way to know the text is complete.
  va_list attempt;
  va_copy(attempt, args);
  const int needed = _vscwprintf(pszFormat, attempt);
  va_end(attempt);
  if (needed < 0 || static_cast<size_t>(needed) > kMaxFormattedLength) return false;
  m_str.resize(static_cast<size_t>(needed));
  va_copy(attempt, args);
  // Exactly needed characters fit: the runtime writes no NUL, and the string keeps its own.
  const int written = _vsnwprintf(&m_str[0], m_str.size(), pszFormat, attempt);
  va_end(attempt);
  if (written != needed) {
    m_str.clear();
    return false;
  }
  return true;
}

bool CString::FormatMessageArray(const wchar_t* pszTemplate, const DWORD_PTR* pInserts, size_t nInserts,
                                 const bool* pIsText) {
  m_str.clear();
  if (pszTemplate == nullptr || nInserts > kMaxInserts || (nInserts > 0 && pInserts == nullptr)) return false;
  std::wstring restricted;
  if (!RestrictInserts(pszTemplate, nInserts, pIsText, restricted)) return false;
  // Every slot a template can name is backed by a value, as a second guard.
  DWORD_PTR inserts[kMaxInserts + 1];
  for (size_t i = 0; i <= kMaxInserts; ++i) {
    inserts[i] = i < nInserts ? pInserts[i] : reinterpret_cast<DWORD_PTR>(L"");
  }
  wchar_t* pBuffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY,
      restricted.c_str(), 0, 0, reinterpret_cast<LPWSTR>(&pBuffer), 0, reinterpret_cast<va_list*>(inserts));
  if (pBuffer == nullptr) return length == 0 && restricted.empty();
  if (length > 0) m_str.assign(pBuffer, length);
  LocalFree(pBuffer);
  return length > 0;
}

bool CString::LoadString(UINT nID) { return LoadString(AfxGetResourceHandle(), nID); }

bool CString::LoadString(HINSTANCE hInstance, UINT nID) {
  m_str.clear();
  if (nID > 0xFFFF) return false;
  // Strings are stored in blocks of 16 counted texts; block n + 1 holds ids 16n to 16n + 15.
  HRSRC hInfo = FindResourceW(hInstance, MAKEINTRESOURCEW((nID >> 4) + 1), RT_STRING);
  if (hInfo == nullptr) return false;
  HGLOBAL hData = LoadResource(hInstance, hInfo);
  const DWORD size = SizeofResource(hInstance, hInfo);
  const WCHAR* p = hData ? static_cast<const WCHAR*>(LockResource(hData)) : nullptr;
  if (p == nullptr) return false;
  const WCHAR* end = p + size / sizeof(WCHAR);
  for (UINT i = 0; i < (nID & 15); ++i) {
    if (p >= end) return false;
    p += 1 + *p;
  }
  if (p >= end || *p == 0 || p + 1 + *p > end) return false;
  m_str.assign(p + 1, *p);
  return true;
}

bool operator==(const CString& lhs, const CString& rhs) { return lhs.Str() == rhs.Str(); }
bool operator==(const CString& lhs, const wchar_t* rhs) { return lhs.Compare(rhs) == 0; }
bool operator==(const wchar_t* lhs, const CString& rhs) { return rhs.Compare(lhs) == 0; }
bool operator!=(const CString& lhs, const CString& rhs) { return !(lhs == rhs); }
bool operator!=(const CString& lhs, const wchar_t* rhs) { return !(lhs == rhs); }
bool operator!=(const wchar_t* lhs, const CString& rhs) { return !(lhs == rhs); }
bool operator<(const CString& lhs, const CString& rhs) { return lhs.Str() < rhs.Str(); }
bool operator>(const CString& lhs, const CString& rhs) { return rhs < lhs; }
bool operator<=(const CString& lhs, const CString& rhs) { return !(rhs < lhs); }
bool operator>=(const CString& lhs, const CString& rhs) { return !(lhs < rhs); }
