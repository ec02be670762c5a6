#include "serialport/store/registry_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "tests/support/settings_files_fixture.h"

namespace tolvane {
namespace {

using testing::ReadWholeFile;
using testing::TScratchDirectory;
using testing::WriteWholeFile;

class RegistryStoreTest : public ::testing::Test {
 protected:
  TScratchDirectory Scratch;
  std::string Base = Scratch.File("config/tolvane/registry");
  std::string UserFile = Base + "/HKEY_CURRENT_USER.ini";
  std::string MachineFile = Base + "/HKEY_LOCAL_MACHINE.ini";
};

TEST_F(RegistryStoreTest, OpeningCreatesTheKeyOnlyWhenAsked) {
  TRegistryAccessor Registry(Base);
  EXPECT_EQ(Registry.RootKey(), TRegistryRoot::HKEY_CURRENT_USER);
  EXPECT_FALSE(Registry.OpenKey("Software\\Amp\\ComPort", false));
  EXPECT_FALSE(Registry.HasCurrentKey());
  ASSERT_TRUE(Registry.OpenKey("Software\\Amp\\ComPort", true));
  EXPECT_EQ(ReadWholeFile(UserFile), "[Software\\Amp\\ComPort]\n");
  Registry.CloseKey();
  EXPECT_TRUE(Registry.OpenKey("SOFTWARE\\amp\\comport", false));  // keys ignore case
}

TEST_F(RegistryStoreTest, MalformedKeyPathsAreNotOpened) {
  TRegistryAccessor Registry(Base);
  for (const char* Key : {"", "\\ComPort", "Software\\", "Software\\\\Amp", "A]B", "A\nB"}) {
    EXPECT_FALSE(Registry.OpenKey(Key, true)) << Key;
  }
  EXPECT_FALSE(TRegistryAccessor("").OpenKey("Software", true));
}

TEST_F(RegistryStoreTest, ValuesKeepTheirTypeAndEachRootHasItsOwnFile) {
  {
    TRegistryAccessor Registry(Base);
    ASSERT_TRUE(Registry.OpenKey("Software\\Amp", true));
    Registry.WriteString("Port", " COM3 ");
    Registry.WriteString("Empty", "");
    Registry.WriteInteger("Buffer.InputSize", -2147483647 - 1);
    Registry.SetRootKey(TRegistryRoot::HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(Registry.HasCurrentKey());
    ASSERT_TRUE(Registry.OpenKey("Software\\Amp", true));
    Registry.WriteString("Port", "COM9");
  }
  TRegistryAccessor Registry(Base);
  ASSERT_TRUE(Registry.OpenKey("Software\\Amp", false));
  EXPECT_EQ(Registry.ReadString("Port"), " COM3 ");
  EXPECT_EQ(Registry.ReadString("Empty"), "");
  EXPECT_TRUE(Registry.ValueExists("Empty"));
  EXPECT_EQ(Registry.ReadInteger("Buffer.InputSize"), -2147483647 - 1);
  Registry.SetRootKey(TRegistryRoot::HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(Registry.OpenKey("Software\\Amp", false));
  EXPECT_EQ(Registry.ReadString("Port"), "COM9");
  EXPECT_NE(ReadWholeFile(MachineFile).find("Port=s:COM9"), std::string::npos);
}

TEST_F(RegistryStoreTest, MissingAndMistypedValuesFailAsTheRegistryWould) {
  TRegistryAccessor Registry(Base);
  ASSERT_TRUE(Registry.OpenKey("Software\\Amp", true));
  Registry.WriteString("Text", "9600");
  Registry.WriteInteger("Number", 9600);
  EXPECT_EQ(Registry.ReadString("Missing"), "");
  EXPECT_FALSE(Registry.ValueExists("Missing"));
  EXPECT_THROW(Registry.ReadInteger("Missing"), ERegistryException);
  EXPECT_THROW(Registry.ReadInteger("Text"), ERegistryException);
  EXPECT_THROW(Registry.ReadString("Number"), ERegistryException);

  WriteWholeFile(UserFile, "[Software\\Amp]\nUntyped=9600\nBadNumber=d:12x\n");
  EXPECT_THROW(Registry.ReadString("Untyped"), ERegistryException);
  EXPECT_THROW(Registry.ReadInteger("Untyped"), ERegistryException);
  EXPECT_THROW(Registry.ReadInteger("BadNumber"), ERegistryException);
}

TEST_F(RegistryStoreTest, WithoutAnOpenKeyReadsSeeNothingAndWritesFail) {
  TRegistryAccessor Registry(Base);
  EXPECT_EQ(Registry.ReadString("Port"), "");
  EXPECT_THROW(Registry.ReadInteger("CustomBaudRate"), ERegistryException);
  EXPECT_THROW(Registry.WriteString("Port", "COM1"), ERegistryException);
  EXPECT_THROW(Registry.WriteInteger("CustomBaudRate", 1), ERegistryException);
}

TEST_F(RegistryStoreTest, TextThatWouldBreakTheStoreIsRefused) {
  TRegistryAccessor Registry(Base);
  ASSERT_TRUE(Registry.OpenKey("Software\\Amp", true));
  const std::string Before = ReadWholeFile(UserFile);
  EXPECT_THROW(Registry.WriteString("Port", "COM1\nOther=s:x"), ERegistryException);
  EXPECT_THROW(Registry.WriteString("A=B", "x"), ERegistryException);
  EXPECT_EQ(ReadWholeFile(UserFile), Before);
}

TEST_F(RegistryStoreTest, AStoreThatCannotBeWrittenFailsAndKeepsItsFile) {
  {
    TRegistryAccessor Registry(Base);
    ASSERT_TRUE(Registry.OpenKey("Software\\Amp", true));
    Registry.WriteString("Port", "COM1");
  }
  // The store's directories are private to their owner; let the unprivileged child in.
  for (const std::string& Directory :
       {Scratch.File("config"), Scratch.File("config/tolvane"), Base}) {
    ::chmod(Directory.c_str(), 0777);
  }
  ::chmod(UserFile.c_str(), 0444);
  const std::string Before = ReadWholeFile(UserFile);
  const int Result = testing::RunWithoutPrivileges([&] {
    TRegistryAccessor Registry(Base);
    if (!Registry.OpenKey("Software\\Amp", false)) return 3;
    try {
      Registry.WriteString("Port", "COM2");
      return 1;
    } catch (const ERegistryException&) {
      return 0;
    }
  });
  EXPECT_EQ(Result, 0);
  EXPECT_EQ(ReadWholeFile(UserFile), Before);
}

TEST(RegistryDirectoryTest, FollowsXdgConfigHomeElseHome) {
  const auto Saved = [](const char* Name) -> std::optional<std::string> {
    const char* Value = std::getenv(Name);
    return Value ? std::optional<std::string>(Value) : std::nullopt;
  };
  const auto Restore = [](const char* Name, const std::optional<std::string>& Value) {
    Value ? ::setenv(Name, Value->c_str(), 1) : ::unsetenv(Name);
  };
  const std::optional<std::string> Config = Saved("XDG_CONFIG_HOME");
  const std::optional<std::string> Home = Saved("HOME");
  ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
  ::setenv("HOME", "/home/op", 1);
  const std::string FromConfig = TRegistryAccessor::DefaultDirectory();
  ::unsetenv("XDG_CONFIG_HOME");
  const std::string FromHome = TRegistryAccessor::DefaultDirectory();
  ::setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored
  const std::string FromRelative = TRegistryAccessor::DefaultDirectory();
  Restore("XDG_CONFIG_HOME", Config);
  Restore("HOME", Home);
  EXPECT_EQ(FromConfig, "/cfg/tolvane/registry");
  EXPECT_EQ(FromHome, "/home/op/.config/tolvane/registry");
  EXPECT_EQ(FromRelative, "/home/op/.config/tolvane/registry");
}

}  // namespace
}  // namespace tolvane
