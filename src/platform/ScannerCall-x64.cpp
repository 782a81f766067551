// The exception handler of AskScanner on x64 Windows: ScannerCall-x64.S names it in the unwind
// information of AskScanner, so it sees every exception raised by the scanner that nothing below
// handled, and ends each one at AskScannerRaised.
#include <unwind.h>

#include <cstddef>

#include "platform/Win32.h"

extern "C" void AskScannerRaised();  // the recovery point in ScannerCall-x64.S

namespace {

// Every GCC C++ throw is raised with this code ("GCC" and the user-defined bit).
constexpr DWORD kGccThrow = 0x20474343;
// Where in AskScanner's frame the handler leaves a caught GCC exception for AskScannerRaised.
constexpr std::size_t kCaughtGccExceptionOffset = 32;

}  // namespace

extern "C" EXCEPTION_DISPOSITION ScannerExceptionHandler(EXCEPTION_RECORD* record, void* frame,
                                                         CONTEXT*, DISPATCHER_CONTEXT* dispatch) {
  // Only an exception being dispatched is ours to end; an unwind passing by goes on.
  if ((record->ExceptionFlags & EXCEPTION_UNWIND) != 0) return ExceptionContinueSearch;
  const auto recovery = reinterpret_cast<void*>(&AskScannerRaised);
  _Unwind_Exception* gccException = nullptr;
  if (record->ExceptionCode == kGccThrow && record->NumberParameters >= 1) {
    // A GCC frame with cleanups runs them and then resumes the unwind at the target kept in the
    // exception, which GCC fills in only when one of its own handlers caught it: name ours.
    gccException = reinterpret_cast<_Unwind_Exception*>(record->ExceptionInformation[0]);
    gccException->private_[1] = reinterpret_cast<_Unwind_Word>(frame);
    gccException->private_[2] = reinterpret_cast<_Unwind_Word>(recovery);
    gccException->private_[3] = 0;
  }
  *reinterpret_cast<_Unwind_Exception**>(static_cast<char*>(frame) + kCaughtGccExceptionOffset) =
      gccException;
  RtlUnwindEx(frame, recovery, record, nullptr, dispatch->ContextRecord, dispatch->HistoryTable);
  return ExceptionContinueSearch;  // not reached: RtlUnwindEx resumes at the recovery point
}
