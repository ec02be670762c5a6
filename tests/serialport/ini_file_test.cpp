#include "serialport/ini_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "serialport/ini_document.h"
#include "serialport/translation.h"
#include "tests/serialport/settings_files_fixture.h"

namespace tolvane {
namespace {

using testing::ReadWholeFile;
using testing::TScratchDirectory;
using testing::WriteWholeFile;

class IniFileTest : public ::testing::Test {
 protected:
  TScratchDirectory Scratch;
  std::string Path = Scratch.File("Settings.ini");
};

TEST_F(IniFileTest, MissingFileSectionOrKeyGivesTheDefault) {
  const TIniFile Ini(Path);
  EXPECT_EQ(Ini.ReadString("ComPort", "Port", "COM1"), "COM1");
  EXPECT_EQ(Ini.ReadInteger("ComPort", "CustomBaudRate", 9600), 9600);
  WriteWholeFile(Path, "[Other]\nPort=COM7\n");
  EXPECT_EQ(Ini.ReadString("ComPort", "Port", "COM1"), "COM1");
  EXPECT_EQ(Ini.ReadString("Other", "Baud", "x"), "x");
  EXPECT_EQ(Ini.ReadString("Other", "Port", "x"), "COM7");
}

TEST_F(IniFileTest, WritingCreatesFileSectionsAndKeysInOrderOfWriting) {
  TIniFile Ini(Path);
  Ini.WriteString("ComPort", "Port", "COM1");
  Ini.WriteString("ComPort", "BaudRate", "9600");
  Ini.WriteString("Settings", "UaMAX", "03200");
  Ini.WriteInteger("ComPort", "CustomBaudRate", -250000);
  EXPECT_EQ(ReadWholeFile(Path),
            "[ComPort]\nPort=COM1\nBaudRate=9600\nCustomBaudRate=-250000\n\n"
            "[Settings]\nUaMAX=03200\n");
  EXPECT_EQ(Ini.ReadInteger("ComPort", "CustomBaudRate", 0), -250000);
}

TEST_F(IniFileTest, ReplacingAValueKeepsEveryOtherLineAsItWas) {
  const std::string Before =
      "; written by hand\n"
      "[Settings]\n"
      "UaMAX = 03200\n"
      "# a note\n"
      "IaMAX=00999\n"
      "this line is neither\n"
      "\n"
      "; about the port\n"
      "[ComPort]\n"
      "Port=COM1\n";
  WriteWholeFile(Path, Before);
  TIniFile Ini(Path);
  Ini.WriteString("settings", "uamax", "01234");
  Ini.WriteString("Settings", "T__ON", "00020");
  Ini.WriteString("ComPort", "BaudRate", "19200");
  EXPECT_EQ(ReadWholeFile(Path),
            "; written by hand\n"
            "[Settings]\n"
            "uamax=01234\n"
            "# a note\n"
            "IaMAX=00999\n"
            "T__ON=00020\n"
            "this line is neither\n"
            "\n"
            "; about the port\n"
            "[ComPort]\n"
            "Port=COM1\n"
            "BaudRate=19200\n");
}

TEST_F(IniFileTest, LookupIgnoresCaseAndBlanksAroundNamesAndValues) {
  WriteWholeFile(Path, "  [ ComPort ]  \n\t Port \t=  COM3  \nQuoted=\"COM4\"\nEmpty=\n");
  const TIniFile Ini(Path);
  EXPECT_EQ(Ini.ReadString("COMPORT", "port", "?"), "COM3");
  EXPECT_EQ(Ini.ReadString("ComPort", "Quoted", "?"), "COM4");
  EXPECT_EQ(Ini.ReadString("ComPort", "Empty", "?"), "");
}

TEST_F(IniFileTest, EveryStorableValueReadsBackUnchanged) {
  const std::vector<std::string> Values = {
      "",    " ",     "  lead", "trail\t", "\"quoted\"", "\"",           "\"\"", "a=b=c",
      "[x]", ";semi", "#hash",  "\"half",  "tab\tin",    "\x01\x7f\xff", "#13",  " \"both\" "};
  TIniFile Ini(Path);
  for (std::size_t I = 0; I < Values.size(); ++I) {
    Ini.WriteString("S", "K" + std::to_string(I), Values[I]);
  }
  for (std::size_t I = 0; I < Values.size(); ++I) {
    EXPECT_EQ(Ini.ReadString("S", "K" + std::to_string(I), "?"), Values[I]) << I;
  }
}

TEST_F(IniFileTest, TextThatWouldBreakTheFileIsRefusedAndNothingChanges) {
  WriteWholeFile(Path, "[S]\nA=1\n");
  TIniFile Ini(Path);
  struct Row {
    const char* Section;
    const char* Key;
    const char* Value;
  };
  const std::vector<Row> Refused = {
      {"S", "A", "1\nB=2"}, {"S", "A", "1\r"}, {"S", "A\nB", "1"}, {"S\n[T", "A", "1"},
      {"S]", "A", "1"},     {"S", "B=C", "1"}, {"S", "", "1"},     {"S", "  ", "1"},
      {"S", ";A", "1"},     {"S", "[A]", "1"}, {"S", "#A", "1"},
  };
  for (const Row& Case : Refused) {
    try {
      Ini.WriteString(Case.Section, Case.Key, Case.Value);
      ADD_FAILURE() << "accepted " << Case.Section << "/" << Case.Key;
    } catch (const EIniFileException& Error) {
      EXPECT_EQ(Error.Message(), "Unable to write to " + Path);
    }
  }
  EXPECT_EQ(ReadWholeFile(Path), "[S]\nA=1\n");
}

TEST_F(IniFileTest, WriteErrorTextPassesThroughTheTranslator) {
  SetTranslator([](const std::string& Text) {
    return Text == "Unable to write to %s" ? std::string("Kann %s nicht schreiben") : Text;
  });
  std::string Message;
  try {
    TIniFile(Path).WriteString("S", "A", "x\ny");
  } catch (const EIniFileException& Error) {
    Message = Error.Message();
  }
  SetTranslator({});
  EXPECT_EQ(Message, "Kann " + Path + " nicht schreiben");
}

// The text forms themselves are ParseInteger's; here only the default for text that is none.
TEST_F(IniFileTest, IntegersReadDecimalOrHexAndOtherTextGivesTheDefault) {
  WriteWholeFile(Path, "[S]\nDec=-1024\nHex=0x1F\nText=12abc\nBlank=\n");
  const TIniFile Ini(Path);
  EXPECT_EQ(Ini.ReadInteger("S", "Dec", 7), -1024);
  EXPECT_EQ(Ini.ReadInteger("S", "Hex", 7), 31);
  for (const char* Key : {"Text", "Blank", "Missing"}) EXPECT_EQ(Ini.ReadInteger("S", Key, 7), 7);
}

TEST_F(IniFileTest, ValuesReadBackAreCutTo2047Characters) {
  TIniFile Ini(Path);
  Ini.WriteString("S", "Long", std::string(5000, 'v'));
  EXPECT_EQ(Ini.ReadString("S", "Long", ""), std::string(2047, 'v'));
}

TEST_F(IniFileTest, NewLinesFollowCrLfAndAMissingFinalLineBreakIsMended) {
  WriteWholeFile(Path, "[S]\r\nA=1\r\n[T]\r\nB=2");
  TIniFile Ini(Path);
  Ini.WriteString("S", "C", "3");
  Ini.WriteString("T", "D", "4");
  Ini.WriteString("S", "A", "5");
  EXPECT_EQ(ReadWholeFile(Path), "[S]\r\nA=5\r\nC=3\r\n[T]\r\nB=2\r\nD=4\r\n");
  EXPECT_EQ(Ini.ReadString("S", "A", ""), "5");
}

TEST_F(IniFileTest, FirstOfDuplicateSectionsAndKeysIsReadAndReplaced) {
  WriteWholeFile(Path, "[S]\nA=first\nA=second\n[S]\nB=later\n");
  TIniFile Ini(Path);
  EXPECT_EQ(Ini.ReadString("S", "A", ""), "first");
  EXPECT_EQ(Ini.ReadString("S", "B", ""), "later");
  Ini.WriteString("S", "A", "new");
  Ini.WriteString("S", "B", "newer");
  EXPECT_EQ(ReadWholeFile(Path), "[S]\nA=new\nA=second\n[S]\nB=newer\n");
}

TEST_F(IniFileTest, ReplacingKeepsTheFilesPermissionsAndFollowsASymbolicLink) {
  const std::string Real = Scratch.File("real.ini");
  WriteWholeFile(Real, "[S]\nA=1\n");
  ::chmod(Real.c_str(), 0640);
  std::filesystem::create_symlink(Real, Path);
  TIniFile(Path).WriteString("S", "A", "2");
  struct stat Info {};
  ASSERT_EQ(::stat(Real.c_str(), &Info), 0);
  EXPECT_EQ(Info.st_mode & 07777, 0640u);
  EXPECT_TRUE(std::filesystem::is_symlink(Path));
  EXPECT_EQ(ReadWholeFile(Real), "[S]\nA=2\n");
  EXPECT_EQ(testing::CountEntries(Scratch.Path()), 2u);  // no temporary file left behind
}

TEST_F(IniFileTest, APathThatIsADirectoryOrLiesInNoDirectoryFails) {
  std::filesystem::create_directory(Path);
  EXPECT_EQ(TIniFile(Path).ReadString("S", "A", "d"), "d");
  EXPECT_THROW(TIniFile(Path).WriteString("S", "A", "1"), EIniFileException);
  EXPECT_THROW(TIniFile(Scratch.File("missing/Settings.ini")).WriteString("S", "A", "1"),
               EIniFileException);
}

// Exit codes of the child steps below.
constexpr int Refused = 0;
constexpr int Accepted = 1;
constexpr int OtherError = 2;

int TryWrite(const std::string& Path) {
  try {
    TIniFile(Path).WriteString("S", "A", "new");
    return Accepted;
  } catch (const EIniFileException&) {
    return Refused;
  } catch (...) {
    return OtherError;
  }
}

TEST_F(IniFileTest, AReadOnlyDirectoryOrFileRefusesTheWriteAndKeepsTheFile) {
  WriteWholeFile(Path, "[S]\nA=old\n");
  ::chmod(Path.c_str(), 0666);
  ::chmod(Scratch.Path().c_str(), 0555);
  EXPECT_EQ(testing::RunWithoutPrivileges([&] { return TryWrite(Path); }), Refused);
  EXPECT_EQ(ReadWholeFile(Path), "[S]\nA=old\n");

  ::chmod(Scratch.Path().c_str(), 0777);
  ::chmod(Path.c_str(), 0444);
  EXPECT_EQ(testing::RunWithoutPrivileges([&] { return TryWrite(Path); }), Refused);
  EXPECT_EQ(ReadWholeFile(Path), "[S]\nA=old\n");
  EXPECT_EQ(testing::CountEntries(Scratch.Path()), 1u);
}

// A file-size limit below the new content stops the write of the temporary file half-way:
// first by the signal that kills the process, then, with the signal ignored, as a failed write.
TEST_F(IniFileTest, ASaveStoppedHalfWayLeavesTheOldFileWhole) {
  const std::string Old = "[S]\nA=old\n";
  WriteWholeFile(Path, Old);
  const std::string Large(64 * 1024, 'x');
  const auto WriteWithLimit = [&](bool IgnoreSignal) {
    if (IgnoreSignal) ::signal(SIGXFSZ, SIG_IGN);
    const rlimit Limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &Limit);
    try {
      TIniFile(Path).WriteString("S", "A", Large);
      return Accepted;
    } catch (const EIniFileException&) {
      return Refused;
    }
  };
  EXPECT_EQ(testing::RunInChild([&] { return WriteWithLimit(false); }), 128 + SIGXFSZ);
  EXPECT_EQ(ReadWholeFile(Path), Old);

