#include "Defaults.h"

const char* const kDefaultPolicy =
    "# deny what runs from temporary folders, screen savers and CDs (no drive letter names the\n"
    "# CD, so the scanner sees its kernel path)\n"
    "deny  *\\Temp\\*\n"
    "deny  *.scr\n"
    "deny  \\Device\\CdRom*\n"
    "allow C:\\Windows\\*\n";

std::vector<std::u16string> DefaultLaunches() {
  return {
      u"\\Device\\HarddiskVolume1\\Windows\\System32\\notepad.exe",
      u"\\Device\\HarddiskVolume1\\Windows\\System32\\cmd.exe",
      u"\\Device\\HarddiskVolume1\\Users\\ana\\AppData\\Local\\Temp\\invoice.pdf.exe",
      u"\\Device\\HarddiskVolume1\\Program Files\\Editor\\editor.exe",
      u"\\Device\\CdRom0\\setup.exe",
      u"\\Device\\HarddiskVolume3\\Downloads\\tool.exe",
      u"\\Device\\HarddiskVolume3\\Downloads\\aquarium.scr",
      u"\\??\\C:\\Windows\\explorer.exe",
      u"\\Device\\LanmanRedirector\\;Z:0000000000001234\\fileserver\\tools\\report.exe",
      u"\\Device\\Mup\\fileserver\\tools\\report.exe",
      u"\\Device\\HarddiskVolume1\\Windows\\Temp\\dropper.exe",
  };
}
