#include "support/CountedString.h"

#include <climits>
#include <cstring>
#include <cwchar>
#include <memory>

#include "support/BlockPool.h"
#include "support/OutOfMemory.h"
#include "support/RegistryKey.h"

namespace {

// The one empty text: never freed, never counted, and constant so that it is in
// place before any static object is built.
struct CEmptyText {
  CStringHeader header;
  wchar_t chNul;
};
CEmptyText g_emptyText = {{-1, 0, 0}, L'\0'};

constexpr int kMaxLength = (INT_MAX - static_cast<int>(sizeof(CStringHeader))) / 2 - 1;

CBlockPool* PoolOfCapacity(LONG nCapacity) noexcept {
  switch (nCapacity) {
    case 64: return &g_stringPool64;
    case 128: return &g_stringPool128;
    case 256: return &g_stringPool256;
    case 512: return &g_stringPool512;
    default: return nullptr;
  }
}

LONG CapacityOfLength(int nLength) noexcept {
  if (nLength <= 64) return 64;
  if (nLength <= 128) return 128;
  if (nLength <= 256) return 256;
  if (nLength <= 512) return 512;
  return nLength;
}

// A text of nLength characters (above 0) with one reference, NUL at nLength; the
// characters themselves are the caller's.
CStringHeader* AllocText(int nLength) {
  if (nLength > kMaxLength) ThrowOutOfMemory();
  const LONG nCapacity = CapacityOfLength(nLength);
  CBlockPool* pPool = PoolOfCapacity(nCapacity);
  void* p = pPool ? pPool->Allocate()
                  : CheckedHeapAlloc(sizeof(CStringHeader) + (nCapacity + 1) * sizeof(wchar_t));
  if (!p) ThrowOutOfMemory();
  CStringHeader* pHeader = static_cast<CStringHeader*>(p);
  pHeader->nReferences = 1;
  pHeader->nLength = nLength;
  pHeader->nCapacity = nCapacity;
  pHeader->Text()[nLength] = L'\0';
  return pHeader;
}

void FreeText(CStringHeader* pHeader) noexcept {
  if (CBlockPool* pPool = PoolOfCapacity(pHeader->nCapacity))
    pPool->Free(pHeader);
  else
    ::HeapFree(::GetProcessHeap(), 0, pHeader);
}

// Drops one reference; a locked text (-1) has its only owner here. A count of 1
// cannot change under us (no other object holds the text, and this one is not
// shared between threads), so the interlocked step is saved then.
void ReleaseText(wchar_t* pchData) noexcept {
  CStringHeader* pHeader = reinterpret_cast<CStringHeader*>(pchData) - 1;
  if (pHeader == &g_emptyText.header) return;
  if (pHeader->nReferences == 1 || ::InterlockedDecrement(&pHeader->nReferences) <= 0) FreeText(pHeader);
}

// A new text holding pch[0..nLength) followed by pch2[0..nLength2).
wchar_t* NewText(const wchar_t* pch, int nLength, const wchar_t* pch2 = nullptr, int nLength2 = 0) {
  if (nLength2 > kMaxLength - nLength) ThrowOutOfMemory();
  if (nLength + nLength2 == 0) return g_emptyText.header.Text();
  CStringHeader* pHeader = AllocText(nLength + nLength2);
  wchar_t* pchText = pHeader->Text();
  if (nLength) wmemcpy(pchText, pch, nLength);
  if (nLength2) wmemcpy(pchText + nLength, pch2, nLength2);
  return pchText;
}

int LengthOf(const wchar_t* psz) {
  if (!psz) return 0;
  const size_t cch = wcslen(psz);
  if (cch > static_cast<size_t>(kMaxLength)) ThrowOutOfMemory();
  return static_cast<int>(cch);
}

// From the ANSI code page; an unconvertible text gives an empty one.
wchar_t* NewTextFromNarrow(const char* psz) {
  if (!psz || !*psz) return g_emptyText.header.Text();
  const size_t cb = strlen(psz);
  if (cb > static_cast<size_t>(kMaxLength)) ThrowOutOfMemory();
  const int nBytes = static_cast<int>(cb);
  const int cch = ::MultiByteToWideChar(CP_ACP, 0, psz, nBytes, nullptr, 0);
  if (cch <= 0) return g_emptyText.header.Text();
  CStringHeader* pHeader = AllocText(cch);
  ::MultiByteToWideChar(CP_ACP, 0, psz, nBytes, pHeader->Text(), cch);
  return pHeader->Text();
}

}  // namespace

