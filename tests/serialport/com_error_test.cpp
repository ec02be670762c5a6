#include "serialport/com_error.h"

#include <gtest/gtest.h>

#include "serialport/translation.h"

namespace tolvane {
namespace {

TEST(EComPortTest, WithSystemCodeAppendsTheCodeToTheTableText) {
  const EComPort Error(CError_OpenFailed, 2);
  EXPECT_STREQ(Error.what(), "Unable to open com port (win error code: 2)");
  EXPECT_EQ(Error.ErrorNumber(), 1);
  EXPECT_EQ(Error.SystemErrorCode(), 2);
}

TEST(EComPortTest, WithoutSystemCodeIsTheTableTextAloneAndCodeMinusOne) {
  const EComPort Error(CError_ConnChangeProp);
  EXPECT_STREQ(Error.what(), "Cannot set property while connected");
  EXPECT_EQ(Error.SystemErrorCode(), -1);
  EXPECT_EQ(Error.ErrorNumber(), 14);
}

TEST(EComPortTest, TableHoldsAllTwentyThreeRows) {
  const auto& Texts = PortErrorTexts();
  ASSERT_EQ(Texts.size(), 24u);
  EXPECT_EQ(Texts[4], "Invalid Async parameter");
  EXPECT_EQ(Texts[16], "Failed to store settings");
  EXPECT_EQ(Texts[23], "Registry error");
  for (int Row = 1; Row <= PortErrorCount; ++Row) EXPECT_FALSE(Texts[Row].empty()) << Row;
}

TEST(EComPortTest, SuffixIsTranslatedEachTimeAnErrorIsBuilt) {
  SetTranslator([](const std::string& Text) {
    return Text == " (win error code: %d)" ? std::string(" (Fehlercode: %d)") : Text;
  });
  const EComPort Translated(CError_PurgeFailed, 9);
  SetTranslator({});
  const EComPort English(CError_PurgeFailed, 9);
  EXPECT_STREQ(Translated.what(), "PurgeComm function failed (Fehlercode: 9)");
  EXPECT_STREQ(English.what(), "PurgeComm function failed (win error code: 9)");
}

TEST(EComPortTest, TableTextsAreTranslatedOnceWhenAsked) {
  SetTranslator([](const std::string& Text) { return "<" + Text + ">"; });
  TranslatePortErrorTexts();
  SetTranslator({});
  const EComPort Translated(CError_RegFailed);
  TranslatePortErrorTexts();  // back to English for the other tests
  EXPECT_STREQ(Translated.what(), "<Link (un)registration failed>");
  EXPECT_EQ(PortErrorTexts()[18], "Link (un)registration failed");
}

}  // namespace
}  // namespace tolvane
