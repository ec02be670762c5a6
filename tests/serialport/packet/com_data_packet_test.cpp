#include "serialport/packet/com_data_packet.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "serialport/port/com_port.h"
#include "tests/support/fake_device.h"

namespace tolvane {
namespace {

using TConfigure = std::function<void(TComDataPacket&)>;

// Records what an assembler fires as "P:<text>" for a packet and "D:<text>" for a discard, in
// order, and checks that every event names the assembler as its sender.
void Record(TComDataPacket& Packet, std::vector<std::string>& Events) {
  Packet.OnPacket = [&Packet, &Events](TObject* Sender, const std::string& Str) {
    EXPECT_EQ(Sender, &Packet);
    Events.push_back("P:" + Str);
  };
  Packet.OnDiscard = [&Packet, &Events](TObject* Sender, const std::string& Str) {
    EXPECT_EQ(Sender, &Packet);
    Events.push_back("D:" + Str);
  };
}

class ComDataPacketTest : public ::testing::Test {
 protected:
  ComDataPacketTest() { Record(Packet, Events); }

  void Feed(const std::vector<std::string>& Pieces) {
    for (const std::string& Piece : Pieces) Packet.TakeData(Piece);
  }

  TComDataPacket Packet{nullptr};
  std::vector<std::string> Events;
};

void MainWindowSettings(TComDataPacket& Packet) {
  Packet.SetStopString(";");
}

struct TAssemblyCase {
  const char* Name;
  TConfigure Configure;
  std::vector<std::string> Pieces;
  std::vector<std::string> Expected;
  std::string LeftCollected;
};

TEST_F(ComDataPacketTest, CutsReceivedTextIntoPackets) {
  const std::vector<TAssemblyCase> Cases = {
      {"identification reply", MainWindowSettings, {"ID200;"}, {"P:ID200"}, ""},
      {"register value", MainWindowSettings, {"ST001203200;"}, {"P:ST001203200"}, ""},
      {"two replies in one read",
       MainWindowSettings,
       {"ID200;ST001203200;"},
       {"P:ID200", "P:ST001203200"},
       ""},
      {"reply over two reads", MainWindowSettings, {"ST0012", "03200;"}, {"P:ST001203200"}, ""},
      {"partial reply stays", MainWindowSettings, {"ID200;ST0012"}, {"P:ID200"}, "ST0012"},
      {"lone stop string", MainWindowSettings, {";"}, {"P:"}, ""},
      {"two stop strings", MainWindowSettings, {";;"}, {"P:", "P:"}, ""},
      {"stop string included",
       [](TComDataPacket& P) {
         P.SetStopString(";");
         P.SetIncludeStrings(true);
       },
       {"ID200;"},
       {"P:ID200;"},
       ""},
      {"line end before a reply", MainWindowSettings, {"\r\nID200;"}, {"P:\r\nID200"}, ""},
      {"text before the start string is discarded",
       [](TComDataPacket& P) {
         P.SetStartString("$");
         P.SetStopString(";");
       },
       {"xx$AB;"},
       {"D:xx", "P:AB"},
       ""},
      {"start string never comes",
       [](TComDataPacket& P) {
         P.SetStartString("$");
         P.SetStopString(";");
       },
       {"abc;"},
       {},
       "abc;"},
      {"end is searched after the start string",
       [](TComDataPacket& P) {
         P.SetStartString("$");
         P.SetStopString("$");
       },
       {"$A$"},
       {"P:A"},
       ""},
      {"start and stop strings both kept",
       [](TComDataPacket& P) {
         P.SetStartString("<<");
         P.SetStopString(">>");
         P.SetIncludeStrings(true);
       },
       {"z<<ab>>"},
       {"D:z", "P:<<ab>>"},
       ""},
      {"case-insensitive stop string keeps the received case",
       [](TComDataPacket& P) {
         P.SetStopString("end");
         P.SetCaseInsensitive(true);
       },
       {"abcEND"},
       {"P:abc"},
       ""},
      {"case-sensitive stop string does not match",
       [](TComDataPacket& P) { P.SetStopString("end"); },
       {"abcEND"},
       {},
       "abcEND"},
      {"case-insensitive start string",
       [](TComDataPacket& P) {
         P.SetStartString("st");
         P.SetStopString(";");
         P.SetCaseInsensitive(true);
       },
       {"xxST01;"},
       {"D:xx", "P:01"},
       ""},
      // '[' and '{' differ only in the bit that separates upper and lower case letters.
      {"folding touches only letters",
       [](TComDataPacket& P) {
         P.SetStopString("{");
         P.SetCaseInsensitive(true);
       },
       {"a[b{"},
       {"P:a[b"},
       ""},
      {"a one-letter stop string found in either case",
       [](TComDataPacket& P) {
         P.SetStopString("x");
         P.SetCaseInsensitive(true);
       },
       {"aXbx"},
       {"P:a", "P:b"},
       ""},
      {"folding leaves bytes above ASCII alone",
       [](TComDataPacket& P) {
         P.SetStopString("\xE4");
         P.SetCaseInsensitive(true);
       },
       {"a\xC4"},
       {},
       "a\xC4"},
      {"fixed size",
       [](TComDataPacket& P) { P.SetSize(4); },
       {"ABCDEFGH"},
       {"P:ABCD", "P:EFGH"},
       ""},
      {"fixed size waits for the fourth character",
       [](TComDataPacket& P) { P.SetSize(4); },
       {"ABC"},
       {},
       "ABC"},
      {"fixed size completed later",
       [](TComDataPacket& P) { P.SetSize(4); },
       {"ABC", "DE"},
       {"P:ABCD"},
       "E"},
      {"stop string before the size is reached",
       [](TComDataPacket& P) {
         P.SetSize(4);
         P.SetStopString(";");
       },
       {"A;"},
       {"P:A"},
       ""},
      {"fixed size wins over a stop string within it",
       [](TComDataPacket& P) {
         P.SetSize(4);
         P.SetStopString(";");
       },
       {"A;BC"},
       {"P:A;BC"},
       ""},
      {"only the first stop string counts when stripping",
       [](TComDataPacket& P) {
         P.SetSize(4);
         P.SetStopString(";");
       },
       {";AB;"},
       {"P:;AB;"},
       ""},
      {"fixed size counts the start string",
       [](TComDataPacket& P) {
         P.SetStartString("$");
         P.SetSize(3);
       },
       {"ab$xyz"},
       {"D:ab", "P:xy"},
       "z"},
      {"without an end rule every read is a packet",
       [](TComDataPacket&) {},
       {"ab", "c;"},
       {"P:ab", "P:c;"},
       ""},
      {"without an end rule the start string plays no part",
       [](TComDataPacket& P) { P.SetStartString("$"); },
       {"x$y"},
       {"P:x$y"},
       ""},
      {"control and high bytes pass unchanged",
       MainWindowSettings,
       {std::string("\x00\xFF\r\n;", 5)},
       {std::string("P:\x00\xFF\r\n", 6)},
       ""},
      {"a zero byte as the stop string",
       [](TComDataPacket& P) { P.SetStopString(std::string(1, '\0')); },
       {std::string("ab\0c\0d", 6)},
       {"P:ab", "P:c"},
       "d"},
  };
  for (const TAssemblyCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TComDataPacket Fresh(nullptr);
    std::vector<std::string> Seen;
    Record(Fresh, Seen);
    Case.Configure(Fresh);
    for (const std::string& Piece : Case.Pieces) Fresh.TakeData(Piece);
    EXPECT_EQ(Seen, Case.Expected);
    EXPECT_EQ(Fresh.Collected(), Case.LeftCollected);
  }
}

struct TSplitCase {
  const char* Name;
  TConfigure Configure;
  std::string Text;
  std::vector<std::string> Expected;
};

TEST_F(ComDataPacketTest, StopStringSplitAcrossTwoReadsAtEveryPoint) {
  const std::vector<TSplitCase> Cases = {
      {"main window", MainWindowSettings, "ID200;ST001203200;", {"P:ID200", "P:ST001203200"}},
      {"long start and stop strings",
       [](TComDataPacket& P) {
         P.SetStartString("<<");
         P.SetStopString("END");
       },
       "<<abEND<<cdEND",
       {"P:ab", "P:cd"}},
      {"folded stop string",
       [](TComDataPacket& P) {
         P.SetStopString("end");
         P.SetCaseInsensitive(true);
       },
       "abEnDcdeND",
       {"P:ab", "P:cd"}},
  };
  for (const TSplitCase& Case : Cases) {
    for (std::size_t Split = 0; Split <= Case.Text.size(); ++Split) {
      SCOPED_TRACE(std::string(Case.Name) + ", split at " + std::to_string(Split));
      TComDataPacket Fresh(nullptr);
      std::vector<std::string> Seen;
      Record(Fresh, Seen);
      Case.Configure(Fresh);
      Fresh.TakeData(Case.Text.substr(0, Split));
      Fresh.TakeData(Case.Text.substr(Split));
      EXPECT_EQ(Seen, Case.Expected);
      EXPECT_EQ(Fresh.Collected(), "");
    }
  }
}

struct TLimitCase {
  const char* Name;
  std::int32_t MaxBufferSize;
  std::vector<std::string> Pieces;
  std::size_t DiscardedLength;  // 0: nothing discarded
  std::size_t LeftLength;
};

TEST_F(ComDataPacketTest, BufferLimitDiscardsOnlyWhenReached) {
  const std::string Chars1023(1023, 'x');
  const std::vector<TLimitCase> Cases = {
      {"1023 characters stay", 1024, {Chars1023}, 0, 1023},
      {"the 1024th character discards all", 1024, {Chars1023, "y"}, 1024, 0},
      {"one read beyond the limit", 1024, {std::string(5000, 'x')}, 5000, 0},
      {"a packet completed past the limit is delivered", 1024, {Chars1023, "y;"}, 0, 0},
      {"the limit applies to what is left", 1024, {Chars1023 + ";" + Chars1023}, 0, 1023},
      {"no limit at 0", 0, {std::string(5000, 'x')}, 0, 5000},
      {"no limit below 0", -1, {std::string(5000, 'x')}, 0, 5000},
      {"small limit", 3, {"ab", "c"}, 3, 0},
  };
  for (const TLimitCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TComDataPacket Fresh(nullptr);
    std::vector<std::string> Discards;
    Fresh.OnDiscard = [&Discards](TObject*, const std::string& Str) { Discards.push_back(Str); };
    Fresh.SetStopString(";");
    Fresh.SetMaxBufferSize(Case.MaxBufferSize);
    for (const std::string& Piece : Case.Pieces) Fresh.TakeData(Piece);
    if (Case.DiscardedLength == 0) {
      EXPECT_TRUE(Discards.empty());
    } else {
      ASSERT_EQ(Discards.size(), 1u);
      EXPECT_EQ(Discards[0].size(), Case.DiscardedLength);
      EXPECT_FALSE(Fresh.PacketOpen());
    }
    EXPECT_EQ(Fresh.Collected().size(), Case.LeftLength);
  }
}

TEST_F(ComDataPacketTest, BufferLimitAlsoAppliesWhileWaitingForAStart) {
  Packet.SetStartString("$");
  Packet.SetStopString(";");
  Packet.SetMaxBufferSize(4);
  Feed({"abc"});
  EXPECT_TRUE(Events.empty());
  Feed({"d"});
  EXPECT_EQ(Events, (std::vector<std::string>{"D:abcd"}));
  Feed({"$x;"});
  EXPECT_EQ(Events.back(), "P:x");
}

TEST_F(ComDataPacketTest, CustomStartHandlerChoosesTheStart) {
  struct TCase {
    std::int32_t Pos;
    std::vector<std::string> Expected;
    std::string Left;
    bool Open;
  };
  const std::vector<TCase> Cases = {
      {0, {}, "abcde;", false},          // no start yet
      {-2, {}, "abcde;", false},         // any other value: no start yet
      {3, {"D:ab", "P:cde"}, "", true},  // the first two characters go
      {1, {"P:abcde"}, "", true},        // a start at the beginning discards nothing
      {-1, {"P:abcde"}, "", true},       // untouched: the built-in rule applies
      {100, {"D:abcde;"}, "", true},     // beyond the text: all of it goes
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Pos);
    TComDataPacket Fresh(nullptr);
    std::vector<std::string> Seen;
    std::vector<std::string> Offered;
    Record(Fresh, Seen);
    Fresh.OnCustomStart = [&](TObject* Sender, std::string_view Str, std::int32_t& Pos) {
      EXPECT_EQ(Sender, &Fresh);
      EXPECT_EQ(Pos, -1);
      Offered.emplace_back(Str);
      Pos = Case.Pos;
    };
    Fresh.SetStopString(";");
    Fresh.TakeData("abcde;");
    EXPECT_EQ(Seen, Case.Expected);
    EXPECT_EQ(Fresh.Collected(), Case.Left);
    EXPECT_EQ(Fresh.PacketOpen(), Case.Open);
    ASSERT_FALSE(Offered.empty());
    EXPECT_EQ(Offered.front(), "abcde;");
  }
}

TEST_F(ComDataPacketTest, CustomStopHandlerEndsThePacket) {
  Packet.SetStopString(";");
  Packet.OnCustomStop = [](TObject*, std::string_view Str, std::int32_t& Pos) {
    // A length-prefixed frame: the first character says how many follow.
    const std::int32_t Length = Str.empty() ? 0 : Str[0] - '0' + 1;
    Pos = (Length > 0 && static_cast<std::int32_t>(Str.size()) >= Length) ? Length : 0;
  };
  Feed({"3ab", ";2x;", "9"});
  // The user's end is stripped like any other: the final ";" goes.
  EXPECT_EQ(Events, (std::vector<std::string>{"P:3ab", "P:2x"}));
  EXPECT_EQ(Packet.Collected(), "9");
}

TEST_F(ComDataPacketTest, CustomStopHandlerAloneIsAnEndRule) {
  EXPECT_FALSE(Packet.HasEndRule());
  Packet.OnCustomStop = [](TObject*, std::string_view, std::int32_t& Pos) { Pos = 2; };
  EXPECT_TRUE(Packet.HasEndRule());
  Feed({"abcd", "e"});
  // Once the text is used up the handler still reports an end: that empty packet is delivered
  // once and the scan does not repeat, so it cannot run forever.
  EXPECT_EQ(Events, (std::vector<std::string>{"P:ab", "P:cd", "P:", "P:e", "P:"}));
  EXPECT_FALSE(Packet.PacketOpen());
}

TEST_F(ComDataPacketTest, CustomStopPacketIsStripped) {
  Packet.SetStartString("$");
  Packet.SetStopString(";");
  Packet.OnCustomStop = [](TObject*, std::string_view Str, std::int32_t& Pos) {
    Pos = Str.size() >= 4 ? 4 : 0;
  };
  Feed({"$ab;c"});
  EXPECT_EQ(Events, (std::vector<std::string>{"P:ab"}));
  EXPECT_EQ(Packet.Collected(), "c");
}

struct TSetterCase {
  const char* Name;
  TConfigure Change;
  bool Clears;
};

TEST_F(ComDataPacketTest, ChangingTheRulesDiscardsCollectedText) {
  const std::vector<TSetterCase> Cases = {
      {"stop string", [](TComDataPacket& P) { P.SetStopString("#"); }, true},
      {"same stop string", [](TComDataPacket& P) { P.SetStopString(";"); }, false},
      {"start string", [](TComDataPacket& P) { P.SetStartString("$"); }, true},
      {"same start string", [](TComDataPacket& P) { P.SetStartString(""); }, false},
      {"size", [](TComDataPacket& P) { P.SetSize(40); }, true},
      {"same size", [](TComDataPacket& P) { P.SetSize(0); }, false},
      {"case folding", [](TComDataPacket& P) { P.SetCaseInsensitive(true); }, true},
      {"same case folding", [](TComDataPacket& P) { P.SetCaseInsensitive(false); }, false},
      {"included strings", [](TComDataPacket& P) { P.SetIncludeStrings(true); }, false},
      {"buffer limit", [](TComDataPacket& P) { P.SetMaxBufferSize(10); }, false},
  };
  for (const TSetterCase& Case : Cases) {
    for (const bool Loading : {false, true}) {
      SCOPED_TRACE(std::string(Case.Name) + (Loading ? " while loading" : ""));
      TComDataPacket Fresh(nullptr);
      std::vector<std::string> Discards;
      Fresh.OnDiscard = [&Discards](TObject*, const std::string& Str) { Discards.push_back(Str); };
      Fresh.SetStopString(";");
      Fresh.TakeData("ST0012");
      if (Loading) Fresh.BeginLoading();
      Case.Change(Fresh);
      if (Case.Clears && !Loading) {
        EXPECT_EQ(Discards, std::vector<std::string>{"ST0012"});
        EXPECT_EQ(Fresh.Collected(), "");
        EXPECT_FALSE(Fresh.PacketOpen());
      } else {
        EXPECT_TRUE(Discards.empty());
        EXPECT_EQ(Fresh.Collected(), "ST0012");
        EXPECT_TRUE(Fresh.PacketOpen());
      }
    }
  }
}

TEST_F(ComDataPacketTest, ClearingNothingKeepsThePacketOpen) {
  MainWindowSettings(Packet);
  Feed({"ID200;"});
  ASSERT_TRUE(Packet.PacketOpen());
  Packet.ClearCollected();
  EXPECT_TRUE(Packet.PacketOpen());
  EXPECT_EQ(Events, (std::vector<std::string>{"P:ID200"}));
}

TEST_F(ComDataPacketTest, ClearingEmptiesEvenWhenTheDiscardHandlerRaises) {
  MainWindowSettings(Packet);
  Feed({"ST00"});
  Packet.OnDiscard = [](TObject*, const std::string&) { throw std::runtime_error("discard"); };
  EXPECT_THROW(Packet.ClearCollected(), std::runtime_error);
  EXPECT_EQ(Packet.Collected(), "");
  EXPECT_FALSE(Packet.PacketOpen());
}

TEST_F(ComDataPacketTest, RaisingPacketHandlerStopsTheScanButTheLimitStillApplies) {
  MainWindowSettings(Packet);
  Packet.SetMaxBufferSize(10);
  auto Record = Packet.OnPacket;
  Packet.OnPacket = [&](TObject* Sender, const std::string& Str) {
    Record(Sender, Str);
    if (Str == "a") throw std::runtime_error("packet");
  };
  EXPECT_THROW(Feed({"a;b;" + std::string(12, 'c')}), std::runtime_error);
  EXPECT_EQ(Events, (std::vector<std::string>{"P:a", "D:b;cccccccccccc"}));
  EXPECT_EQ(Packet.Collected(), "");

  Events.clear();
  EXPECT_THROW(Feed({"a;b;"}), std::runtime_error);
  EXPECT_EQ(Events, (std::vector<std::string>{"P:a"}));
  EXPECT_EQ(Packet.Collected(), "b;");  // the raising packet is not put back
  Feed({""});
  EXPECT_EQ(Events, (std::vector<std::string>{"P:a", "P:b"}));
}

TEST_F(ComDataPacketTest, RaisingDiscardOfLeadingTextKeepsTheAcceptedStart) {
  Packet.SetStartString("$");
  Packet.SetStopString(";");
  Packet.OnDiscard = [](TObject*, const std::string&) { throw std::runtime_error("discard"); };
  EXPECT_THROW(Feed({"xx$a;"}), std::runtime_error);
  EXPECT_TRUE(Packet.PacketOpen());
  EXPECT_EQ(Packet.Collected(), "$a;");
  Feed({""});
  EXPECT_EQ(Events, (std::vector<std::string>{"P:a"}));
}

TEST_F(ComDataPacketTest, RaisingCustomHandlersStopTheScan) {
  Packet.SetStopString(";");
  Packet.SetMaxBufferSize(4);
  Packet.OnCustomStop = [](TObject*, std::string_view, std::int32_t&) {
    throw std::runtime_error("stop");
  };
  EXPECT_THROW(Feed({"ab;"}), std::runtime_error);
  EXPECT_TRUE(Events.empty());
  EXPECT_EQ(Packet.Collected(), "ab;");
  EXPECT_THROW(Feed({"c"}), std::runtime_error);
  EXPECT_EQ(Events, (std::vector<std::string>{"D:ab;c"}));
}

TEST_F(ComDataPacketTest, TextWithoutAStopStringStaysBounded) {
  MainWindowSettings(Packet);
  const std::size_t Total = 1024 * 1024;
  const std::string Piece(1000, 'x');
  std::size_t Fed = 0;
  std::size_t Discarded = 0;
  std::size_t Largest = 0;
  Packet.OnDiscard = [&Discarded](TObject*, const std::string& Str) { Discarded += Str.size(); };
  while (Fed < Total) {
    const std::string Next = Piece.substr(0, std::min(Piece.size(), Total - Fed));
    Packet.TakeData(Next);
    Fed += Next.size();
    Largest = std::max(Largest, Packet.Collected().size());
  }
  EXPECT_LT(Largest, 1024u);
  EXPECT_EQ(Discarded + Packet.Collected().size(), Total);
  EXPECT_EQ(Events, std::vector<std::string>{});
}

TEST_F(ComDataPacketTest, OneReadOfAMegabyteOfStopStrings) {
  MainWindowSettings(Packet);
  std::size_t Packets = 0;
  bool AllEmpty = true;
  Packet.OnPacket = [&](TObject*, const std::string& Str) {
    ++Packets;
    AllEmpty = AllEmpty && Str.empty();
  };
  Packet.TakeData(std::string(1024 * 1024, ';') + "tail");
  EXPECT_EQ(Packets, 1024u * 1024u);
  EXPECT_TRUE(AllEmpty);
  EXPECT_EQ(Packet.Collected(), "tail");
}

TEST_F(ComDataPacketTest, OneReadOfManyRepliesKeepsTheirOrder) {
  MainWindowSettings(Packet);
  std::string Text;
  std::vector<std::string> Expected;
  for (int Index = 0; Index < 50000; ++Index) {
    Text += std::to_string(Index) + ";";
    Expected.push_back("P:" + std::to_string(Index));
  }
  Packet.TakeData(Text);
  EXPECT_EQ(Events, Expected);
}

// A piece is scanned where it lies; one given from inside a handler joins what is left of it,
// and what is left outlives the piece's own buffer.
TEST_F(ComDataPacketTest, APieceTakenFromInsideAHandlerFollowsTheRestOfTheOuterOne) {
  MainWindowSettings(Packet);
  bool Nested = false;
  Packet.OnPacket = [&](TObject*, const std::string& Str) {
    Events.push_back("P:" + Str);
    if (!Nested) {
      Nested = true;
      Packet.TakeData("X;Y");
    }
  };
  {
    const std::string Piece = "A;B;C";
    Packet.TakeData(Piece);
  }
  EXPECT_EQ(Events, (std::vector<std::string>{"P:A", "P:B", "P:CX"}));
  EXPECT_EQ(Packet.Collected(), "Y");
  Packet.TakeData(";");
  EXPECT_EQ(Events.back(), "P:Y");
}

// What a packet handler changes holds from the next packet of the same read on, as if each
// packet had arrived in a read of its own.
TEST_F(ComDataPacketTest, RulesAPacketHandlerChangesApplyToTheRestOfTheRead) {
  struct TChangeCase {
    const char* Name;
    std::function<void(TComDataPacket&)> Change;  // made in the handler of the first packet
    std::string Text;
    std::vector<std::string> Expected;
  };
  const std::vector<TChangeCase> Cases = {
      {"a new stop string discards the rest",
       [](TComDataPacket& P) { P.SetStopString(":"); },
       "a;b:c;d:",
       {"P:a", "D:b:c;d:"}},
      {"stop strings included from then on",
       [](TComDataPacket& P) { P.SetIncludeStrings(true); },
       "a;b;c;",
       {"P:a", "P:b;", "P:c;"}},
      {"a stop rule of the user's",
       [](TComDataPacket& P) {
         P.OnCustomStop = [](TObject*, std::string_view Str, std::int32_t& Pos) {
           if (Str.size() >= 2) Pos = 2;
         };
       },
       "a;bcd;e",
       {"P:a", "P:bc", "P:d"}},
      {"a start rule of the user's",
       [](TComDataPacket& P) {
         P.OnCustomStart = [](TObject*, std::string_view Str, std::int32_t& Pos) {
           Pos = static_cast<std::int32_t>(Str.find('#')) + 1;
         };
       },
       "a;xy#b;#c;",
       {"P:a", "D:xy", "P:#b", "P:#c"}},
  };
  for (const TChangeCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TComDataPacket Fresh(nullptr);
    std::vector<std::string> Seen;
    Record(Fresh, Seen);
    Fresh.SetStopString(";");
    bool Changed = false;
    std::vector<bool> OpenDuringHandler;
    auto RecordPacket = Fresh.OnPacket;
    Fresh.OnPacket = [&](TObject* Sender, const std::string& Str) {
      OpenDuringHandler.push_back(Fresh.PacketOpen());
      RecordPacket(Sender, Str);
      if (!Changed) {
        Changed = true;
        Case.Change(Fresh);
      }
    };
    Fresh.TakeData(Case.Text);
    EXPECT_EQ(Seen, Case.Expected);
    EXPECT_EQ(OpenDuringHandler, std::vector<bool>(OpenDuringHandler.size(), false));
  }
}

// A class that overrides the packet hook hears every packet through it, whatever the rule.
TEST_F(ComDataPacketTest, ADerivedPacketHookHearsEveryPacket) {
  class THookedPacket : public TComDataPacket {
   public:
    using TComDataPacket::TComDataPacket;
    std::vector<std::string> Hooked;

   protected:
    void FirePacket(const TComText& Str) override { Hooked.emplace_back(Str.View()); }
  };
  THookedPacket Hooked(nullptr);
  MainWindowSettings(Hooked);
  Hooked.TakeData("ID200;ST0012");
  Hooked.TakeData("03200;");
  EXPECT_EQ(Hooked.Hooked, (std::vector<std::string>{"ID200", "ST001203200"}));
}

// Packets are handed out where they lie: a handler taking a view reads the received piece
// itself, one taking a string by value gets its own copy, and the text a handler holds stays
// intact while a nested piece makes the collected text grow and move.
TEST_F(ComDataPacketTest, HandlersGetThePacketInPlaceAndItStaysValidDuringNestedPieces) {
  MainWindowSettings(Packet);
  const std::string Piece = "AB;CD;";
  std::vector<const char*> Where;
  Packet.OnPacket = [&](TObject*, std::string_view Str) { Where.push_back(Str.data()); };
  Packet.TakeData(Piece);
  EXPECT_EQ(Where, (std::vector<const char*>{Piece.data(), Piece.data() + 3}));

  std::vector<std::string> Copies;
  Packet.OnPacket = [&](TObject*, std::string Str) { Copies.push_back(std::move(Str)); };
  Packet.TakeData("EF;");
  EXPECT_EQ(Copies, (std::vector<std::string>{"EF"}));

  // "GH" lies in the collected text (its start came in an earlier piece); the nested piece is
  // far larger than what was collected, so the collected text must grow.
  const std::string Large(100000, 'x');
  std::string SeenAfterNested;
  std::string ReferenceAfterNested;
  Packet.OnPacket = [&](TObject*, const TComText& Str) {
    if (Str.View() != "GH") return;
    const std::string_view View = Str;
    const std::string& Reference = Str;
    Packet.TakeData(Large);
    SeenAfterNested = std::string(View);
    ReferenceAfterNested = Reference;
  };
  Packet.SetMaxBufferSize(0);
  Packet.TakeData("G");
  Packet.TakeData("H;I");
  EXPECT_EQ(SeenAfterNested, "GH");
  EXPECT_EQ(ReferenceAfterNested, "GH");
  EXPECT_EQ(Packet.Collected(), "I" + Large);
}

// The assembler on a real port object with the recording fake device underneath.
class ComDataPacketOnPortTest : public ::testing::Test {
 protected:
  static void OpenQuietly(TComPort& Port) {
    Port.SetEvents({});  // no event thread: the test runs the reception step itself
    Port.OpenPort();
  }

