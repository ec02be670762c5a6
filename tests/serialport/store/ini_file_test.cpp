#include "serialport/store/ini_file.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "serialport/base/translation.h"
#include "serialport/store/ini_document.h"
#include "tests/support/settings_files_fixture.h"

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

// Inside a transaction the file on disk stays as it was until the outermost commit; reads see
// what was written.
TEST_F(IniFileTest, ATransactionSavesAllItsWritesAtTheOutermostCommit) {
  WriteWholeFile(Path, "[S]\nA=old\n");
  TIniFile Ini(Path);
  Ini.BeginTransaction();
  Ini.WriteString("S", "A", "new");
  Ini.BeginTransaction();
  Ini.WriteInteger("S", "B", 2);
  Ini.Commit();
  EXPECT_EQ(Ini.ReadString("S", "A", ""), "new");
  EXPECT_EQ(Ini.ReadInteger("S", "B", 0), 2);
  EXPECT_EQ(ReadWholeFile(Path), "[S]\nA=old\n");
  Ini.Commit();
  EXPECT_EQ(ReadWholeFile(Path), "[S]\nA=new\nB=2\n");

  // Dropped with the object when never committed.
  {
    TIniFile Abandoned(Path);
    Abandoned.BeginTransaction();
    Abandoned.WriteString("S", "A", "lost");
  }
  EXPECT_EQ(ReadWholeFile(Path), "[S]\nA=new\nB=2\n");
}

// A group of writes that fails part-way leaves the file as key-by-key writes would have: what
// came before the failure is saved, and the failure is what is raised.
TEST_F(IniFileTest, AnUpdateThatFailsSavesWhatCameBeforeTheFailure) {
  TIniFile Ini(Path);
  try {
    Ini.Update([&] {
      Ini.WriteString("S", "A", "1");
      Ini.WriteString("S", "B", "2\n");
      Ini.WriteString("S", "C", "3");
    });
    ADD_FAILURE() << "no error";
  } catch (const EIniFileException& Error) {
    EXPECT_EQ(Error.Message(), "Unable to write to " + Path);
    EXPECT_EQ(Error.Detail(), Path + ": the text would break the file's lines");
  }
  EXPECT_EQ(ReadWholeFile(Path), "[S]\nA=1\n");
}

