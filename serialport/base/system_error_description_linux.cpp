#include "serialport/base/system_error_description.h"

#include <cstring>

namespace tolvane {

// glibc's description, unlike strerror's, is never translated by the C library's own catalogs.
const char* SystemErrorDescription(int SystemErrorCode) {
  return strerrordesc_np(SystemErrorCode);
}

}  // namespace tolvane
