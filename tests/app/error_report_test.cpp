#include "app/error_report.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "logic/transfer/application_title.h"
#include "recorded_messages.h"
#include "serialport/base/application_exception.h"
#include "serialport/base/com_error.h"

namespace tolvane {
namespace {

struct TFullStopCase {
  const char* Message;
  const char* Shown;
};

void PrintTo(const TFullStopCase& Case, std::ostream* Out) {
  *Out << '"' << Case.Message << '"';
}

class FullStopRule : public testing::TestWithParam<TFullStopCase> {};

TEST_P(FullStopRule, AppendsAFullStopOnlyAfterACharacterSortingAfterIt) {
  EXPECT_EQ(ErrorReportText(GetParam().Message), GetParam().Shown);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, FullStopRule,
    testing::Values(TFullStopCase{"Unable to open com port", "Unable to open com port."},
                    TFullStopCase{"Failed.", "Failed."}, TFullStopCase{"", ""},
                    TFullStopCase{"Code 2)", "Code 2)"},   // ')' sorts before '.'
                    TFullStopCase{"Stop!", "Stop!"},       // '!' too
                    TFullStopCase{"Range -", "Range -"},   // '-' is just before '.'
                    TFullStopCase{"Path /", "Path /."},    // '/' is just after
                    TFullStopCase{"Error 7", "Error 7."},  // digits sort after
                    TFullStopCase{"Why?", "Why?."},        // and so does '?'
                    TFullStopCase{"Gr\xC3\xBC\xC3\x9F", "Gr\xC3\xBC\xC3\x9F."}));  // non-ASCII

TEST(GeneralErrorReport, ShowsTheMessageUnderTheApplicationTitleAndGoesOn) {
  TRecordedMessages Recorded;
  bool RanAfterwards = false;

  Guarded([] { throw EComPort(CError_OpenFailed); });
  Guarded([&] { RanAfterwards = true; });

  ASSERT_EQ(Recorded.Boxes.size(), 1u);
  EXPECT_EQ(Recorded.Boxes[0].Caption.toStdString(), ApplicationTitle);
  EXPECT_EQ(Recorded.Boxes[0].Text.toStdString(), EComPort(CError_OpenFailed).Message() + ".");
  EXPECT_TRUE(RanAfterwards);
}

// A refusing server's words may be HTML; the box shows them as they came.
TEST(GeneralErrorReport, TheBoxShowsItsTextAsPlainText) {
  const QString Said = "rfc2217://127.0.0.1:7000: <html><b>Port</b> &amp; busy</html>";
  const std::unique_ptr<QMessageBox> Box = NewErrorBox({"Title", Said}, nullptr);
  EXPECT_EQ(Box->textFormat(), Qt::PlainText);
  EXPECT_EQ(Box->text(), Said);
}

TEST(GeneralErrorReport, ShowsTheDetailOnASecondLineAfterTheFullStop) {
  TRecordedMessages Recorded;
  Guarded([] {
    EComPort Error(CError_OpenFailed);
    Error.SetDetail("/dev/ttyUSB0: No such file or directory");
    throw Error;
  });
  ASSERT_EQ(Recorded.Boxes.size(), 1u);
  EXPECT_EQ(Recorded.Boxes[0].Text.toStdString(),
            EComPort(CError_OpenFailed).Message() + ".\n/dev/ttyUSB0: No such file or directory");
}

TEST(GeneralErrorReport, LeavesAMessageEndingInTheSystemCodeAsItIs) {
  TRecordedMessages Recorded;
  Guarded([] { throw EComPort(CError_OpenFailed, 2); });
  ASSERT_EQ(Recorded.Boxes.size(), 1u);
  EXPECT_EQ(Recorded.Boxes[0].Text.toStdString(), EComPort(CError_OpenFailed, 2).Message());
}

TEST(GeneralErrorReport, ReportsAnExceptionOfNoKnownTypeToo) {
  TRecordedMessages Recorded;
  Guarded([] { throw 42; });
  ASSERT_EQ(Recorded.Boxes.size(), 1u);
  EXPECT_EQ(Recorded.Boxes[0].Text, "Unknown error.");
}

TEST(GeneralErrorReport, ShowsNothingWhenTheActionSucceeds) {
  TRecordedMessages Recorded;
  Guarded([] {});
  EXPECT_TRUE(Recorded.Boxes.empty());
}

TEST(GeneralErrorReport, APresenterThatRaisesDoesNotEscapeTheGuard) {
  SetMessagePresenter([](const TMessageBox&) { throw std::runtime_error("presenter broke"); });
  EXPECT_NO_THROW(Guarded([] { throw std::runtime_error("first"); }));
  SetMessagePresenter({});
}

TEST(GeneralErrorReport, TakesTheComponentsUnhandledErrorsOnceInstalled) {
  TRecordedMessages Recorded;
  InstallErrorReport();
  HandleApplicationException(nullptr, std::make_exception_ptr(EComPort(CError_WaitFailed)));
  SetApplicationExceptionHandler({});

  ASSERT_EQ(Recorded.Boxes.size(), 1u);
  EXPECT_EQ(Recorded.Boxes[0].Text.toStdString(),
            ErrorReportText(EComPort(CError_WaitFailed).Message()));
}

}  // namespace
}  // namespace tolvane