// A seed stands in for a file that does not exist yet: reads come from it and the first save
// starts from its whole text, comments and all; that file itself is never written.
TEST_F(IniFileTest, ASeedIsReadUntilTheFileExistsAndTheFirstSaveStartsFromIt) {
  const std::string Seed = Scratch.File("seed.ini");
  const std::string SeedText = "; by hand\r\n[S]\r\nA=seeded\r\n[T]\r\nB=kept\r\n";
  WriteWholeFile(Seed, SeedText);
  TIniFile Ini(Path, Seed);
  EXPECT_EQ(Ini.ReadString("S", "A", ""), "seeded");
  Ini.WriteString("S", "A", "mine");
  EXPECT_EQ(ReadWholeFile(Path), "; by hand\r\n[S]\r\nA=mine\r\n[T]\r\nB=kept\r\n");
  EXPECT_EQ(ReadWholeFile(Seed), SeedText);
  WriteWholeFile(Seed, "[S]\nA=changed later\n");
  EXPECT_EQ(Ini.ReadString("S", "A", ""), "mine");
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

// What an editor on another system may leave: a byte-order mark before the first section and
// CR LF line ends. The first section is found, and both survive every write.
TEST_F(IniFileTest, AByteOrderMarkAndCrLfLineEndsAreReadPastAndKept) {
  const std::string Mark = "\xEF\xBB\xBF";
  WriteWholeFile(Path, Mark + "[Settings]\r\nUaMAX=01111\r\n");
  TIniFile Ini(Path);
  EXPECT_EQ(Ini.ReadString("Settings", "UaMAX", "03200"), "01111");
  Ini.WriteString("Settings", "UaMAX", "02222");
  Ini.WriteString("Settings", "IaMAX", "00999");
  Ini.WriteString("ComPort", "Port", "COM1");
  EXPECT_EQ(ReadWholeFile(Path), Mark +
                                     "[Settings]\r\nUaMAX=02222\r\nIaMAX=00999\r\n\r\n"
                                     "[ComPort]\r\nPort=COM1\r\n");

  // A mark alone is an empty file that keeps its mark.
  WriteWholeFile(Path, Mark);
  Ini.WriteString("S", "A", "1");
  EXPECT_EQ(ReadWholeFile(Path), Mark + "[S]\nA=1\n");
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

// Only a link of this user to a regular file of this user is followed; any other is refused
// with the INI error naming the link, and what it points to stays as it was.
TEST_F(IniFileTest, ASymbolicLinkIsFollowedOnlyToARegularFileOfThisUser) {
  const std::string Target = Scratch.File("target.ini");
  const std::string Directory = Scratch.File("directory");
  WriteWholeFile(Target, "[S]\nA=1\n");
  std::filesystem::create_directory(Directory);
  struct Case {
    const char* What;
    std::string PointsTo;
    std::function<void()> Prepare;
    const char* Reason;
  };
  const passwd* Nobody = ::getpwnam("nobody");
  const bool CanGiveAway = ::geteuid() == 0 && Nobody != nullptr;
  std::vector<Case> Cases = {
      {"a directory", Directory, [] {}, "which is not a regular file"},
      {"a device", "/dev/null", [] {}, "which is not a regular file"},
      {"nothing", Scratch.File("missing.ini"), [] {}, "a file that does not exist"},
  };
  if (CanGiveAway) {
    Cases.push_back({"another user's file", Target,
                     [&] { ASSERT_EQ(::chown(Target.c_str(), Nobody->pw_uid, 0), 0); },
                     "which belongs to another user"});
    Cases.push_back({"our file, by another user's link", Target,
                     [&] {
                       ASSERT_EQ(::chown(Target.c_str(), 0, 0), 0);
                       ASSERT_EQ(::lchown(Path.c_str(), Nobody->pw_uid, 0), 0);
                     },
                     "a symbolic link that belongs to another user"});
  }
  for (const Case& Each : Cases) {
    std::filesystem::remove(Path);
    std::filesystem::create_symlink(Each.PointsTo, Path);
    Each.Prepare();
    try {
      TIniFile(Path).WriteString("S", "A", "2");
      ADD_FAILURE() << "followed a link to " << Each.What;
    } catch (const EIniFileException& Error) {
      EXPECT_EQ(Error.Message(), "Unable to write to " + Path) << Each.What;
      EXPECT_THAT(Error.Detail(), ::testing::StartsWith(Path + ": ")) << Each.What;
      EXPECT_THAT(Error.Detail(), ::testing::HasSubstr(Each.Reason)) << Each.What;
    }
    EXPECT_EQ(ReadWholeFile(Target), "[S]\nA=1\n") << Each.What;
    EXPECT_TRUE(std::filesystem::is_symlink(Path)) << Each.What;
  }
  EXPECT_TRUE(std::filesystem::is_empty(Directory));
  if (!CanGiveAway) GTEST_SKIP() << "the cases of another user's file need root";
}

TEST_F(IniFileTest, APathThatIsADirectoryOrLiesInNoDirectoryFails) {
  std::filesystem::create_directory(Path);
  EXPECT_EQ(TIniFile(Path).ReadString("S", "A", "d"), "d");
  const auto DetailOf = [](const std::string& File) {
    try {
      TIniFile(File).WriteString("S", "A", "1");
    } catch (const EIniFileException& Error) {
      return Error.Detail();
    }
    return std::string("no error");
  };
  // The detail names the file and gives the system's reason.
  EXPECT_EQ(DetailOf(Path), Path + ": Is a directory");
  const std::string Unreachable = Scratch.File("missing/Settings.ini");
  EXPECT_EQ(DetailOf(Unreachable), Unreachable + ": No such file or directory");
}

// A save killed half-way leaves its temporary file; the next save removes it, but not the
// temporary file of a save that a running process may still be making, nor anything else.
TEST_F(IniFileTest, TheNextSaveRemovesTemporaryFilesOfCrashedSaves) {
  const pid_t Gone = ::fork();
  if (Gone == 0) ::_exit(0);
  ::waitpid(Gone, nullptr, 0);
  const std::string Crashed = Scratch.File(".Settings.ini.tmp-" + std::to_string(Gone) + "-3");
  const std::string Running =
      Scratch.File(".Settings.ini.tmp-" + std::to_string(::getppid()) + "-0");
  const std::string LongAgo =
      Scratch.File(".Settings.ini.tmp-" + std::to_string(::getppid()) + "-1");
  const std::string Unrelated = Scratch.File(".Other.ini.tmp-" + std::to_string(Gone) + "-0");
  for (const std::string& File : {Crashed, Running, LongAgo, Unrelated}) {
    WriteWholeFile(File, "[S]\nA=half");
  }
  const timespec TwoMinutesAgo[2] = {{std::time(nullptr) - 120, 0}, {std::time(nullptr) - 120, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, LongAgo.c_str(), TwoMinutesAgo, 0), 0);

  TIniFile(Path).WriteString("S", "A", "1");
  EXPECT_FALSE(std::filesystem::exists(Crashed));
  EXPECT_FALSE(std::filesystem::exists(LongAgo));
  EXPECT_TRUE(std::filesystem::exists(Running));
  EXPECT_TRUE(std::filesystem::exists(Unrelated));
  EXPECT_EQ(testing::CountEntries(Scratch.Path()), 3u);
}

// Exit codes of the child steps below.
constexpr int Refused = 0;
constexpr int Accepted = 1;
constexpr int OtherError = 2;

// Inside a transaction as well, the first write already finds that the file cannot be saved.
int TryWrite(const std::string& Path) {
  try {
    TIniFile(Path).WriteString("S", "A", "new");
    return Accepted;
  } catch (const EIniFileException&) {
  } catch (...) {
    return OtherError;
  }
  try {
    TIniFile Ini(Path);
    Ini.BeginTransaction();
    Ini.WriteString("S", "A", "new");
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