// ---- construction and assignment ---------------------------------------------------

CCountedString::CCountedString() noexcept : m_pchData(g_emptyText.header.Text()) {}

CCountedString::CCountedString(const CCountedString& other) : m_pchData(other.m_pchData) {
  CStringHeader* pHeader = other.Header();
  if (pHeader->nReferences >= 0)
    ::InterlockedIncrement(&pHeader->nReferences);
  else
    m_pchData = NewText(other.m_pchData, pHeader->nLength);  // locked or empty
}

CCountedString::CCountedString(const wchar_t* pszText, HINSTANCE hModule) : m_pchData(g_emptyText.header.Text()) {
  if (IS_INTRESOURCE(pszText)) {
    if (pszText) LoadText(hModule, static_cast<UINT>(reinterpret_cast<ULONG_PTR>(pszText)));
    return;
  }
  m_pchData = NewText(pszText, LengthOf(pszText));
}

CCountedString::CCountedString(const char* pszText) : m_pchData(NewTextFromNarrow(pszText)) {}

CCountedString::~CCountedString() { ReleaseText(m_pchData); }

CCountedString& CCountedString::operator=(const CCountedString& other) {
  if (m_pchData == other.m_pchData) return *this;
  CStringHeader* pSource = other.Header();
  if (IsLocked() || pSource->nReferences < 0) {
    AssignCopy(other.m_pchData, pSource->nLength);
  } else {
    ::InterlockedIncrement(&pSource->nReferences);
    ReleaseText(m_pchData);
    m_pchData = other.m_pchData;
  }
  return *this;
}

CCountedString& CCountedString::operator=(const wchar_t* pszText) {
  AssignCopy(pszText, LengthOf(pszText));
  return *this;
}

CCountedString& CCountedString::operator=(const char* pszText) {
  wchar_t* pchNew = NewTextFromNarrow(pszText);
  AssignCopy(pchNew, reinterpret_cast<CStringHeader*>(pchNew)[-1].nLength);
  ReleaseText(pchNew);
  return *this;
}

bool CCountedString::IsLocked() const noexcept {
  return Header()->nReferences < 0 && Header() != &g_emptyText.header;
}

// Into the own storage while it is private and large enough (which keeps a locked
// text's buffer), otherwise into a new text. pch may point into the own text.
void CCountedString::AssignCopy(const wchar_t* pch, int nLength) {
  CStringHeader* pHeader = Header();
  if (nLength == 0) {
    Empty();
    return;
  }
  if (!IsShared() && pHeader->nCapacity >= nLength) {
    wmemmove(m_pchData, pch, nLength);
    pHeader->nLength = nLength;
    m_pchData[nLength] = L'\0';
    return;
  }
  wchar_t* pchNew = NewText(pch, nLength);
  ReleaseText(m_pchData);
  m_pchData = pchNew;
}

// ---- concatenation and append ------------------------------------------------------

CCountedString operator+(const CCountedString& left, const CCountedString& right) {
  CCountedString result;
  result.m_pchData = NewText(left.m_pchData, left.GetLength(), right.m_pchData, right.GetLength());
  return result;
}

CCountedString operator+(const CCountedString& left, const wchar_t* pszRight) {
  CCountedString result;
  result.m_pchData = NewText(left.m_pchData, left.GetLength(), pszRight, LengthOf(pszRight));
  return result;
}

CCountedString operator+(const wchar_t* pszLeft, const CCountedString& right) {
  CCountedString result;
  result.m_pchData = NewText(pszLeft, LengthOf(pszLeft), right.m_pchData, right.GetLength());
  return result;
}

void CCountedString::AppendCopy(const wchar_t* pch, int nLength) {
  if (nLength == 0) return;
  CStringHeader* pHeader = Header();
  if (nLength > kMaxLength - pHeader->nLength) ThrowOutOfMemory();
  const int nTotal = pHeader->nLength + nLength;
  if (!IsShared() && pHeader->nCapacity >= nTotal) {
    wmemmove(m_pchData + pHeader->nLength, pch, nLength);
    pHeader->nLength = nTotal;
    m_pchData[nTotal] = L'\0';
    return;
  }
  // The old text is released only after the copy: pch may point into it.
  wchar_t* pchNew = NewText(m_pchData, pHeader->nLength, pch, nLength);
  ReleaseText(m_pchData);
  m_pchData = pchNew;
}

