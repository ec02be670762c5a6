#include "tools/register_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace tolvane {
namespace {

TEST(RegisterFileTest, FormatAndParseRoundTrip) {
  TRegisterMap Saved = DefaultRegisters();
  Saved["0012"] = "01234";
  Saved["0032"] = " -7  ";
  TRegisterMap Loaded = DefaultRegisters();
  ParseRegisters(FormatRegisters(Saved), Loaded);
  EXPECT_EQ(Loaded, Saved);
}

TEST(RegisterFileTest, DamagedLinesLeaveTheirRegistersAlone) {
  TRegisterMap Registers = DefaultRegisters();
  ParseRegisters(
      "0012=11111\r\n"  // taken, also with a CR LF line end
      "0014=222\n"      // too short
      "0016=3333333\n"  // too long
      "0099=44444\n"    // no such register
      "garbage\n"
      "0018=\n"
      "=55555\n"
      "0020=66666",  // taken without a final line end
      Registers);
  TRegisterMap Expected = DefaultRegisters();
  Expected["0012"] = "11111";
  Expected["0020"] = "66666";
  EXPECT_EQ(Registers, Expected);
}

TEST(RegisterFileTest, SaveThenLoadKeepsTheValuesAndAMissingFileIsNoError) {
  char Template[] = "/tmp/register_file_test.XXXXXX";
  ASSERT_NE(mkdtemp(Template), nullptr);
  const std::filesystem::path Dir = Template;
  const std::string Path = (Dir / "registers.txt").string();
  std::string Error;

  TRegisterMap Registers = DefaultRegisters();
  EXPECT_TRUE(LoadRegisterFile(Path, Registers, Error)) << Error;
  EXPECT_EQ(Registers, DefaultRegisters());

  Registers["0024"] = "00777";
  ASSERT_TRUE(SaveRegisterFile(Path, Registers, Error)) << Error;
  EXPECT_FALSE(std::filesystem::exists(Path + ".new"));
  TRegisterMap Loaded = DefaultRegisters();
  ASSERT_TRUE(LoadRegisterFile(Path, Loaded, Error)) << Error;
  EXPECT_EQ(Loaded, Registers);

  EXPECT_FALSE(SaveRegisterFile((Dir / "missing" / "r.txt").string(), Registers, Error));
  EXPECT_FALSE(Error.empty());
  std::filesystem::remove_all(Dir);
}

}  // namespace
}  // namespace tolvane
