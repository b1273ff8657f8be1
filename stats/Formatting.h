#pragma once
// Texts for the list rows, the log file and messages, and the three-way
// comparators of the lists' sort callbacks. Texts that come from the resource
// module are loaded once per process and fall back to built-in texts.

#include <windows.h>

#include "framework/String.h"
#include "framework/Time.h"
#include "support/WideString.h"

// The system's message text for a result code, or the code in hexadecimal
// ("0x80040154") when the system has no text for it; empty for no error (0, or a
// facility-8 code with a zero low half). A trailing CR LF becomes two spaces so
// the text can stand inside a longer line.
CString GetSystemErrorText(HRESULT hrCode);
// The same, but empty when the system has no text for the code: for a message
// that shows the code beside it, so that the code does not stand there twice.
CString GetSystemErrorTextBesideCode(HRESULT hrCode);

// A message from string resource nID filled with message-style inserts (%1, %2,
// ...). Without the string, or with a template that cannot be filled (a broken
// translation, whose raw %1..%n would tell the user nothing), the fallback is
// shown unchanged.
template <typename... Inserts>
CString FormatResourceMessage(UINT nID, const wchar_t* pszFallback, const Inserts&... inserts) {
  CString strTemplate;
  CString strMessage;
  if (strTemplate.LoadString(nID) && strMessage.FormatMessage(strTemplate, inserts...)) return strMessage;
  return CString(pszFallback);
}

// Appends ch when the text is empty or does not already end with it.
void AppendCharIfMissing(CString& strText, wchar_t ch);
// The same for the support library's string; allocation failure throws E_OUTOFMEMORY.
void AppendCharIfMissing(CWideString& strText, wchar_t ch);

// 0 below 0, 4294967295 above it, the value otherwise.
DWORD ClampToULong(long long nValue);

// Negative: the no-packets text; 0 to 100: "%.2f"; above 100: "%f".
CString FormatAverage(double dAverage);

// Time of day ("%X") for a time on the current local day, date and time ("%c")
// otherwise; empty when the time has no local calendar form.
CString FormatTimeStamp(const CTime& time);

// The name of a wave-format tag (PCM, G.711 mu-law and A-law, G.729), or the
// other-codec template filled with the tag as "0x%X".
CString FormatCodecName(WORD wFormatTag);

// Three-way comparators: with bAscending -1/0/1 for less/equal/greater, the
// signs swapped without it.
int CompareLong(long lhs, long rhs, bool bAscending);
int CompareULong(unsigned long lhs, unsigned long rhs, bool bAscending);
int CompareDouble(double lhs, double rhs, bool bAscending);
int CompareTime(const CTime& lhs, const CTime& rhs, bool bAscending);
int CompareTimeSpan(const CTimeSpan& lhs, const CTimeSpan& rhs, bool bAscending);
// 0 when either text is null; otherwise code-unit order (wcscmp).
int CompareText(const wchar_t* lhs, const wchar_t* rhs, bool bAscending);
