#include "app/error_report.h"

#include "app/message_presenter.h"
#include "logic/transfer/application_title.h"
#include "serialport/base/application_exception.h"
#include "serialport/base/com_error.h"
#include "serialport/base/gettext_translator.h"

namespace tolvane {
namespace {

constexpr const char* UnknownErrorText = "Unknown error";

// The box's text: the message with its full stop, and the error's detail on a line of its own.
std::string ReportTextOf(std::exception_ptr Error) {
  try {
    std::rethrow_exception(Error);
  } catch (const Exception& Raised) {
    const std::string First = ErrorReportText(Raised.what());
    return Raised.Detail().empty() ? First : First + '\n' + Raised.Detail();
  } catch (const std::exception& Raised) {
    return ErrorReportText(Raised.what());
  } catch (...) {
    return ErrorReportText(UnknownErrorText);
  }
}

}  // namespace

std::string ErrorReportText(const std::string& Message) {
  // Characters compare as bytes, so a message ending in a non-ASCII character gains one too.
  if (!Message.empty() && static_cast<unsigned char>(Message.back()) > '.') return Message + '.';
  return Message;
}

void ReportException(std::exception_ptr Error) {
  // A presenter that raises must not take the program down from inside a guard.
  try {
    // The error texts are the catalogs' (the port's, the settings file's).
    ShowErrorBox(QString::fromUtf8(ApplicationTitle), QString::fromUtf8(ReportTextOf(Error)),
                 !TranslationLanguage().empty());
  } catch (...) {
  }
}

void InstallErrorReport() {
  SetApplicationExceptionHandler(
      [](TObject* /*Sender*/, std::exception_ptr Error) { ReportException(Error); });
}

}  // namespace tolvane