CCountedString& CCountedString::operator+=(const wchar_t* pszText) {
  AppendCopy(pszText, LengthOf(pszText));
  return *this;
}

CCountedString& CCountedString::operator+=(wchar_t ch) {
  AppendCopy(&ch, 1);
  return *this;
}

CCountedString& CCountedString::operator+=(const CCountedString& other) {
  AppendCopy(other.m_pchData, other.GetLength());
  return *this;
}

// ---- buffers -----------------------------------------------------------------------

wchar_t* CCountedString::GetWriteBuffer(int nMinCapacity) {
  CStringHeader* pHeader = Header();
  if (IsShared() || pHeader->nCapacity < nMinCapacity) {
    const int nLength = pHeader->nLength;
    const int nCapacity = nMinCapacity > nLength ? nMinCapacity : nLength;
    CStringHeader* pNew = AllocText(nCapacity);
    if (nLength) wmemcpy(pNew->Text(), m_pchData, nLength);
    pNew->Text()[nLength] = L'\0';
    pNew->nLength = nLength;
    ReleaseText(m_pchData);
    m_pchData = pNew->Text();
  }
  return m_pchData;
}

void CCountedString::MakePrivate() {
  if (IsShared()) GetWriteBuffer(0);
}

void CCountedString::ReleaseWriteBuffer(int nLength) {
  MakePrivate();
  CStringHeader* pHeader = Header();
  if (pHeader == &g_emptyText.header) return;  // nothing can have been written
  // The capacity bounds both the search and the length: the writer may have left no NUL.
  if (nLength < 0) nLength = static_cast<int>(wcsnlen(m_pchData, pHeader->nCapacity));
  if (nLength > pHeader->nCapacity) nLength = pHeader->nCapacity;
  pHeader->nLength = nLength;
  m_pchData[nLength] = L'\0';
}

wchar_t* CCountedString::SetWriteLength(int nLength) {
  if (nLength < 0) nLength = 0;
  GetWriteBuffer(nLength);
  ReleaseWriteBuffer(nLength);
  return m_pchData;
}

void CCountedString::Compact() {
  CStringHeader* pHeader = Header();
  if (pHeader->nReferences < 0 || pHeader->nLength >= pHeader->nCapacity) return;
  if (pHeader->nLength > 0 && CapacityOfLength(pHeader->nLength) == pHeader->nCapacity) return;
  wchar_t* pchNew = NewText(m_pchData, pHeader->nLength);
  ReleaseText(m_pchData);
  m_pchData = pchNew;
}

wchar_t* CCountedString::LockText() {
  GetWriteBuffer(0);
  if (Header() != &g_emptyText.header) Header()->nReferences = -1;
  return m_pchData;
}

void CCountedString::UnlockText() noexcept {
  if (Header() != &g_emptyText.header) Header()->nReferences = 1;
}

void CCountedString::Empty() noexcept {
  CStringHeader* pHeader = Header();
  if (pHeader->nLength == 0) return;
  if (pHeader->nReferences < 0) {
    pHeader->nLength = 0;
    m_pchData[0] = L'\0';
    return;
  }
  ReleaseText(m_pchData);
  m_pchData = g_emptyText.header.Text();
}

// ---- searching and changing --------------------------------------------------------

int CCountedString::Find(wchar_t ch, int nStart) const noexcept {
  const int nLength = GetLength();
  if (nStart < 0) nStart = 0;
  if (nStart >= nLength) return -1;
  const wchar_t* pch = wmemchr(m_pchData + nStart, ch, nLength - nStart);
  return pch ? static_cast<int>(pch - m_pchData) : -1;
}

int CCountedString::FindOneOf(const wchar_t* pszSet) const noexcept {
  if (!pszSet) return -1;
  const size_t n = wcscspn(m_pchData, pszSet);
  return n < static_cast<size_t>(GetLength()) ? static_cast<int>(n) : -1;
}

