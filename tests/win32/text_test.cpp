#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "win32/win32.h"

namespace {

TEST(TextConversion, LengthsFollowTheWindowsRules) {
  // -1 takes the input through its NUL, which is counted.
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4);
  wchar_t wide[8];
  std::wmemset(wide, L'#', 8);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 8), 4);
  EXPECT_STREQ(wide, L"abc");
  EXPECT_EQ(wide[4], L'#');

  // An explicit length converts exactly that much and adds no terminator.
  std::wmemset(wide, L'#', 8);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcdef", 3, wide, 8), 3);
  EXPECT_EQ(std::wstring(wide, 4), L"abc#");

  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"film", -1, nullptr, 0, nullptr, nullptr), 5);
  char text[8];
  std::memset(text, '#', 8);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"film", -1, text, 8, nullptr, nullptr), 5);
  EXPECT_STREQ(text, "film");
  std::memset(text, '#', 8);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"film", 2, text, 8, nullptr, nullptr), 2);
  EXPECT_EQ(std::string(text, 3), "fi#");
}

TEST(TextConversion, TooSmallOutputFailsAndLeavesAnEmptyString) {
  wchar_t wide[4];
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcd", -1, wide, 4), 0);  // needs 5 with the NUL
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(wide[0], L'\0');
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcd", 4, wide, 4), 4);  // fits without the NUL

  char text[3];
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"ab\u00e9", -1, text, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(text[0], '\0');
  // A character of several bytes is never split at the end of the buffer.
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"a\u00e9", 2, text, 2, nullptr, nullptr), 0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"a\u00e9", 2, text, 3, nullptr, nullptr), 3);
}

TEST(TextConversion, Utf8BothWays) {
  const char* utf8 = "K\xC3\xA9lvo \xE2\x82\xAC \xF0\x9F\x8E\xB5";  // "Kélvo € 🎵"
  wchar_t wide[16];
  const int n = MultiByteToWideChar(CP_ACP, 0, utf8, -1, wide, 16);
  ASSERT_EQ(n, 10);
  EXPECT_EQ(wide[1], static_cast<wchar_t>(0xE9));
  EXPECT_EQ(wide[6], static_cast<wchar_t>(0x20AC));
  EXPECT_EQ(wide[8], static_cast<wchar_t>(0x1F3B5));
  char back[32];
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, wide, -1, back, 32, nullptr, nullptr),
            static_cast<int>(std::strlen(utf8)) + 1);
  EXPECT_STREQ(back, utf8);

  // A surrogate pair in wide input is the character it encodes.
  const wchar_t pair[] = {0xD83C, 0xDFB5, 0};
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, pair, -1, back, 32, nullptr, nullptr), 5);
  EXPECT_STREQ(back, "\xF0\x9F\x8E\xB5");
}

TEST(TextConversion, InvalidInputIsReplacedOrRefused) {
  wchar_t wide[16];
  // A lone continuation byte, a truncated sequence, an overlong form and an encoded surrogate.
  const char bad[] = "a\x80" "b\xE2\x82" "c\xC0\xAF" "d\xED\xA0\x80";
  const int n = MultiByteToWideChar(CP_UTF8, 0, bad, -1, wide, 16);
  ASSERT_GT(n, 0);
  const std::wstring got(wide, static_cast<size_t>(n) - 1);
  EXPECT_EQ(got, std::wstring(L"a\uFFFDb\uFFFDc\uFFFD\uFFFDd\uFFFD\uFFFD\uFFFD"));
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bad, -1, wide, 16), 0);
  EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);

  const wchar_t lone[] = {L'x', 0xDC00, static_cast<wchar_t>(0x110000), 0};
  char text[16];
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, lone, -1, text, 16, nullptr, nullptr), 8);
  EXPECT_STREQ(text, "x\xEF\xBF\xBD\xEF\xBF\xBD");
  BOOL used = FALSE;
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, lone, -1, text, 16, nullptr, &used), 4);
  EXPECT_STREQ(text, "x??");
  EXPECT_TRUE(used);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, lone, -1, text, 16, "*", &used), 4);
  EXPECT_STREQ(text, "x**");
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"ok", -1, text, 16, nullptr, &used), 3);
  EXPECT_FALSE(used);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, -1, text, 16, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
}

TEST(TextConversion, BadArgumentsAreRefused) {
  wchar_t wide[4];
  char text[4];
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(936, 0, "a", -1, wide, 4), 0);  // not a code page we have
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "a", 0, wide, 4), 0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, nullptr, -1, wide, 4), 0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "a", -1, nullptr, 4), 0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "a", -1, wide, -2), 0);
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "a", -1, wide, 4), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_FLAGS);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "a", -1, wide, 4), 2);
  SetLastError(0);
  BOOL used;
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"a", -1, text, 4, nullptr, &used), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"a", 0, text, 4, nullptr, nullptr), 0);
}

}  // namespace
