#include <array>
#include <string_view>

#include "driverlink/DriverLink.h"
#include "module/ModuleState.h"
#include "platform/Win32.h"

namespace {

constexpr char16_t kDriverFileName[] = u"vantorflt.sys";

}  // namespace

void DriverLink::BuildDriverPath() {
  // One character more than the size given, never written, keeps a cut path terminated.
  std::array<char16_t, MAX_PATH + 1> buffer{};
  GetModuleFileNameW(nullptr, AsWin(buffer.data()), MAX_PATH);

  const std::u16string_view executable(buffer.data());
  const std::size_t separator = executable.rfind(u'\\');
  std::u16string path;
  if (separator != std::u16string_view::npos) path = executable.substr(0, separator + 1);
  path += kDriverFileName;
  *g_strDriverPath = std::move(path);
}