  std::vector<std::string> Events;
};

TEST_F(ComDataPacketOnPortTest, LinkFollowsThePortProperty) {
  TComPort First(nullptr);
  TComPort Second(nullptr);
  TComDataPacket Packet(nullptr);
  Packet.SetComPort(&First);
  EXPECT_EQ(Packet.ComPort(), &First);
  EXPECT_TRUE(First.HasRxBufLink());
  Packet.SetComPort(&First);  // the same port again: no second attach, which would raise
  Packet.SetComPort(&Second);
  EXPECT_FALSE(First.HasRxBufLink());
  EXPECT_TRUE(Second.HasRxBufLink());
  Packet.SetComPort(nullptr);
  EXPECT_FALSE(Second.HasRxBufLink());
  Packet.SetComPort(&Second);
  {
    TComDataPacket Other(nullptr);
    Other.SetComPort(&First);
    EXPECT_TRUE(First.HasRxBufLink());
  }
  EXPECT_FALSE(First.HasRxBufLink());  // a destroyed assembler takes its link along
  EXPECT_TRUE(Second.HasRxBufLink());
}

TEST_F(ComDataPacketOnPortTest, ReceivedBytesReachTheAssemblerThroughItsLink) {
  TComPort Port(nullptr);
  TFakeDevice& Device = InstallFakeDevice(Port);
  TComDataPacket Packet(nullptr);
  Record(Packet, Events);
  Packet.SetStopString(";");
  Packet.SetComPort(&Port);
  OpenQuietly(Port);
  Device.InjectInput("ID200;ST0012");
  Port.ProcessRxChar();
  Device.InjectInput(std::string("03200;\x00\xFF;", 9));
  Port.ProcessRxChar();
  EXPECT_EQ(Events,
            (std::vector<std::string>{"P:ID200", "P:ST001203200", std::string("P:\x00\xFF", 4)}));
  // A partial packet outlives closing and opening the port.
  Device.InjectInput("ST00");
  Port.ProcessRxChar();
  Port.ClosePort();
  OpenQuietly(Port);
  EXPECT_EQ(Packet.Collected(), "ST00");
}

// A packet handler that disconnects gets no further packet of the same read: the rest of it
// is thrown away, as unread input is when a port closes.
TEST_F(ComDataPacketOnPortTest, AHandlerClosingThePortEndsTheRead) {
  TComPort Port(nullptr);
  TFakeDevice& Device = InstallFakeDevice(Port);
  TComDataPacket Packet(nullptr);
  Record(Packet, Events);
  Packet.OnPacket = [&](TObject*, const std::string& Str) {
    Events.push_back("P:" + Str);
    Port.ClosePort();
  };
  Packet.SetStopString(";");
  Packet.SetComPort(&Port);
  OpenQuietly(Port);
  Device.InjectInput("ID200;ID200;ID200;");
  Port.ProcessRxChar();
  EXPECT_EQ(Events, (std::vector<std::string>{"P:ID200", "D:ID200;ID200;"}));
  EXPECT_EQ(Packet.Collected(), "");
}

TEST_F(ComDataPacketOnPortTest, FreedPortIsForgottenAndAnotherPortServes) {
  TComDataPacket Packet(nullptr);
  Record(Packet, Events);
  Packet.SetStopString(";");
  auto* Freed = new TComPort(nullptr);
  Packet.SetComPort(Freed);
  delete Freed;
  EXPECT_EQ(Packet.ComPort(), nullptr);

  TComPort Other(nullptr);
  TFakeDevice& Device = InstallFakeDevice(Other);
  Packet.SetComPort(&Other);
  EXPECT_TRUE(Other.HasRxBufLink());
  OpenQuietly(Other);
  Device.InjectInput("ID200;");
  Other.ProcessRxChar();
  EXPECT_EQ(Events, std::vector<std::string>{"P:ID200"});
}

TEST_F(ComDataPacketOnPortTest, AssemblerOwnedByItsPortGoesWithIt) {
  auto* Port = new TComPort(nullptr);
  auto* Packet = new TComDataPacket(Port);
  Packet->SetComPort(Port);
  delete Port;  // must neither touch the freed assembler nor leak it (the sanitizers watch)
}

}  // namespace
}  // namespace tolvane
