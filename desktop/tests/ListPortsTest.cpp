// Talvane27 --list-ports and Orrick --list-ports, run as programs: no display, a device folder and
// a configuration folder of the test's own.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

#include "serial/tests/DeviceFolder.h"
#include "serial/tests/PtyFixture.h"

namespace {

struct ProgramRun {
    int exitCode = -1;
    std::string output;
};

ProgramRun RunProgram(const std::string& command) {
    ProgramRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    std::array<char, 4096> buffer{};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        run.output.append(buffer.data(), got);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(ListPorts, BothProgramsPrintThePortsAndTheDevicesFoundAndEnd) {
    PtyPair adapter;
    TempConfig config;
    DeviceFolder folder(adapter.SlavePath());
    const std::string byId = folder.ById(DeviceFolder::kAdapter);
    config.WritePortsFile("[ports]\nCOM1=" + byId + "\nCOM2=/nonexistent/ttyUSB7\n");

    const std::string expected = "Ports (" + config.Folder() +
                                 "/halberd/ports.conf):\n"
                                 "COM1  " +
                                 byId +
                                 "  exists, can be opened\n"
                                 "COM2  /nonexistent/ttyUSB7  missing\n";
    const std::string devices = "\nDevices found:\n" + byId + " -> " + folder.Dev("ttyUSB0") +
                                "  COM1\n" + folder.ById(DeviceFolder::kGone) + " -> " +
                                folder.Dev("ttyUSB1") + " (missing)\n" + folder.Dev("ttyACM0") +
                                "\n" + folder.Dev("ttyS0") + "\n";
    for (const char* program : {TALVANE27_PROGRAM, ORRICK_PROGRAM}) {
        // Without DISPLAY or a platform plugin a Qt window could not open: the answer comes first.
        const ProgramRun run = RunProgram(
            "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HALBERD_DEVICE_ROOT='" +
            folder.Root() + "' XDG_CONFIG_HOME='" + config.Folder() + "' '" + program +
            "' --list-ports 2>&1");
        EXPECT_EQ(run.exitCode, 0) << program;
        EXPECT_EQ(run.output.rfind(expected, 0), 0u) << program << "\n" << run.output;
        EXPECT_NE(run.output.find("COM3  /dev/ttyS2 (default)  "), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("COM4  /dev/ttyS3 (default)  "), std::string::npos) << run.output;
        const auto devicesAt = run.output.find("\nDevices found:");
        ASSERT_NE(devicesAt, std::string::npos) << run.output;
        EXPECT_EQ(run.output.substr(devicesAt), devices) << program;
    }
}

}  // namespace
