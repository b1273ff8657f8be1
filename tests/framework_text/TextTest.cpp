// CString and CTime/CTimeSpan: formatting conventions, refused conversions,
// message inserts, resource strings, and times past January 2038.

#include <gtest/gtest.h>

#include <windows.h>

#include "framework/Resource.h"
#include "framework/String.h"
#include "framework/Time.h"

namespace {

TEST(StringFormat, WideConventionsOfTheRuntime) {
  CString text;
  ASSERT_TRUE(text.Format(L"%s-%d-%S-%c", L"wide", 42, "narrow", L'x'));
  EXPECT_STREQ(L"wide-42-narrow-x", text);
  ASSERT_TRUE(text.Format(L"%#8.8x|%ld|%lu|%.2f%%", 0x80070002u, -5L, 4294967295UL, 12.345));
  EXPECT_STREQ(L"0x80070002|-5|4294967295|12.35%", text);
  ASSERT_TRUE(text.Format(L"%03d", 7));
  EXPECT_STREQ(L"007", text);

  // Longer than the first buffer: the text grows to fit.
  const CString long1000(L'a', 1000);
  ASSERT_TRUE(text.Format(L"<%s>", long1000.GetString()));
  EXPECT_EQ(1002, text.GetLength());
  EXPECT_EQ(L'>', text[1001]);
}

TEST(StringFormat, ResultHasTheRuntimesFullLength) {
  CString text;
  // Wine's runtime reports a text cut inside a %c with a width as complete.
  ASSERT_TRUE(text.Format(L"%300c", L'x'));
  EXPECT_EQ(300, text.GetLength());
  EXPECT_EQ(L'x', text[299]);
  ASSERT_TRUE(text.Format(L"%c|%s", L'\0', L"after"));
  EXPECT_EQ(std::wstring(L"\0|after", 7), text.Str());
}

TEST(StringFormat, WriteConversionIsRefused) {
  CString text(L"old");
  int written = -1;
  EXPECT_FALSE(text.Format(L"abc%n", &written));
  EXPECT_TRUE(text.IsEmpty());
  EXPECT_EQ(-1, written) << "%n must never write";
  EXPECT_FALSE(text.Format(L"%-5ln", &written));
  EXPECT_EQ(-1, written);
  EXPECT_FALSE(text.Format(nullptr));
  // A literal percent followed by n is text, not a conversion.
  ASSERT_TRUE(text.Format(L"100%%n"));
  EXPECT_STREQ(L"100%n", text);
}

TEST(StringFormatMessage, NumberedInsertsInAnyOrder) {
  CString text;
  ASSERT_TRUE(text.FormatMessage(L"%2 before %1", L"one", CString(L"two")));
  EXPECT_STREQ(L"two before one", text);
  ASSERT_TRUE(text.FormatMessage(L"device %1!ld!, code %2!#8.8x!", 12, 0x80070002u));
  EXPECT_STREQ(L"device 12, code 0x80070002", text);
  ASSERT_TRUE(text.FormatMessage(L"no inserts 100%% done"));
  EXPECT_STREQ(L"no inserts 100% done", text);
}

TEST(StringFormatMessage, MissingInsertsReadAsEmpty) {
  CString text;
  // A resource text with %5 where four inserts are passed.
  ASSERT_TRUE(text.FormatMessage(L"%1|%2|%3|%4|%5|", L"a", L"b", L"c", L"d"));
  EXPECT_STREQ(L"a|b|c|d||", text);
  ASSERT_TRUE(text.FormatMessage(L"[%1] [%99!d!] [%12]", L"x"));
  EXPECT_STREQ(L"[x] [] []", text);
  ASSERT_TRUE(text.FormatMessage(L"[%3]"));
  EXPECT_STREQ(L"[]", text);
}

TEST(StringFormatMessage, InsertFormatsThatWriteOrReadMoreAreRefused) {
  CString text(L"old");
  EXPECT_FALSE(text.FormatMessage(L"%1!n!", 5));
  EXPECT_TRUE(text.IsEmpty());
  EXPECT_FALSE(text.FormatMessage(L"%1!*d!", 5, 6));
  EXPECT_FALSE(text.FormatMessage(L"%1!d", 5)) << "an unclosed insert format";
  EXPECT_FALSE(text.FormatMessage(nullptr, 5));
  // An integer where the template reads a text would be taken for an address.
  EXPECT_FALSE(text.FormatMessage(L"device %1", 3));
  EXPECT_FALSE(text.FormatMessage(L"%2!s!", L"a", 3));
  ASSERT_TRUE(text.FormatMessage(L"device %1!d! %2", 3, L"ok"));
  EXPECT_STREQ(L"device 3 ok", text);
}

TEST(StringLoad, ReadsTheCurrentResourceModule) {
  const HINSTANCE previous = AfxGetResourceHandle();
  EXPECT_EQ(GetModuleHandleW(nullptr), previous) << "the executable is the default";

  CString text(L"old");
  EXPECT_TRUE(text.LoadString(15));
  EXPECT_STREQ(L"last of block one", text);
  EXPECT_TRUE(text.LoadString(16));
  EXPECT_STREQ(L"first of block two", text);
  EXPECT_TRUE(text.LoadString(18));
  EXPECT_STREQ(L"Ger\u00E4t \u00B5", text);
  EXPECT_FALSE(text.LoadString(17)) << "a gap inside a block";
  EXPECT_TRUE(text.IsEmpty());
  EXPECT_FALSE(text.LoadString(1000)) << "a missing block";
  EXPECT_FALSE(text.LoadString(0x10000));

  // The loaded template with more inserts than the caller has.
  ASSERT_TRUE(text.LoadString(40));
  CString message;
  ASSERT_TRUE(message.FormatMessage(text, L"3", L"WaveInCounters", L"0x80070002"));
  EXPECT_STREQ(L"Device 3 (WaveInCounters): 0x80070002  ", message);

  // Another module without strings: every load fails.
  AfxSetResourceHandle(GetModuleHandleW(L"kernel32.dll"));
  EXPECT_FALSE(text.LoadString(15));
  AfxSetResourceHandle(previous);
  EXPECT_TRUE(text.LoadString(15));
}

TEST(StringOperations, SubstringsSearchAndCase) {
  CString text(L"Hello World");
  EXPECT_STREQ(L"World", text.Mid(6));
  EXPECT_STREQ(L"Wor", text.Mid(6, 3));
  EXPECT_STREQ(L"", text.Mid(20));
  EXPECT_STREQ(L"Hello World", text.Mid(-3));
  EXPECT_STREQ(L"Hel", text.Left(3));
  EXPECT_STREQ(L"Hello World", text.Left(99));
  EXPECT_STREQ(L"rld", text.Right(3));
  EXPECT_STREQ(L"", text.Right(-1));
  EXPECT_EQ(4, text.Find(L'o'));
  EXPECT_EQ(7, text.Find(L'o', 5));
  EXPECT_EQ(-1, text.Find(L'o', 99));
  EXPECT_EQ(6, text.Find(L"World"));
  EXPECT_EQ(7, text.ReverseFind(L'o'));
  EXPECT_EQ(3, text.Replace(L'l', L'L'));
  EXPECT_STREQ(L"HeLLo WorLd", text);
  EXPECT_EQ(1, text.Replace(L"LL", L"LLL"));  // growing replacement, no rescan
  EXPECT_STREQ(L"HeLLLo WorLd", text);
  EXPECT_EQ(1, text.Replace(L"LLL", L"ll-"));
  EXPECT_STREQ(L"Hell-o WorLd", text);
  EXPECT_EQ(0, text.Replace(L"", L"x"));
  text.MakeUpper();
  EXPECT_STREQ(L"HELL-O WORLD", text);
  text.MakeLower();
  EXPECT_STREQ(L"hell-o world", text);
  EXPECT_EQ(0, text.CompareNoCase(L"HELL-O WORLD"));
  EXPECT_TRUE(text == L"hell-o world");
  EXPECT_TRUE(CString(L"a") < CString(L"b"));
  EXPECT_TRUE(L"x" != text);
  text.Empty();
  EXPECT_TRUE(text.IsEmpty());
  EXPECT_EQ(0, text.GetLength());
  EXPECT_EQ(L'\0', text[5]) << "out of range reads NUL";
}

TEST(StringOperations, BufferRoundTrip) {
  CString text(L"abc");
  wchar_t* buffer = text.GetBuffer(32);
  EXPECT_STREQ(L"abc", buffer);
  wcscpy(buffer, L"written by an API");
  text.ReleaseBuffer();
  EXPECT_STREQ(L"written by an API", text);
  EXPECT_EQ(17, text.GetLength());
  buffer = text.GetBuffer(0);
  text.ReleaseBuffer(7);
  EXPECT_STREQ(L"written", text);
  text += L'!';
  text += L" more";
  EXPECT_STREQ(L"written! more", text + L"");
  EXPECT_STREQ(L">written! more", L">" + text);
}

// --- times ------------------------------------------------------------------

TEST(Time, SecondsBeyond2038DoNotWrap) {
  // 2040-01-01 00:00:00 UTC and 2038-01-19 03:14:08 UTC (the first second past 31 bits).
  const CTime late(2208988800LL);
  const CTime limit(2147483648LL);
  EXPECT_GT(late.GetTime(), 0);
  EXPECT_GT(late, limit);
  EXPECT_EQ(2208988800LL - 2147483648LL, (late - limit).GetTotalSeconds());
  EXPECT_EQ(L"2040-01-01 00:00:00", late.FormatGmt(L"%Y-%m-%d %H:%M:%S").Str());
  EXPECT_EQ(L"2038-01-19 03:14:08", limit.FormatGmt(L"%Y-%m-%d %H:%M:%S").Str());
  EXPECT_EQ(2040, CTime(2040, 6, 1, 12, 0, 0).GetYear());

  // A driver time stamp of 2040 (FILETIME) arrives as the same instant.
  ULARGE_INTEGER units;
  units.QuadPart = (2208988800ULL + 11644473600ULL) * 10000000ULL + 5000000ULL;  // half a second in
  FILETIME ft;
  ft.dwLowDateTime = units.LowPart;
  ft.dwHighDateTime = units.HighPart;
  EXPECT_EQ(2208988800LL, CTime(ft).GetTime());
  // Through the local calendar with standard time (January) it is the same instant.
  EXPECT_EQ(2208988800LL, CTime(ft, 0).GetTime());

  CTime moved = limit;
  moved += CTimeSpan(365, 0, 0, 0);
  EXPECT_EQ(2147483648LL + 365LL * 86400, moved.GetTime());
}

TEST(Time, FormatsOfTheRuntime) {
  const CTime t(2003, 5, 6, 9, 7, 5);
  EXPECT_STREQ(L"05/06/03 09:07:05", t.Format(L"%c"));
  EXPECT_STREQ(L"09:07:05", t.Format(L"%X"));
  EXPECT_STREQ(L"2003-05-06", t.Format(L"%Y-%m-%d"));
  EXPECT_EQ(2003, t.GetYear());
  EXPECT_EQ(5, t.GetMonth());
  EXPECT_EQ(6, t.GetDay());
  EXPECT_EQ(9, t.GetHour());
  EXPECT_EQ(7, t.GetMinute());
  EXPECT_EQ(5, t.GetSecond());
  EXPECT_EQ(3, t.GetDayOfWeek()) << "a Tuesday";
  SYSTEMTIME st;
  ASSERT_TRUE(t.GetAsSystemTime(st));
  EXPECT_EQ(2003, st.wYear);
  EXPECT_EQ(9, st.wHour);

  // Unknown conversions would end the process inside the runtime: refused.
  EXPECT_STREQ(L"", t.Format(L"%Q"));
  EXPECT_STREQ(L"", t.Format(L"100%"));
  EXPECT_STREQ(L"", t.Format(nullptr));
  // No local calendar form before 1970.
  EXPECT_STREQ(L"", CTime(-1).Format(L"%c"));
  EXPECT_FALSE(CTime(-1).GetAsSystemTime(st));
  EXPECT_EQ(-1, CTime(-1).GetYear());
}

TEST(Time, CurrentTimeInWholeSeconds) {
  const CTime now = CTime::GetCurrentTime();
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  const __time64_t system = CTime(ft).GetTime();
  EXPECT_LE(now.GetTime(), system);
  EXPECT_GE(now.GetTime() + 2, system);
}

TEST(TimeSpan, PartsAndArithmetic) {
  const CTimeSpan span(1, 2, 3, 4);
  EXPECT_EQ(93784, span.GetTotalSeconds());
  EXPECT_EQ(1, span.GetDays());
  EXPECT_EQ(26, span.GetTotalHours());
  EXPECT_EQ(2, span.GetHours());
  EXPECT_EQ(3, span.GetMinutes());
  EXPECT_EQ(4, span.GetSeconds());
  EXPECT_STREQ(L"1 02:03:04 %", span.Format(L"%D %H:%M:%S %%"));
  EXPECT_STREQ(L"", span.Format(L"%Q"));
  EXPECT_EQ(CTimeSpan(93785), span + CTimeSpan(1));
  EXPECT_EQ(CTimeSpan(-1), CTimeSpan(0) - CTimeSpan(1));
  EXPECT_TRUE(CTimeSpan(-1) < CTimeSpan(0));
  // Spans longer than 68 years (beyond 31 bits of seconds) stay exact.
  const CTimeSpan century(36525, 0, 0, 0);
  EXPECT_EQ(3155760000LL, century.GetTotalSeconds());
  EXPECT_EQ(36525, century.GetDays());
}

}  // namespace
