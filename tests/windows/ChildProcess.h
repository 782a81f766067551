#pragma once
// A program run as a child process, its standard input and output (with errors) on pipes.
#include <windows.h>

#include <string>
#include <string_view>

#include "platform/Handles.h"

class ChildProcess {
 public:
  explicit ChildProcess(std::wstring command) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr, inRead = nullptr, inWrite = nullptr;
    if (!CreatePipe(&outRead, &outWrite, &inheritable, 0)) return;
    output_.reset(outRead);
    const UniqueHandle childOutput(outWrite);
    if (!CreatePipe(&inRead, &inWrite, &inheritable, 0)) return;
    input_.reset(inWrite);
    const UniqueHandle childInput(inRead);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead;
    startup.hStdOutput = startup.hStdError = outWrite;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
      return;
    }
    process_.reset(process.hProcess);
    CloseHandle(process.hThread);
  }  // the child's ends close here: the pipes end when the child's copies close

  bool Started() const { return process_.valid(); }
  // Reads output until it holds the text; false when the output ended first.
  bool ReadUntil(std::string_view text) {
    while (text_.find(text) == std::string::npos) {
      if (!ReadSome()) return false;
    }
    return true;
  }
  // Ends the child's standard input, reads its output to the end and waits for it to exit.
  DWORD Finish() {
    input_.reset();
    while (ReadSome()) {
    }
    DWORD code = 0;
    WaitForSingleObject(process_.get(), INFINITE);
    GetExitCodeProcess(process_.get(), &code);
    return code;
  }
  const std::string& Output() const { return text_; }

 private:
  bool ReadSome() {
    char buffer[4096];
    DWORD got = 0;
    if (!ReadFile(output_.get(), buffer, sizeof buffer, &got, nullptr) || got == 0) return false;
    text_.append(buffer, got);
    return true;
  }

  UniqueHandle process_, output_, input_;
  std::string text_;
};
