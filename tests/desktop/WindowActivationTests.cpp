#include "desktop/WindowActivation.h"

#include <gtest/gtest.h>

#include <optional>

using namespace brindlewick;

TEST(WindowActivation, ReadsTheReadersTimeFromTheEndOfAStartupId) {
  struct Case {
    const char* id;
    std::optional<std::uint32_t> time;
  };
  const Case cases[] = {
      {"launcher-4321-host-brindlewick-0_TIME123456", 123456},
      {"a_TIME1-then_TIME42", 42},              // the last marker counts
      {"_TIME4294967295", 4294967295u},         // the largest X time
      {"_TIME4294967296", std::nullopt},        // past 32 bits
      {"launcher-1-host-0_TIME", std::nullopt}, // no number
      {"launcher-1-host-0_TIME12x", std::nullopt},
      {"launcher-1-host-0_TIME-5", std::nullopt},
      {"launcher-1-host-0_time99", std::nullopt}, // the marker is case-sensitive
      {"wayland-token-without-time", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WindowActivation::startupTimestamp(QString::fromUtf8(c.id)), c.time) << c.id;
}

TEST(WindowActivation, QuotesTheIdOfTheRemovalMessageOnlyWhereItMust) {
  struct Case {
    const char* id;
    const char* message;
  };
  const Case cases[] = {
      {"launcher-1-host-0_TIME5", "remove: ID=launcher-1-host-0_TIME5"},
      {"two words", "remove: ID=\"two words\""},
      {"say \"hi\"", "remove: ID=\"say \\\"hi\\\"\""},
      {"back\\slash", "remove: ID=\"back\\\\slash\""},
      {"caf\xc3\xa9", "remove: ID=caf\xc3\xa9"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WindowActivation::removalMessage(QString::fromUtf8(c.id)), QByteArray(c.message)) << c.id;
}
