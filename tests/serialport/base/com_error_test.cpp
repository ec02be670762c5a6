#include "serialport/base/com_error.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "serialport/base/system_error_cause.h"
#include "serialport/base/translation.h"

namespace tolvane {
namespace {

TEST(EComPortTest, WithSystemCodeAppendsTheCodeToTheTableText) {
  const EComPort Error(CError_OpenFailed, 2);
  EXPECT_STREQ(Error.what(), "Unable to open com port (error code: 2)");
  EXPECT_EQ(Error.ErrorNumber(), 1);
  EXPECT_EQ(Error.SystemErrorCode(), 2);
}

TEST(EComPortTest, WithoutSystemCodeIsTheTableTextAloneAndCodeMinusOne) {
  const EComPort Error(CError_ConnChangeProp);
  EXPECT_STREQ(Error.what(), "Cannot set property while connected");
  EXPECT_EQ(Error.SystemErrorCode(), -1);
  EXPECT_EQ(Error.ErrorNumber(), 14);
}

TEST(EComPortTest, AboutADeviceKeepsTheTextAndCodesAndDetailsTheDeviceAndTheReason) {
  const EComPort Missing(CError_OpenFailed, ENOENT, "/dev/ttyUSB0");
  EXPECT_STREQ(Missing.what(), "Unable to open com port (error code: 2)");
  EXPECT_EQ(Missing.ErrorNumber(), 1);
  EXPECT_EQ(Missing.SystemErrorCode(), 2);
  EXPECT_EQ(Missing.DevicePath(), "/dev/ttyUSB0");
  EXPECT_EQ(Missing.Detail(), "/dev/ttyUSB0: No such file or directory");

  const EComPort Busy(CError_OpenFailed, EBUSY, "/dev/ttyS0");
  EXPECT_EQ(Busy.Detail(), "/dev/ttyS0: Device or resource busy");
  const EComPort Refused(CError_OpenFailed, EACCES, "/dev/ttyS0");
  EXPECT_EQ(Refused.Detail(),
            "/dev/ttyS0: Permission denied\n"
            "Add your user to the 'dialout' group, then log in again.");
  const EComPort NotPermitted(CError_SetStateFailed, EPERM, "/dev/ttyS0");
  EXPECT_EQ(NotPermitted.Detail(),
            "/dev/ttyS0: Operation not permitted\n"
            "Add your user to the 'dialout' group, then log in again.");
  EXPECT_EQ(EComPort(CError_OpenFailed, ENOENT, "").Detail(), "No such file or directory");

  const EComPort Plain(CError_OpenFailed, ENOENT);
  EXPECT_EQ(Plain.DevicePath(), "");
  EXPECT_EQ(Plain.Detail(), "");
}

TEST(EComPortTest, TheMessageTheReasonAndTheHintShareOneLanguage) {
  bool MessageTranslated = true;
  SetTranslator([&](const std::string& Text) {
    if (Text == "Unable to open com port" && MessageTranslated)
      return std::string("COM-Port kann nicht geöffnet werden");
    if (Text == " (error code: %d)") return std::string(" (Fehlercode: %d)");
    if (Text == "Permission denied") return std::string("Keine Berechtigung");
    if (Text == "Unknown error %d") return std::string("Unbekannter Fehler %d");
    if (Text == "Add your user to the 'dialout' group, then log in again.")
      return std::string("In die Gruppe 'dialout' aufnehmen und neu anmelden.");
    return Text;
  });
  const EComPort Refused(CError_OpenFailed, EACCES, "/dev/ttyS0");
  const std::string Unknown = SystemErrorReason(9999);
  // Without a translation of the message, its detail stays English too.
  MessageTranslated = false;
  const EComPort Untranslated(CError_OpenFailed, EACCES, "/dev/ttyS0");
  SetTranslator({});

  EXPECT_STREQ(Refused.what(), "COM-Port kann nicht geöffnet werden (Fehlercode: 13)");
  EXPECT_EQ(Refused.Detail(),
            "/dev/ttyS0: Keine Berechtigung\nIn die Gruppe 'dialout' aufnehmen und neu anmelden.");
  EXPECT_EQ(Unknown, "Unbekannter Fehler 9999");
  EXPECT_EQ(SystemErrorReason(9999), "Unknown error 9999");
  EXPECT_STREQ(Untranslated.what(), "Unable to open com port (error code: 13)");
  EXPECT_EQ(
      Untranslated.Detail(),
      "/dev/ttyS0: Permission denied\nAdd your user to the 'dialout' group, then log in again.");
}

TEST(EComPortTest, EachSystemCodeHasOneCause) {
  using enum TSystemErrorCause;
  for (const int Code : {EIO, ENXIO, ENODEV}) {
    EXPECT_EQ(SystemErrorCauseOf(Code), LineLost) << Code;
    EXPECT_TRUE(IsLineLostError(Code)) << Code;
  }
  EXPECT_EQ(SystemErrorCauseOf(EACCES), Permission);
  EXPECT_EQ(SystemErrorCauseOf(EPERM), Permission);
  EXPECT_EQ(SystemErrorCauseOf(EBUSY), Busy);
  EXPECT_EQ(SystemErrorCauseOf(ENOENT), Missing);
  for (const int Code : {0, EINVAL, EBADF, EAGAIN, -1}) {
    EXPECT_EQ(SystemErrorCauseOf(Code), Other) << Code;
    EXPECT_FALSE(IsLineLostError(Code)) << Code;
  }
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
    return Text == " (error code: %d)" ? std::string(" (Fehlercode: %d)") : Text;
  });
  const EComPort Translated(CError_PurgeFailed, 9);
  SetTranslator({});
  const EComPort English(CError_PurgeFailed, 9);
  EXPECT_STREQ(Translated.what(), "PurgeComm function failed (Fehlercode: 9)");
  EXPECT_STREQ(English.what(), "PurgeComm function failed (error code: 9)");
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
