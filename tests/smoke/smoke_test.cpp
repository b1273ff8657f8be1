#include <gtest/gtest.h>
#include <windows.h>
#include <cwchar>
TEST(Smoke, WideFormatUsesMsConventions) {
  wchar_t buf[32];
  _snwprintf(buf, 32, L"%s-%d", L"abc", 5);
  EXPECT_STREQ(L"abc-5", buf);
}
