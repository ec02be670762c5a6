// The application's central report of an exception that no caller can take: an error raised
// while an event is delivered through a hand-over, or while a stored port opens after loading.
#pragma once

#include <exception>
#include <functional>

namespace tolvane {

class TObject;

using TExceptionHandler = std::function<void(TObject* Sender, std::exception_ptr Error)>;

// Installs the handler; an empty function restores the default, which writes the message to
// standard error.
void SetApplicationExceptionHandler(TExceptionHandler Handler);
void HandleApplicationException(TObject* Sender, std::exception_ptr Error);

}  // namespace tolvane
