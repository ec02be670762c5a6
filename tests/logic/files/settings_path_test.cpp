#include "logic/files/settings_path.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/support/settings_files_fixture.h"
#include "tests/support/temp_directory.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

class SettingsPathTest : public ::testing::Test {
 protected:
  SettingsPathTest() {
    fs::create_directories(Executable());
    Places.ExecutableDirectory = Executable();
    Places.ProgramName = "tolvane";
    Places.Home = Root.Path() / "home";
  }

  fs::path Executable() const { return Root.Path() / "bin"; }
  void MakeExecutableDirectoryReadOnly() {
    Places.DirectoryWritable = [this](const fs::path& Directory) {
      return Directory != Executable();
    };
  }

  TTempDirectory Root;
  TSettingsPlaces Places;
};

std::string BesideExecutable(const fs::path& Directory) {
  return (Directory / "Settings.ini").string();
}

TEST_F(SettingsPathTest, WritableExecutableDirectoryKeepsTheFileBesideTheExecutable) {
  Places.ConfigHome = Root.Path() / "config";
  const TSettingsLocation Location = SettingsFileLocation(Places);
  EXPECT_EQ(Location.ReadPath, BesideExecutable(Executable()));
  EXPECT_EQ(Location.WritePath, BesideExecutable(Executable()));
  EXPECT_FALSE(Location.CreateDirectory);
  EXPECT_FALSE(fs::exists(Root.Path() / "config"));
}

TEST_F(SettingsPathTest, ReadOnlyExecutableDirectoryUsesXdgConfigHome) {
  MakeExecutableDirectoryReadOnly();
  Places.ConfigHome = Root.Path() / "config";
  const TSettingsLocation Location = SettingsFileLocation(Places);
  EXPECT_EQ(Location.ReadPath, (Root.Path() / "config/tolvane/Settings.ini").string());
  EXPECT_EQ(Location.WritePath, Location.ReadPath);
  EXPECT_TRUE(Location.CreateDirectory);
  EXPECT_FALSE(fs::exists(Root.Path() / "config")) << "made by the first save, not at start";
}

// Root may write to /usr/bin, but an installed copy's settings are still the user's own.
TEST_F(SettingsPathTest, ACopyInstalledOnTheSystemKeepsItsSettingsPerUserWhereItMayWrite) {
  Places.SystemDirectory = true;
  Places.ConfigHome = Root.Path() / "config";
  EXPECT_EQ(SettingsFileLocation(Places).WritePath,
            (Root.Path() / "config/tolvane/Settings.ini").string());

  for (const char* Installed : {"/usr/bin", "/usr/local/bin/", "/opt/tolvane/bin"})
    EXPECT_TRUE(IsSystemProgramDirectory(Installed)) << Installed;
  for (const char* Own : {"/home/op/tolvane/build-release/demo", "/usrlocal/bin", "/usr", "/"})
    EXPECT_FALSE(IsSystemProgramDirectory(Own)) << Own;
}

TEST_F(SettingsPathTest, ReadOnlyExecutableDirectoryWithoutXdgUsesDotConfig) {
  MakeExecutableDirectoryReadOnly();
  for (const fs::path& ConfigHome : {fs::path(), fs::path("relative/config")}) {
    Places.ConfigHome = ConfigHome;
    EXPECT_EQ(SettingsFileLocation(Places).WritePath,
              (Root.Path() / "home/.config/tolvane/Settings.ini").string());
  }
}

// An installed copy with a file beside it: that file is read until the user's copy exists,
// which takes every write and, from then on, the reads.
TEST_F(SettingsPathTest, ReadOnlyExecutableDirectoryReadsItsFileUntilTheUserCopyExists) {
  MakeExecutableDirectoryReadOnly();
  Places.ConfigHome = Root.Path() / "config";
  const std::string UserCopy = (Root.Path() / "config/tolvane/Settings.ini").string();
  { std::ofstream(BesideExecutable(Executable())) << "[Settings]\n"; }
  TSettingsLocation Location = SettingsFileLocation(Places);
  EXPECT_EQ(Location.ReadPath, BesideExecutable(Executable()));
  EXPECT_EQ(Location.WritePath, UserCopy);

  fs::create_directories(fs::path(UserCopy).parent_path());
  { std::ofstream(UserCopy) << "[Settings]\n"; }
  Location = SettingsFileLocation(Places);
  EXPECT_EQ(Location.ReadPath, UserCopy);
  EXPECT_EQ(Location.WritePath, UserCopy);
}

// A file beside the executable that this user may not replace counts as not writable there,
// even in a writable directory: here a symbolic link to a directory.
TEST_F(SettingsPathTest, AFileThatCannotBeReplacedSendsTheWritesToTheUserCopy) {
  Places.ConfigHome = Root.Path() / "config";
  fs::create_directory(Root.Path() / "elsewhere");
  fs::create_directory_symlink(Root.Path() / "elsewhere", BesideExecutable(Executable()));
  EXPECT_EQ(SettingsFileLocation(Places).WritePath,
            (Root.Path() / "config/tolvane/Settings.ini").string());
}

TEST_F(SettingsPathTest, UnknownExecutableDirectoryUsesTheConfigDirectory) {
  Places.ExecutableDirectory.clear();
  EXPECT_EQ(SettingsFileLocation(Places).ReadPath,
            (Root.Path() / "home/.config/tolvane/Settings.ini").string());
}

TEST(DirectoryWritableTest, TellsWritableFromMissingAndReadOnly) {
  TTempDirectory Directory;
  EXPECT_TRUE(IsDirectoryWritable(Directory.Path()));
  EXPECT_FALSE(IsDirectoryWritable(Directory.Path() / "missing"));
  const fs::path File = Directory.Path() / "file";
  { std::ofstream(File) << "x"; }
  EXPECT_FALSE(IsDirectoryWritable(File));

  // Root may write anywhere, so the permission cases run in a child without privileges.
  const fs::path Open = Directory.Path() / "open";
  const fs::path Closed = Directory.Path() / "closed";
  fs::create_directory(Open);
  fs::create_directory(Closed);
  fs::permissions(Directory.Path(), fs::perms::all);
  fs::permissions(Open, fs::perms::all);
  fs::permissions(Closed, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
  const int Result = testing::RunWithoutPrivileges(
      [&] { return (IsDirectoryWritable(Open) ? 1 : 0) + (IsDirectoryWritable(Closed) ? 2 : 0); });
  if (::geteuid() == 0) {
    EXPECT_EQ(Result, 1) << "only the world-writable directory is writable for another user";
  } else {
    EXPECT_EQ(Result, 3) << "both belong to this user";
  }
}

TEST(RunningProgramPlacesTest, FindsTheExecutableWhateverTheWorkingDirectory) {
  const fs::path Before = fs::current_path();
  const TSettingsPlaces Here = RunningProgramPlaces();
  TTempDirectory Elsewhere;
  fs::current_path(Elsewhere.Path());
  const TSettingsPlaces There = RunningProgramPlaces();
  fs::current_path(Before);

  EXPECT_EQ(Here.ExecutableDirectory, There.ExecutableDirectory);
  EXPECT_EQ(Here.ProgramName, "logic_tests");
  EXPECT_TRUE(fs::exists(Here.ExecutableDirectory / Here.ProgramName));
  EXPECT_EQ(SettingsFileLocation(Here).WritePath,
            (Here.ExecutableDirectory / "Settings.ini").string());
}

}  // namespace
}  // namespace tolvane
