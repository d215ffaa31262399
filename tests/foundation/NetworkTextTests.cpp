// The network code's socket-free text work: dotted hosts and the traffic
// report.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/NetClient.h"

namespace {

TEST(DottedAddress, IsRecognisedByItsCharactersAndThreeDots) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"127.0.0.1", true},      {" 10. 0 .0.7", true},   {"1.2.3.", true},  {"...", true},
      {"", false},              {"1.2.3", false},        {"1.2.3.4.5", false},
      {"localhost", false},     {"10.0.0.-1", false},    {"1.2.3.4\n", false}, {"1.2.3.x4", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsDottedAddress(c.first), c.second) << '"' << c.first << '"';
}

TEST(DottedAddress, PartsKeepTheirLowEightBits) {
  struct Case {
    std::string text;
    unsigned char bytes[4];
  };
  const std::vector<Case> cases = {
      {"127.0.0.1", {127, 0, 0, 1}},
      {"192.168.1.20", {192, 168, 1, 20}},
      {"256.257.511.1000", {0, 1, 255, 232}},
      {" 1. 2 .3 4.", {1, 2, 3, 0}},  // blanks skipped, digits up to the next blank, empty is 0
      {"...", {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    unsigned char out[4] = {9, 9, 9, 9};
    ParseDottedAddress(c.text, out);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], c.bytes[i]) << c.text << " part " << i;
  }
}

TEST(TrafficReport, ChoosesBytesKilobytesOrMegabytesAtTheBoundaries) {
  EXPECT_EQ(TrafficReportText(103423, 103424),
            "Network connection:\n  -Total data sent: 103423 bytes\n  -Total data received: 101KB\n\n");
  EXPECT_EQ(TrafficReportText(8388607, 8388608),
            "Network connection:\n  -Total data sent: 8191KB\n  -Total data received: 8MB\n\n");
  EXPECT_EQ(TrafficReportText(102400 + 1023, 0),
            "Network connection:\n  -Total data sent: 103423 bytes\n  -Total data received: 0 bytes\n\n");
}

}  // namespace
