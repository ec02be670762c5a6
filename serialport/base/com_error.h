// The one error type of the serial port component, and its table of messages.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

#include "serialport/base/translation.h"

namespace tolvane {

// Root of the errors this code raises; the message is the text shown to the operator.
// Detail is an optional second line for the operator: which file or device, and the system's
// reason. It is kept apart from the message, whose text callers and catalogs rely on.
class Exception : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  std::string Message() const { return what(); }
  const std::string& Detail() const { return Detail_; }
  void SetDetail(std::string Detail) { Detail_ = std::move(Detail); }

 private:
  std::string Detail_;
};

// Numbers of the rows of PortErrorTexts.
enum : std::int32_t {
  CError_OpenFailed = 1,
  CError_WriteFailed = 2,
  CError_ReadFailed = 3,
  CError_InvalidAsync = 4,
  CError_PurgeFailed = 5,
  CError_AsyncCheck = 6,
  CError_SetStateFailed = 7,
  CError_TimeoutsFailed = 8,
  CError_SetupComFailed = 9,
  CError_ClearComFailed = 10,
  CError_ModemStatFailed = 11,
  CError_EscapeComFailed = 12,
  CError_TransmitFailed = 13,
  CError_ConnChangeProp = 14,
  CError_EnumPortsFailed = 15,
  CError_StoreFailed = 16,
  CError_LoadFailed = 17,
  CError_RegFailed = 18,
  CError_LedStateFailed = 19,
  CError_ThreadCreated = 20,
  CError_WaitFailed = 21,
  CError_HasLink = 22,
  CError_RegError = 23,
};
inline constexpr int PortErrorCount = 23;

// The texts indexed by error number (row 0 is unused). They are passed through the installed
// translator once by TranslatePortErrorTexts, which the program calls at start.
const std::array<std::string, PortErrorCount + 1>& PortErrorTexts();
void TranslatePortErrorTexts();

class EComPort : public Exception {
 public:
  // An error without a system code: the table text alone, SystemErrorCode -1.
  explicit EComPort(std::int32_t ErrorNumber);
  // An error of a failed system call: the table text followed by the system code.
  EComPort(std::int32_t ErrorNumber, std::int32_t SystemErrorCode);
  // An error of a failed system call on the device at DevicePath: the same text, and the
  // detail names the device and the system's reason (DeviceErrorDetail). Message and detail
  // are both translated when the catalogs translate all of their texts, else both English.
  EComPort(std::int32_t ErrorNumber, std::int32_t SystemErrorCode, std::string DevicePath);

  std::int32_t SystemErrorCode() const { return SystemErrorCode_; }
  std::int32_t ErrorNumber() const { return ErrorNumber_; }
  // The device the error is about; empty when it is about none.
  const std::string& DevicePath() const { return DevicePath_; }

 private:
  EComPort(std::int32_t ErrorNumber, std::int32_t SystemErrorCode, std::string DevicePath,
           const TTranslator& Lookup);

  std::int32_t SystemErrorCode_;
  std::int32_t ErrorNumber_;
  std::string DevicePath_;
};

}  // namespace tolvane