  for (const auto& Entry : std::filesystem::directory_iterator(Scratch.Path())) {
    if (Entry.path() != Path) std::filesystem::remove(Entry.path());  // the crash's leftover
  }
  EXPECT_EQ(testing::RunInChild([&] { return WriteWithLimit(true); }), Refused);
  EXPECT_EQ(ReadWholeFile(Path), Old);
  EXPECT_EQ(testing::CountEntries(Scratch.Path()), 1u);

  TIniFile(Path).WriteString("S", "A", Large);  // without a limit the new file is whole
  EXPECT_EQ(TIniFile(Path).ReadString("S", "A", ""), Large.substr(0, TIniFile::MaxValueLength));
  EXPECT_EQ(ReadWholeFile(Path), "[S]\nA=" + Large + "\n");
}

// Random and hostile files: reading and rewriting never crash, and a key that was written
// reads back whatever surrounded it.
TEST(IniFileFuzzTest, HostileFilesNeverBreakReadingOrWriting) {
  TScratchDirectory Scratch;
  const std::string Path = Scratch.File("fuzz.ini");
  std::mt19937 Random(20261208);
  const std::vector<std::string> Pieces = {
      "[",    "]",  "=",  "\n", "\r", "\r\n", ";",       "#",     " ",     "\t",
      "\"",   "S",  "s",  "A",  "a",  "[S]",  "[s]\r\n", "A=1",   "A = 2", std::string(1, '\0'),
      "\xff", "[]", "=x", "[S", "S]", "key",  "value",   "[T]\n", "\n\n",  "]["};
  for (int Round = 0; Round < 200; ++Round) {
    std::string Text;
    const int Parts = std::uniform_int_distribution<int>(0, 60)(Random);
    for (int I = 0; I < Parts; ++I) {
      if (Random() % 4 == 0) {
        Text += static_cast<char>(Random() % 256);
      } else {
        Text += Pieces[Random() % Pieces.size()];
      }
    }
    if (Round % 50 == 0) Text += std::string(200000 + Random() % 1000, "A=[\r"[Round % 4]);
    WriteWholeFile(Path, Text);
    TIniFile Ini(Path);
    (void)Ini.ReadString("S", "A", "");
    (void)Ini.ReadInteger("s", "a", 0);
    (void)Ini.ReadString("", "", "");
    ASSERT_NO_THROW(Ini.WriteString("S", "A", "written")) << Round;
    ASSERT_NO_THROW(Ini.WriteString("New", "K", "v")) << Round;
    EXPECT_EQ(Ini.ReadString("S", "A", ""), "written") << Round;
    EXPECT_EQ(Ini.ReadString("new", "k", ""), "v") << Round;
  }
}

TEST(IniFileFuzzTest, AnOversizedFileIsReadOnlyInPartAndNeverRewritten) {
  TScratchDirectory Scratch;
  const std::string Path = Scratch.File("huge.ini");
  WriteWholeFile(Path, "[S]\nA=1\n" + std::string(17 * 1024 * 1024, '\n'));
  TIniFile Ini(Path);
  EXPECT_EQ(Ini.ReadString("S", "A", ""), "1");
  EXPECT_THROW(Ini.WriteString("S", "A", "2"), EIniFileException);
  EXPECT_EQ(std::filesystem::file_size(Path), 8u + 17 * 1024 * 1024);
}

}  // namespace
}  // namespace tolvane
