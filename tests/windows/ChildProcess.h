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
    CreatePipe(&outRead, &outWrite, &inheritable, 0);
    CreatePipe(&inRead, &inWrite, &inheritable, 0);
    const UniqueHandle childOutput(outWrite), childInput(inRead);  // closed once it has them
    output_.reset(outRead);
    input_.reset(inWrite);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead;
    startup.hStdOutput = startup.hStdError = outWrite;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                       &startup, &process)) {
      process_.reset(process.hProcess);
      CloseHandle(process.hThread);
    }
  }

  // Reads output until it holds the text; false when the output ended first.
  bool ReadUntil(std::string_view text) {
    char buffer[4096];
    DWORD got = 0;
    while (text_.find(text) == std::string::npos) {
      if (!ReadFile(output_.get(), buffer, sizeof buffer, &got, nullptr) || got == 0) return false;
      text_.append(buffer, got);
    }
    return true;
  }
  // Ends the child's input, reads its output to the end, waits for it; its exit code.
  DWORD Finish() {
    input_.reset();
    ReadUntil(std::string(1, '\0'));  // no such text: to the end
    DWORD code = 0;
    WaitForSingleObject(process_.get(), INFINITE);
    GetExitCodeProcess(process_.get(), &code);
    return code;
  }
  const std::string& Output() const { return text_; }

 private:
  UniqueHandle process_, output_, input_;
  std::string text_;
};
