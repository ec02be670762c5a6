// The texts of the window's eleven settings fields, addressed by register-table row (0 to 10).
// The transfer sequencer reads them; the settings file and the packet reaction also set them.
#pragma once

#include <cstddef>
#include <string>

namespace tolvane {

class TFieldTexts {
 public:
  virtual ~TFieldTexts() = default;
  virtual std::string FieldText(std::size_t Row) const = 0;
  virtual void SetFieldText(std::size_t Row, const std::string& Text) = 0;
};

}  // namespace tolvane
