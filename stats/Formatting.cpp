#include "stats/Formatting.h"

#include <cwchar>

#include "resources/resource.h"

namespace {

// A resource text with a built-in fallback, replaced once per process by its
// string resource when the current resource module has it.
void LoadOnce(CString& strText, UINT nID) {
  CString strLoaded;
  if (strLoaded.LoadString(nID)) strText = strLoaded;
}

struct CodecTexts {
  CString strPcm{L"[PCM]"};
  CString strMuLaw{L"[G.711mu]"};
  CString strALaw{L"[G.711A]"};
  CString strG729{L"[G.729]"};
  CString strOther{L"[Unknown]"};
};

const CodecTexts& GetCodecTexts() {
  static CodecTexts s_texts;
  static bool s_bLoaded = false;
  if (!s_bLoaded) {
    s_bLoaded = true;
    LoadOnce(s_texts.strPcm, IDS_CODEC_PCM);
    LoadOnce(s_texts.strMuLaw, IDS_CODEC_G711_MULAW);
    LoadOnce(s_texts.strALaw, IDS_CODEC_G711_ALAW);
    LoadOnce(s_texts.strG729, IDS_CODEC_G729);
    LoadOnce(s_texts.strOther, IDS_CODEC_OTHER);
  }
  return s_texts;
}

const CString& GetNoPacketsText() {
  static CString s_strNoPackets(L"[NO PACKETS]");
  static bool s_bLoaded = false;
  if (!s_bLoaded) {
    s_bLoaded = true;
    LoadOnce(s_strNoPackets, IDS_NO_PACKETS);
  }
  return s_strNoPackets;
}

constexpr WORD kTagPcm = 1;
constexpr WORD kTagALaw = 6;
constexpr WORD kTagMuLaw = 7;
constexpr WORD kTagG729 = 0x0133;

template <typename T>
int CompareValues(const T& lhs, const T& rhs, bool bAscending) {
  int order = 0;
  if (lhs < rhs) {
    order = -1;
  } else if (rhs < lhs) {
    order = 1;
  }
  return bAscending ? order : -order;
}

// 0, and a facility-8 (Windows) code with a zero low half: those codes carry
// their number in the low half alone.
bool IsNoError(DWORD code) { return (((code >> 16) & 0x1FFF) == 8 ? (code & 0xFFFF) : code) == 0; }

}  // namespace

CString GetSystemErrorTextBesideCode(HRESULT hrCode) {
  CString strText;
  const DWORD code = static_cast<DWORD>(hrCode);
  if (IsNoError(code)) return strText;

  wchar_t* pBuffer = nullptr;
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
                                      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&pBuffer),
                                      0, nullptr);
  if (pBuffer != nullptr) {
    if (length != 0) strText = CString(pBuffer, static_cast<int>(length));
    LocalFree(pBuffer);
  }
  const int n = strText.GetLength();
  if (n >= 2 && strText[n - 2] == L'\r' && strText[n - 1] == L'\n') {
    strText.SetAt(n - 2, L' ');
    strText.SetAt(n - 1, L' ');
  }
  return strText;
}

CString GetSystemErrorText(HRESULT hrCode) {
  CString strText = GetSystemErrorTextBesideCode(hrCode);
  // Some codes have no text (Wine has none for many COM codes): a message that
  // shows this text then shows the code rather than nothing.
  const DWORD code = static_cast<DWORD>(hrCode);
  if (strText.IsEmpty() && !IsNoError(code)) strText.Format(L"%#8.8x", static_cast<unsigned int>(code));
  return strText;
}

void AppendCharIfMissing(CString& strText, wchar_t ch) {
  const int n = strText.GetLength();
  if (n == 0 || strText[n - 1] != ch) strText += ch;
}

void AppendCharIfMissing(CWideString& strText, wchar_t ch) {
  const int n = strText.Length();
  if (n == 0 || strText[n - 1] != ch) {
    const wchar_t one[2] = {ch, L'\0'};
    strText.Append(CWideString(one));
  }
}

DWORD ClampToULong(long long nValue) {
  if (nValue < 0) return 0;
  if (nValue > 4294967295LL) return 4294967295UL;
  return static_cast<DWORD>(nValue);
}

CString FormatAverage(double dAverage) {
  const CString& strNoPackets = GetNoPacketsText();
  if (dAverage < 0.0) return strNoPackets;
  CString strText;
  strText.Format(dAverage > 100.0 ? L"%f" : L"%.2f", dAverage);
  return strText;
}

CString FormatTimeStamp(const CTime& time) {
  struct tm then;
  if (time.GetLocalTm(&then) == nullptr) return CString();
  struct tm today;
  const bool bToday = CTime::GetCurrentTime().GetLocalTm(&today) != nullptr && then.tm_mday == today.tm_mday &&
                      then.tm_mon == today.tm_mon && then.tm_year == today.tm_year;
  return time.Format(bToday ? L"%X" : L"%c");
}

CString FormatCodecName(WORD wFormatTag) {
  const CodecTexts& texts = GetCodecTexts();
  switch (wFormatTag) {
    case kTagPcm: return texts.strPcm;
    case kTagMuLaw: return texts.strMuLaw;
    case kTagALaw: return texts.strALaw;
    case kTagG729: return texts.strG729;
    default: break;
  }
  CString strTag;
  strTag.Format(L"0x%X", static_cast<unsigned int>(wFormatTag));
  CString strName;
  // A template the system cannot format (a broken translation) still names the tag.
  if (!strName.FormatMessage(texts.strOther, strTag)) strName = L"[" + strTag + L"]";
  return strName;
}

int CompareLong(long lhs, long rhs, bool bAscending) { return CompareValues(lhs, rhs, bAscending); }

int CompareULong(unsigned long lhs, unsigned long rhs, bool bAscending) {
  return CompareValues(lhs, rhs, bAscending);
}

int CompareDouble(double lhs, double rhs, bool bAscending) { return CompareValues(lhs, rhs, bAscending); }

int CompareTime(const CTime& lhs, const CTime& rhs, bool bAscending) {
  return CompareValues(lhs.GetTime(), rhs.GetTime(), bAscending);
}

int CompareTimeSpan(const CTimeSpan& lhs, const CTimeSpan& rhs, bool bAscending) {
  return CompareValues(lhs.GetTotalSeconds(), rhs.GetTotalSeconds(), bAscending);
}

int CompareText(const wchar_t* lhs, const wchar_t* rhs, bool bAscending) {
  if (lhs == nullptr || rhs == nullptr) return 0;
  const int order = std::wcscmp(lhs, rhs);
  return CompareValues(order, 0, bAscending);
}
