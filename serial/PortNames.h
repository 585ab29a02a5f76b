#pragma once
// COM names map to devices through the per-user file halberd/ports.conf in the generic
// configuration folder ($XDG_CONFIG_HOME, else ~/.config): INI group [ports], keys COM1..COM4,
// values device paths. A missing key maps COMn to /dev/ttyS(n-1).
//
// This is the one reader and the one writer of that file: both programs and every tool go through
// it, so a value written here reads back the same everywhere.
#include <string>
#include <string_view>

// The device behind "COM1".."COM4", read from ports.conf at each call. Any other name is returned
// unchanged, so a device path may also be given directly.
std::string ComDevicePath(const std::string& comName);

// The full path of ports.conf, or an empty text when there is no configuration folder.
std::string PortsFilePath();

// The value of key in the [ports] group of the file, or an empty text when the file, the key or
// the value is missing.
std::string ReadPortsEntry(const std::string& key);

// Sets key in the [ports] group to device (an empty device removes the key, so the default
// applies again). Comments, other keys and other groups are kept. The file is replaced in one
// step (a temporary file renamed over it), so a reader never sees half of it. Returns an empty
// text, or what went wrong.
std::string WritePortsEntry(const std::string& key, const std::string& device);

// The same on INI text, for the tests: the value of key, and the text with key set.
std::string PortsValueIn(std::string_view text, std::string_view key);
std::string WithPortsValue(std::string_view text, std::string_view key, std::string_view value);
