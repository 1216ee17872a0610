#include "platform/SysUtils.h"

#include <gtest/gtest.h>

namespace {

TEST(StrToInt, AcceptsDecimalAndHexadecimalForms) {
  const struct { const char* text; int32_t value; } cases[] = {
      {"0", 0},           {"42", 42},       {"   42", 42},      {"-42", -42},  {"+7", 7},
      {"$FF", 255},       {"xff", 255},     {"X10", 16},        {"0x1F", 31},  {"0X1f", 31},
      {"-$10", -16},      {"2147483647", 2147483647},           {"-2147483648", INT32_MIN},
      {"-$80000000", INT32_MIN},            {"$7FFFFFFF", INT32_MAX}, {"007", 7},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StrToInt(std::string_view(c.text)), c.value) << c.text;
    const std::string s = c.text;
    EXPECT_EQ(StrToInt(std::u16string_view(WideString(s.begin(), s.end()))), c.value) << c.text;
  }
}

TEST(StrToInt, RejectsEverythingElseWithTheConversionMessage) {
  for (const char* text : {"", " ", "12 ", "1a", "$", "0x", "x", "--1", "+-1", "\t1", "2147483648",
                           "-2147483649", "$80000000", "$FFFFFFFF", "1e3", "１"}) {
    try {
      StrToInt(std::string_view(text));
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), std::string("'") + text + "' is not a valid integer value");
      EXPECT_STREQ(e.ClassName(), "EConvertError");
    }
  }
}

TEST(StrToBool, TakesIntegersAndTrueFalseInAnyCase) {
  EXPECT_TRUE(StrToBool(std::string_view("true")));
  EXPECT_TRUE(StrToBool(std::string_view("TRUE")));
  EXPECT_FALSE(StrToBool(std::string_view("fAlSe")));
  EXPECT_FALSE(StrToBool(std::string_view("0")));
  EXPECT_TRUE(StrToBool(std::string_view("-1")));
  EXPECT_TRUE(StrToBool(std::u16string_view(u"$10")));
  try {
    StrToBool(std::u16string_view(u"はい"));
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'はい' is not a valid boolean value");
  }
}

TEST(Exception, CarriesMessageAndClassName) {
  try {
    throw EFOpenError("cannot");
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "cannot");
    EXPECT_STREQ(e.ClassName(), "EFOpenError");
  }
}
}  // namespace
