#include "PortNames.h"

#include <array>
#include <cstdlib>
#include <fstream>
#include <string_view>

namespace {

constexpr std::array<std::string_view, 4> kComNames{"COM1", "COM2", "COM3", "COM4"};

std::string Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return std::string(text.substr(first, last - first + 1));
}

std::string ConfigFolder() {
    // The XDG rules ignore a relative $XDG_CONFIG_HOME.
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        return std::string(home) + "/.config";
    }
    return {};
}

// The value of key in group [ports], or an empty text.
std::string LookUpPort(const std::string& key) {
    const std::string folder = ConfigFolder();
    if (folder.empty()) {
        return {};
    }
    std::ifstream file(folder + "/halberd/ports.conf");
    std::string line;
    bool inPorts = false;
    std::string found;
    while (std::getline(file, line)) {
        const std::string text = Trim(line);
        if (text.empty() || text[0] == '#' || text[0] == ';') {
            continue;
        }
        if (text.front() == '[') {
            inPorts = text == "[ports]";
            continue;
        }
        const auto equals = text.find('=');
        if (!inPorts || equals == std::string::npos || Trim(text.substr(0, equals)) != key) {
            continue;
        }
        std::string value = Trim(text.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        found = value;  // a later line overrides an earlier one
    }
    return found;
}

}  // namespace

std::string ComDevicePath(const std::string& comName) {
    for (std::size_t index = 0; index < kComNames.size(); ++index) {
        if (comName == kComNames[index]) {
            std::string device = LookUpPort(comName);
            if (device.empty()) {
                device = "/dev/ttyS" + std::to_string(index);
            }
            return device;
        }
    }
    return comName;
}
