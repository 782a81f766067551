// A host built from the kit alone: starts guarding, sends one launch the scanner allows and one
// it denies through the driver, stops, and assigns. Exit code 0 when all went as expected.
#include <vantor/Launch.h>
#include <vantor/Vantor.h>
#include <windows.h>

// Launches C:\FILE as the kernel names it (\Device\HarddiskVolumeN\FILE).
static vantor::LaunchOutcome Launch(const wchar_t* file) {
  vantor::LaunchOutcome outcome = vantor::LaunchOutcome::None;
  wchar_t path[MAX_PATH];
  if (QueryDosDeviceW(L"C:", path, MAX_PATH - 64) == 0) return outcome;
  lstrcatW(lstrcatW(path, L"\\"), file);
  const HANDLE driver = vantor::OpenGuardDevice();
  if (driver == INVALID_HANDLE_VALUE) return outcome;
  vantor::SendLaunch(driver, path, static_cast<size_t>(lstrlenW(path)), &outcome);
  CloseHandle(driver);
  return outcome;
}

int main() {
  if (!CVantor::Start()) return 1;
  const bool allowed = Launch(L"tools\\editor.exe") == vantor::LaunchOutcome::Allowed;
  const bool denied = Launch(L"tools\\denied.exe") == vantor::LaunchOutcome::Denied;
  const bool stopped = CVantor::Stop();
  CVantor target, source;
  const bool assigned = &(target = source) == &target;  // the third export: copies nothing
  return allowed && denied && stopped && assigned ? 0 : 2;
}
