// The command catalogue is the one table code, simulator and tests share:
// check it is consistent with itself.
#include <gtest/gtest.h>

#include <set>

#include "protocol/commands.h"

TEST(Catalogue, EntriesAreUniqueAndAnswersExist) {
  std::set<std::pair<uint16_t, int>> seen;
  for (const CommandInfo& c : CommandCatalogue()) {
    EXPECT_TRUE(seen.insert({c.code, static_cast<int>(c.dir)}).second) << std::hex << c.code;
    EXPECT_NE(c.links, 0) << std::hex << c.code;
    if (c.answer != 0) {
      EXPECT_EQ(c.dir, CmdDir::kToDvr) << std::hex << c.code;
      EXPECT_NE(FindCommand(c.answer, CmdDir::kToClient), nullptr) << std::hex << c.answer;
    }
    if (c.payload_bytes >= 0) {
      EXPECT_LE(c.payload_bytes, 65529);
    }
  }
  // The system information request is its own answer.
  ASSERT_NE(FindCommand(0x2F01, CmdDir::kToDvr), nullptr);
  ASSERT_NE(FindCommand(0x2F01, CmdDir::kToClient), nullptr);
  EXPECT_EQ(FindCommand(0x2F01, CmdDir::kToClient)->data_code, 51);
  EXPECT_EQ(FindCommand(0x1013, CmdDir::kToDvr)->payload_bytes, 64);
  EXPECT_EQ(FindCommand(0x1013, CmdDir::kToClient), nullptr);
}
