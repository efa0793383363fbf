#include <gtest/gtest.h>

#include "engine/automation_error.h"
#include "engine/conversions.h"

namespace artnet {
namespace {

int ErrorOf(auto&& call) {
  try {
    call();
  } catch (const AutomationError& e) {
    return e.number();
  }
  return 0;
}

TEST(ConversionsTest, TextToLongAcceptsDecimalTextOnly) {
  EXPECT_EQ(TextToLong("42"), 42);
  EXPECT_EQ(TextToLong("  -7 "), -7);
  EXPECT_EQ(TextToLong("+5"), 5);
  EXPECT_EQ(TextToLong("2.5"), 2);  // half to even
  EXPECT_EQ(TextToLong("3.5"), 4);
  EXPECT_EQ(TextToLong("1e3"), 1000);
  for (const char* bad : {"", " ", "x", "12a", "1 2", "--1", "."}) {
    EXPECT_EQ(ErrorOf([&] { TextToLong(bad); }), 13) << '"' << bad << '"';
  }
  EXPECT_EQ(ErrorOf([] { TextToLong("2147483647.6"); }), 6);
  EXPECT_EQ(ErrorOf([] { TextToLong("1e300"); }), 6);
}

TEST(ConversionsTest, ByteConversionsRefuseValuesOutsideTheByteRange) {
  EXPECT_EQ(ToByte(255), 255);
  EXPECT_EQ(ErrorOf([] { ToByte(256); }), 6);
  EXPECT_EQ(ErrorOf([] { ToByte(-1); }), 6);
  EXPECT_EQ(RoundToByte(254.5), 254);
  EXPECT_EQ(ErrorOf([] { RoundToByte(255.5); }), 6);
  EXPECT_EQ(LeadingNumber(" 12abc"), 12);
  EXPECT_EQ(LeadingNumber("abc"), 0);
}

}  // namespace
}  // namespace artnet
