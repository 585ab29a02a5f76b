#pragma once
// COM names map to devices through the per-user file halberd/ports.conf in the generic
// configuration folder ($XDG_CONFIG_HOME, else ~/.config): INI group [ports], keys COM1..COM4,
// values device paths. A missing key maps COMn to /dev/ttyS(n-1).
#include <string>

// The device behind "COM1".."COM4", read from ports.conf at each call. Any other name is returned
// unchanged, so a device path may also be given directly.
std::string ComDevicePath(const std::string& comName);
