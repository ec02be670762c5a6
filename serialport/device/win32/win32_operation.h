// One overlapped call of the Windows device: an OVERLAPPED with a manual-reset event of its own,
// and the wait for the call's end. Included after the component's headers (windows.h defines
// the communications constants of com_device.h, with the same values, as macros).
#pragma once

#include <windows.h>

namespace tolvane {

inline int LastError() {
  return static_cast<int>(GetLastError());
}

class TOperation {
 public:
  TOperation() { Overlapped_.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
  ~TOperation() {
    if (Overlapped_.hEvent != nullptr) CloseHandle(Overlapped_.hEvent);
  }
  TOperation(const TOperation&) = delete;
  TOperation& operator=(const TOperation&) = delete;
  bool Valid() const { return Overlapped_.hEvent != nullptr; }
  OVERLAPPED* Get() { return &Overlapped_; }
  HANDLE Event() const { return Overlapped_.hEvent; }

 private:
  OVERLAPPED Overlapped_{};
};

// A started call's result, waited for when it is pending: 0 or the failure's code; Moved is
// the count of bytes the call moved.
inline int Finish(HANDLE Device, TOperation& Operation, BOOL Started, DWORD& Moved) {
  if (!Started) {
    const DWORD Error = GetLastError();
    if (Error != ERROR_IO_PENDING) return static_cast<int>(Error);
  }
  if (!::GetOverlappedResult(Device, Operation.Get(), &Moved, TRUE)) return LastError();
  return 0;
}

}  // namespace tolvane
