#include "serial/tests/DeviceFolder.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

DeviceFolder::DeviceFolder(const std::string& ttyUSB0Target) {
    char pattern[] = "/tmp/halberd-devices-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    fs::create_directories(root_ + "/dev/serial/by-id");
    fs::create_symlink("../../ttyUSB0", ById(kAdapter));
    fs::create_symlink("../../ttyUSB1", ById(kGone));
    fs::create_symlink(ttyUSB0Target, Dev("ttyUSB0"));
    for (const char* node : {"ttyACM0", "ttyS0", "ttyS1", "ttyS2", "ttyUSBx", "tty0"}) {
        std::ofstream(Dev(node)).put('\0');
    }
    const std::string tty = root_ + "/sys/class/tty/";
    for (const char* port : {"ttyS0", "ttyS1"}) fs::create_directories(tty + port + "/device");
    fs::create_directories(tty + "ttyS2");
    std::ofstream(tty + "ttyS0/type") << "4\n";  // 16550A
    std::ofstream(tty + "ttyS1/type") << "0\n";  // PORT_UNKNOWN
}

DeviceFolder::~DeviceFolder() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}
