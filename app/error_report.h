// The application's general error report: an exception that leaves an operator action, a menu
// command or a timer tick is shown in an error box captioned with the application title, and
// the program goes on.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace tolvane {

// The report's text: the message, with a full stop appended when its last character sorts
// after "." (so "Unable to open com port" gains one and "Failed." keeps its own).
std::string ErrorReportText(const std::string& Message);

// Shows Error in the general error report.
void ReportException(std::exception_ptr Error);

// Routes the serial port component's unhandled errors to the general error report.
void InstallErrorReport();

// Runs Action; an exception it raises is reported and goes no further.
template <class F>
void Guarded(F&& Action) noexcept {
  try {
    std::forward<F>(Action)();
  } catch (...) {
    ReportException(std::current_exception());
  }
}

}  // namespace tolvane
