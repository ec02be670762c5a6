#include "serialport/base/application_exception.h"

#include <iostream>
#include <utility>

namespace tolvane {
namespace {

TExceptionHandler& InstalledHandler() {
  static TExceptionHandler Installed;
  return Installed;
}

void WriteToStandardError(std::exception_ptr Error) {
  try {
    std::rethrow_exception(Error);
  } catch (const std::exception& E) {
    std::cerr << E.what() << '\n';
  } catch (...) {
    std::cerr << "Unknown error\n";
  }
}

}  // namespace

void SetApplicationExceptionHandler(TExceptionHandler Handler) {
  InstalledHandler() = std::move(Handler);
}

void HandleApplicationException(TObject* Sender, std::exception_ptr Error) {
  const TExceptionHandler& Handler = InstalledHandler();
  if (Handler) {
    Handler(Sender, Error);
  } else {
    WriteToStandardError(Error);
  }
}

}  // namespace tolvane
