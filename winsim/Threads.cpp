// Threads: CreateThread runs the routine on a real thread through winsim's trampoline, which
// signals the thread's handle only after the routine has returned, so a waiter knows the
// thread has left the caller's code. The state is shared by the handle and the thread, so
// closing the handle early is safe. FreeLibraryAndExitThread unwinds to the trampoline, which
// gives the module back only once no frame of the routine is left on the stack.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "winsim/Calls.h"
#include "winsim/HandleTable.h"

using namespace winsim;

namespace {

constexpr DWORD kStackSizeIsReservation = 0x10000;

struct ThreadState {
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  DWORD exitCode = 0;
};

// Thrown by FreeLibraryAndExitThread, caught by the trampoline of the thread.
struct ThreadExit {
  HMODULE module;
  DWORD exitCode;
};

std::atomic<int> g_running{0};
std::atomic<DWORD> g_lastThreadId{0x1000};

void Trampoline(std::shared_ptr<ThreadState> state, LPTHREAD_START_ROUTINE routine,
                LPVOID parameter) {
  DWORD exitCode = 0;
  HMODULE release = nullptr;
  try {
    exitCode = routine(parameter);
  } catch (const ThreadExit& exit) {
    exitCode = exit.exitCode;
    release = exit.module;
  }
  if (release != nullptr) FreeLibrary(release);
  g_running.fetch_sub(1);
  {
    std::lock_guard lock(state->mutex);
    state->exitCode = exitCode;
    state->done = true;
  }
  state->ended.notify_all();
}

}  // namespace

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize,
                           LPTHREAD_START_ROUTINE startAddress, LPVOID parameter,
                           DWORD creationFlags, LPDWORD threadId) {
  if (auto error = detail::EnterCall(Api::CreateThread, [&] {
        return detail::CallLine("CreateThread")
            .Pointer(security)
            .Dec(stackSize)
            .Pointer(reinterpret_cast<const void*>(startAddress))
            .Pointer(parameter)
            .Hex(creationFlags)
            .Pointer(threadId)
            .Done();
      })) {
    SetLastError(*error);
    return nullptr;
  }
  if (startAddress == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // Threads start at once; CREATE_SUSPENDED and the like are not simulated.
  if ((creationFlags & ~kStackSizeIsReservation) != 0) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  auto state = std::make_shared<ThreadState>();
  g_running.fetch_add(1);
  try {
    std::thread(Trampoline, state, startAddress, parameter).detach();
  } catch (const std::system_error&) {
    g_running.fetch_sub(1);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (threadId != nullptr) *threadId = g_lastThreadId.fetch_add(4) + 4;
  return detail::AddHandle(HandleKind::Thread, std::move(state));
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  if (auto error = detail::EnterCall(Api::WaitForSingleObject, [&] {
        return detail::CallLine("WaitForSingleObject").Handle(handle).Timeout(milliseconds).Done();
      })) {
    SetLastError(*error);
    return WAIT_FAILED;
  }
  // Thread handles are the only waitable objects here.
  const auto entry = detail::FindHandle(handle, {HandleKind::Thread});
  if (!entry) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  const auto state = detail::ObjectOf<ThreadState>(*entry);
  std::unique_lock lock(state->mutex);
  const auto done = [&state] { return state->done; };
  if (milliseconds == INFINITE) {
    state->ended.wait(lock, done);
    return WAIT_OBJECT_0;
  }
  return state->ended.wait_for(lock, std::chrono::milliseconds(milliseconds), done) ? WAIT_OBJECT_0
                                                                                    : WAIT_TIMEOUT;
}

void WINAPI FreeLibraryAndExitThread(HMODULE module, DWORD exitCode) {
  throw ThreadExit{module, exitCode};
}

namespace winsim {

int RunningThreads() {
  return g_running.load();
}

}  // namespace winsim