void CCountedString::MakeUpper() {
  MakePrivate();
  if (!IsEmpty()) ::CharUpperBuffW(m_pchData, static_cast<DWORD>(GetLength()));
}

void CCountedString::MakeLower() {
  MakePrivate();
  if (!IsEmpty()) ::CharLowerBuffW(m_pchData, static_cast<DWORD>(GetLength()));
}

void CCountedString::MakeReverse() {
  MakePrivate();
  for (int i = 0, j = GetLength() - 1; i < j; ++i, --j) {
    const wchar_t ch = m_pchData[i];
    m_pchData[i] = m_pchData[j];
    m_pchData[j] = ch;
  }
}

void CCountedString::SetAt(int nIndex, wchar_t ch) {
  if (nIndex < 0 || nIndex >= GetLength()) return;
  MakePrivate();
  m_pchData[nIndex] = ch;
}

// ---- resources and fields ----------------------------------------------------------

bool CCountedString::LoadText(HINSTANCE hModule, UINT nId) {
  if (!hModule) hModule = ::GetModuleHandleW(nullptr);
  // LoadStringW cuts a long text to the buffer without saying so: a result that
  // fills the buffer may have been cut, so the buffer grows until it is clearly
  // larger than the text.
  int cchBuffer = 256;
  for (;;) {
    std::unique_ptr<wchar_t[]> buffer(new (std::nothrow) wchar_t[cchBuffer]);
    if (!buffer) ThrowOutOfMemory();
    const int cch = ::LoadStringW(hModule, nId, buffer.get(), cchBuffer);
    if (cch <= 0) {
      Empty();
      return false;
    }
    if (cch <= cchBuffer - 2) {
      AssignCopy(buffer.get(), cch);
      return true;
    }
    if (cchBuffer > kMaxLength - 256) ThrowOutOfMemory();
    cchBuffer += 256;
  }
}

bool CCountedString::ExtractField(CCountedString& strOut, const wchar_t* pszText, int nField,
                                  wchar_t chSeparator) {
  const wchar_t* pch = pszText ? pszText : L"";
  for (; nField > 0; --nField) {
    pch = wcschr(pch, chSeparator);
    if (!pch || chSeparator == L'\0') {
      strOut.Empty();
      return false;
    }
    ++pch;
  }
  const wchar_t* pchEnd = wcschr(pch, chSeparator);
  const int nLength = pchEnd && chSeparator != L'\0' ? static_cast<int>(pchEnd - pch) : LengthOf(pch);
  strOut.AssignCopy(pch, nLength);
  return true;
}

// ---- the registry ------------------------------------------------------------------

LONG CRegistryKey::QueryCountedString(const wchar_t* pszName, CCountedString& strOut, BOOL bCreate,
                                      BOOL bExpand) {
  bool bHaveBuffer = false;
  try {
    // A NUL first: after a failed read, or data stored without its NUL, the text
    // ends where the read ended instead of running into what the buffer held.
    wchar_t* pchBuffer = strOut.GetWriteBuffer(512);
    bHaveBuffer = true;
    pchBuffer[0] = L'\0';
    DWORD cbData = 512 * sizeof(wchar_t);
    LONG nResult = QueryString(pszName, pchBuffer, &cbData, bCreate, bExpand);
    if (nResult == ERROR_MORE_DATA) {
      const int nCapacity = static_cast<int>(cbData / sizeof(wchar_t));
      pchBuffer = strOut.GetWriteBuffer(nCapacity);
      pchBuffer[0] = L'\0';
      cbData = static_cast<DWORD>(nCapacity) * sizeof(wchar_t);
      nResult = QueryString(pszName, pchBuffer, &cbData, bCreate, bExpand);
    }
    const int nCapacity = strOut.GetHeader()->nCapacity;
    if (nResult != ERROR_SUCCESS) {
      pchBuffer[0] = L'\0';
    } else if (cbData / sizeof(wchar_t) < static_cast<DWORD>(nCapacity)) {
      pchBuffer[cbData / sizeof(wchar_t)] = L'\0';
    }
    strOut.ReleaseWriteBuffer(-1);
    return nResult;
  } catch (long) {
    // The text is private once a buffer was had, so this release allocates nothing.
    if (bHaveBuffer) strOut.ReleaseWriteBuffer(-1);
    return ERROR_OUTOFMEMORY;
  }
}
