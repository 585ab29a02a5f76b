#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "serial/PortNames.h"
#include "serial/tests/PtyFixture.h"

namespace {

TEST(ComDevicePath, FallsBackToTheFirstFourSerialPortsWithoutAFile) {
    TempConfig config;  // empty folder: no ports.conf
    EXPECT_EQ(ComDevicePath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(ComDevicePath("COM2"), "/dev/ttyS1");
    EXPECT_EQ(ComDevicePath("COM3"), "/dev/ttyS2");
    EXPECT_EQ(ComDevicePath("COM4"), "/dev/ttyS3");
}

TEST(ComDevicePath, ReadsThePortsGroupOfTheUsersFile) {
    TempConfig config;
    config.WritePortsFile(
        "# written by hand\n"
        "[other]\n"
        "COM2=/dev/not-this-one\n"
        "[ports]\n"
        "COM1=/dev/pts/7\n"
        "  COM3 =  \"/dev/ttyUSB0\"  \r\n"
        "; COM4=/dev/commented-out\n"
        "COM4=\n");
    const struct {
        const char* name;
        const char* device;
    } cases[] = {
        {"COM1", "/dev/pts/7"},
        {"COM2", "/dev/ttyS1"},    // only in another group
        {"COM3", "/dev/ttyUSB0"},  // blanks and quotes around the value
        {"COM4", "/dev/ttyS3"},    // empty value counts as missing
        {"COM5", "COM5"},          // not a COM name of the component: passed through
        {"com1", "com1"},          // names are case-sensitive
        {"/dev/ttyACM0", "/dev/ttyACM0"},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(ComDevicePath(item.name), item.device) << item.name;
    }
}

TEST(ComDevicePath, UsesDotConfigInTheHomeFolderWithoutXdgConfigHome) {
    TempConfig config;
    config.MapPorts({{"COM2", "/dev/ttyUSB3"}});
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome != nullptr ? oldHome : "";
    // The same folder seen as $HOME/.config.
    const std::string home = config.Folder() + "/home";
    std::filesystem::create_directories(home);
    std::filesystem::create_symlink(config.Folder(), home + "/.config");
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", home.c_str(), 1);
    EXPECT_EQ(ComDevicePath("COM2"), "/dev/ttyUSB3");
    setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    EXPECT_EQ(ComDevicePath("COM2"), "/dev/ttyUSB3");
    if (oldHome != nullptr) {
        setenv("HOME", savedHome.c_str(), 1);
    }
}

}  // namespace
