// The Win32 layer of the text toolbox: system error texts and the user's locale.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "text/Common.h"
#include "text/KSUB.h"

// A code the system has no text for gives an empty text, so that callers can
// put their own (the download falls back to the server's reply).
TEST(TextWin, SystemErrorTextsAreTrimmedAndEmptyForUnknownCodes) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  const std::string text = LastErrorText();
  EXPECT_NE("", text);
  EXPECT_EQ(Trim(text), text);
  EXPECT_EQ(LastErrorText(ERROR_FILE_NOT_FOUND), text);
  EXPECT_EQ(LastErrorText(0x2DEADBEFu), "");
}

TEST(TextWin, UserLocaleMonthNamesAndSeparatorsReachTheDateTexts) {
  const TLocaleDates locale = UserLocaleDates();
  char name[80] = {};
  ASSERT_GT(GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SMONTHNAME3, name, sizeof name), 1);
  EXPECT_EQ(SUB::Item(locale.MonthNames, 3, ""), name);
  std::string value;
  ASSERT_TRUE(DateMacroValue('#', EncodeDate(2026, 3, 5), locale, value));
  EXPECT_EQ(value, "05" + locale.DateSep + name + locale.DateSep + "2026");
  EXPECT_EQ(DateTimeText(EncodeDate(2026, 3, 5)).substr(2, locale.DateSep.size()), locale.DateSep);
}
