#include "protocol/conversions.h"

#include <gtest/gtest.h>

#include "protocol/automation_error.h"

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

TEST(ConversionsTest, IPv4TextIsReadAsPeopleTypeItAndNothingElse) {
  using Octets = std::array<std::uint8_t, 4>;
  EXPECT_EQ(ParseIPv4("10.0.000.255"), (Octets{10, 0, 0, 255}));
  EXPECT_EQ(ParseIPv4("192.168.010.001"), (Octets{192, 168, 10, 1}));  // decimal, never octal
  EXPECT_EQ(ParseIPv4(" \t255.255.255.255 "), (Octets{255, 255, 255, 255}));
  EXPECT_EQ(ParseIPv4("0000000002.0.0.1"), (Octets{2, 0, 0, 1}));
  for (const char* bad : {"", " ", "10.77.0", "10.0.0.1.", "10.0.0.1.5", "256.0.0.1", "10.0.0.2555", "10..0.1",
                          "10. 0.0.1", "localhost", "not-an-address", "0x0a.0.0.1", "+1.0.0.1", "1.2.3.4x"}) {
    EXPECT_FALSE(ParseIPv4(bad)) << '"' << bad << '"';
  }
  EXPECT_EQ(IPv4ToText({10, 0, 0, 255}), "10.0.0.255");
}

}  // namespace
}  // namespace artnet
