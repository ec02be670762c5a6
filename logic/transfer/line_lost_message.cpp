#include "logic/transfer/line_lost_message.h"

#include <vector>

#include "serialport/base/system_error_cause.h"
#include "serialport/base/translation.h"

namespace tolvane {
namespace {

constexpr const char* LineLostFormat = "Connection to %s lost: %s";

void FillNext(std::string& Text, std::size_t& From, const std::string& Value) {
  const std::size_t At = Text.find("%s", From);
  if (At == std::string::npos) return;
  Text.replace(At, 2, Value);
  From = At + Value.size();
}

}  // namespace

std::string LineLostMessage(const std::string& Device, int SystemErrorCode) {
  // The sentence and the system's reason in one language.
  std::vector<std::string> Texts = SystemErrorTexts(SystemErrorCode);
  Texts.insert(Texts.begin(), LineLostFormat);
  const TTranslator Lookup = OneLanguageLookup(Texts);
  std::string Text = Lookup(LineLostFormat);
  std::size_t From = 0;
  FillNext(Text, From, Device);
  FillNext(Text, From, SystemErrorReason(SystemErrorCode, Lookup));
  return Text;
}

}  // namespace tolvane
