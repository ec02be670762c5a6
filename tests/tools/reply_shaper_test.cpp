#include "tools/reply_shaper.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace tolvane {
namespace {

std::string Joined(const std::vector<TTimedWrite>& Writes) {
  std::string Bytes;
  for (const TTimedWrite& Write : Writes) Bytes += Write.Bytes;
  return Bytes;
}

struct TShapeCase {
  const char* Name;
  TReplyFaults Faults;
  std::vector<int> Times;
  std::vector<std::string> Pieces;
};

TEST(ReplyShaperTest, ShapesTheReplyAsTheFaultsSay) {
  const std::vector<TShapeCase> Cases = {
      {"plain", {}, {0}, {"ID200;"}},
      {"delayed", {.DelayMs = 250}, {250}, {"ID200;"}},
      {"split", {.SplitSize = 4, .SplitGapMs = 10}, {0, 10}, {"ID20", "0;"}},
      {"split per byte after a delay",
       {.DelayMs = 5, .SplitSize = 1, .SplitGapMs = 1},
       {5, 6, 7, 8, 9, 10},
       {"I", "D", "2", "0", "0", ";"}},
      {"line end first", {.CrLf = true}, {0}, {"\r\nID200;"}},
      {"split larger than the reply", {.SplitSize = 100}, {0}, {"ID200;"}},
  };
  for (const TShapeCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TReplyShaper Shaper(Case.Faults);
    const std::vector<TTimedWrite> Writes = Shaper.Shape("ID200;");
    std::vector<int> Times;
    std::vector<std::string> Pieces;
    for (const TTimedWrite& Write : Writes) {
      Times.push_back(Write.AtMs);
      Pieces.push_back(Write.Bytes);
    }
    EXPECT_EQ(Times, Case.Times);
    EXPECT_EQ(Pieces, Case.Pieces);
  }
}

TEST(ReplyShaperTest, DropsEveryNthReply) {
  TReplyShaper Shaper({.DropEvery = 3});
  std::vector<bool> Sent;
  for (int Reply = 0; Reply < 7; ++Reply) Sent.push_back(!Shaper.Shape("ID200;").empty());
  EXPECT_EQ(Sent, (std::vector<bool>{true, true, false, true, true, false, true}));
}

TEST(ReplyShaperTest, GarbageIsAPacketOfItsOwnBeforeTheReply) {
  TReplyShaper Shaper({.CrLf = true, .GarbageBytes = 2000}, 7);
  const std::string Bytes = Joined(Shaper.Shape("ST001203200;"));
  ASSERT_EQ(Bytes.size(), 2000u + 1 + 2 + 12);
  EXPECT_EQ(Bytes.find(';'), 2000u);
  EXPECT_EQ(Bytes.substr(2001), "\r\nST001203200;");
  // Random bytes over the whole range, not a constant filler.
  const std::set<char> Distinct(Bytes.begin(), Bytes.begin() + 2000);
  EXPECT_GT(Distinct.size(), 200u);
}

TEST(ReplyShaperTest, SameSeedSameNoise) {
  TReplyShaper First({.GarbageBytes = 16}, 42);
  TReplyShaper Second({.GarbageBytes = 16}, 42);
  EXPECT_EQ(Joined(First.Shape("ID200;")), Joined(Second.Shape("ID200;")));
}

}  // namespace
}  // namespace tolvane
