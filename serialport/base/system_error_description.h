// The operating system's own words for a system error code: the one call the reasons of
// system_error_cause.h are made from.
#pragma once

namespace tolvane {

// The untranslated English description of SystemErrorCode, whatever the process's locale (the
// catalogs translate it); nullptr for a code the system does not know.
const char* SystemErrorDescription(int SystemErrorCode);

}  // namespace tolvane
