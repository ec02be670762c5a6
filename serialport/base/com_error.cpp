#include "serialport/base/com_error.h"

#include "serialport/base/error_detail.h"
#include "serialport/base/system_error_cause.h"
#include "serialport/base/translation.h"

namespace tolvane {
namespace {

constexpr std::array<const char*, PortErrorCount + 1> EnglishTexts = {
    "",
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
};

constexpr const char* SystemCodeSuffix = " (error code: %d)";

std::array<std::string, PortErrorCount + 1>& MutableTexts() {
  static std::array<std::string, PortErrorCount + 1> Texts = [] {
    std::array<std::string, PortErrorCount + 1> English;
    for (std::size_t I = 0; I < English.size(); ++I) English[I] = EnglishTexts[I];
    return English;
  }();
  return Texts;
}

std::string TableText(std::int32_t ErrorNumber) {
  if (ErrorNumber < 1 || ErrorNumber > PortErrorCount) return "";
  return PortErrorTexts()[static_cast<std::size_t>(ErrorNumber)];
}

std::string WithSystemCode(std::int32_t ErrorNumber, std::int32_t SystemErrorCode) {
  return TableText(ErrorNumber) +
         TranslateFilled(SystemCodeSuffix, "%d", std::to_string(SystemErrorCode));
}

const char* EnglishText(std::int32_t ErrorNumber) {
  if (ErrorNumber < 1 || ErrorNumber > PortErrorCount) return "";
  return EnglishTexts[static_cast<std::size_t>(ErrorNumber)];
}

// The message of a failed call on a device, in the language its detail is shown in.
std::string WithSystemCode(std::int32_t ErrorNumber, std::int32_t SystemErrorCode,
                           const TTranslator& Lookup) {
  std::string Suffix = Lookup(SystemCodeSuffix);
  const std::size_t At = Suffix.find("%d");
  if (At != std::string::npos) Suffix.replace(At, 2, std::to_string(SystemErrorCode));
  return Lookup(EnglishText(ErrorNumber)) + Suffix;
}

TTranslator DeviceErrorLookup(std::int32_t ErrorNumber, std::int32_t SystemErrorCode) {
  std::vector<std::string> Texts = SystemErrorTexts(SystemErrorCode);
  Texts.emplace_back(EnglishText(ErrorNumber));
  Texts.emplace_back(SystemCodeSuffix);
  return OneLanguageLookup(Texts);
}

}  // namespace

const std::array<std::string, PortErrorCount + 1>& PortErrorTexts() {
  return MutableTexts();
}

void TranslatePortErrorTexts() {
  auto& Texts = MutableTexts();
  for (std::size_t I = 1; I < Texts.size(); ++I) Texts[I] = Translate(EnglishTexts[I]);
}

EComPort::EComPort(std::int32_t ErrorNumber)
    : Exception(TableText(ErrorNumber)), SystemErrorCode_(-1), ErrorNumber_(ErrorNumber) {}

EComPort::EComPort(std::int32_t ErrorNumber, std::int32_t SystemErrorCode)
    : Exception(WithSystemCode(ErrorNumber, SystemErrorCode)),
      SystemErrorCode_(SystemErrorCode),
      ErrorNumber_(ErrorNumber) {}

EComPort::EComPort(std::int32_t ErrorNumber, std::int32_t SystemErrorCode, std::string DevicePath)
    : EComPort(ErrorNumber, SystemErrorCode, std::move(DevicePath),
               DeviceErrorLookup(ErrorNumber, SystemErrorCode)) {}

EComPort::EComPort(std::int32_t ErrorNumber, std::int32_t SystemErrorCode, std::string DevicePath,
                   const TTranslator& Lookup)
    : Exception(WithSystemCode(ErrorNumber, SystemErrorCode, Lookup)),
      SystemErrorCode_(SystemErrorCode),
      ErrorNumber_(ErrorNumber),
      DevicePath_(std::move(DevicePath)) {
  SetDetail(DeviceErrorDetail(DevicePath_, SystemErrorCode, Lookup));
}

}  // namespace tolvane
