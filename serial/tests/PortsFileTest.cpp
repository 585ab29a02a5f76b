#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "serial/PortNames.h"
#include "serial/tests/PtyFixture.h"

namespace {

const char* const kHandEdited =
    "# my adapters\n"
    "[other]\n"
    "COM2=/dev/not-this-one\n"
    "\n"
    "[ports]\n"
    "; the radio on the bench\n"
    "COM1=/dev/pts/7\n"
    "COM2=/dev/ttyS1\n"
    "# end of ports\n"
    "[later]\n"
    "key=value\n";

TEST(WithPortsValue, ChangesOnlyTheLineOfTheKey) {
    const struct {
        const char* what;
        std::string before;
        const char* key;
        const char* value;
        std::string after;
    } cases[] = {
        {"no file", "", "COM2", "/dev/ttyUSB0", "[ports]\nCOM2=/dev/ttyUSB0\n"},
        {"replaced in place", kHandEdited, "COM2", "/dev/ttyUSB0",
         "# my adapters\n[other]\nCOM2=/dev/not-this-one\n\n[ports]\n; the radio on the bench\n"
         "COM1=/dev/pts/7\nCOM2=/dev/ttyUSB0\n# end of ports\n[later]\nkey=value\n"},
        {"added to its group", kHandEdited, "COM3", "/dev/ttyACM0",
         "# my adapters\n[other]\nCOM2=/dev/not-this-one\n\n[ports]\n; the radio on the bench\n"
         "COM1=/dev/pts/7\nCOM2=/dev/ttyS1\nCOM3=/dev/ttyACM0\n# end of "
         "ports\n[later]\nkey=value\n"},
        {"removed", kHandEdited, "COM1", "",
         "# my adapters\n[other]\nCOM2=/dev/not-this-one\n\n[ports]\n; the radio on the bench\n"
         "COM2=/dev/ttyS1\n# end of ports\n[later]\nkey=value\n"},
        {"group added", "[other]\nx=1", "COM1", "/dev/ttyS0",
         "[other]\nx=1\n\n[ports]\nCOM1=/dev/ttyS0\n"},
        {"the line that counts", "[ports]\nCOM1=a\nCOM1=b\n", "COM1", "c",
         "[ports]\nCOM1=a\nCOM1=c\n"},
        {"every duplicate removed", "[ports]\nCOM1=a\nCOM1=b\n", "COM1", "", "[ports]\n"},
        {"CRLF kept", "[ports]\r\nCOM1=a\r\n", "COM2", "b", "[ports]\r\nCOM1=a\r\nCOM2=b\r\n"},
        {"blanks inside", "", "COM1", "/dev/serial/by-id/usb-My Adapter-if00",
         "[ports]\nCOM1=/dev/serial/by-id/usb-My Adapter-if00\n"},
        {"blanks around", "", "COM1", " /tmp/odd ", "[ports]\nCOM1=\" /tmp/odd \"\n"},
        {"quotes around", "", "COM1", "\"q\"", "[ports]\nCOM1=\"\"q\"\"\n"},
    };
    for (const auto& item : cases) {
        const std::string after = WithPortsValue(item.before, item.key, item.value);
        EXPECT_EQ(after, item.after) << item.what;
        // What was written reads back the same, and no other key has moved.
        EXPECT_EQ(PortsValueIn(after, item.key), item.value) << item.what;
        for (const char* other : {"COM1", "COM2", "COM3", "COM4", "key"}) {
            if (std::string(other) != item.key) {
                EXPECT_EQ(PortsValueIn(after, other), PortsValueIn(item.before, other))
                    << item.what << " " << other;
            }
        }
    }
}

std::string FileText(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

TEST(WritePortsEntry, WritesTheFileThatComDevicePathReads) {
    TempConfig config;
    std::filesystem::remove_all(config.Folder() + "/halberd");  // the folder is made when needed
    const std::string device = config.Folder() + "/by-id/usb-My Adapter-if00";
    EXPECT_EQ(WritePortsEntry("COM2", device), "");
    EXPECT_EQ(ComDevicePath("COM2"), device);
    EXPECT_EQ(ComDevicePath("COM1"), "/dev/ttyS0");

    config.WritePortsFile(kHandEdited);
    EXPECT_EQ(WritePortsEntry("COM4", device), "");
    EXPECT_EQ(ComDevicePath("COM4"), device);
    EXPECT_EQ(ComDevicePath("COM1"), "/dev/pts/7");
    EXPECT_NE(FileText(PortsFilePath()).find("; the radio on the bench\n"), std::string::npos);
    // Nothing is left behind beside the file.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(config.Folder() + "/halberd"),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(WritePortsEntry, ReportsWhatWentWrongAndKeepsTheFile) {
    TempConfig config;
    const std::string path = PortsFilePath();
    // A folder where the file should be cannot be read, so nothing is replaced.
    std::filesystem::create_directories(path);
    EXPECT_EQ(WritePortsEntry("COM1", "/dev/ttyUSB0"), "Cannot read " + path + ": Is a directory");
    EXPECT_TRUE(std::filesystem::is_directory(path));

    std::filesystem::remove_all(config.Folder() + "/halberd");
    std::ofstream(config.Folder() + "/halberd") << "a file in the way";
    EXPECT_NE(WritePortsEntry("COM1", "/dev/ttyUSB0")
                  .find("Cannot create " + config.Folder() + "/halberd"),
              std::string::npos);
    EXPECT_EQ(WritePortsEntry("COM1", "/dev/tty\nUSB0"), "A device path cannot hold a line break.");
}

}  // namespace
