#include <gtest/gtest.h>

#include "serial/DeviceList.h"
#include "serial/tests/DeviceFolder.h"
#include "serial/tests/PtyFixture.h"

namespace {

TEST(DeviceScanner, ListsByIdLinksThenTheNodesNoLinkNames) {
    PtyPair adapter;
    TempConfig config;
    DeviceFolder folder(adapter.SlavePath());
    config.MapPorts(
        {{"COM2", folder.Dev("ttyUSB0")}, {"COM3", folder.ById(DeviceFolder::kAdapter)}});

    const std::vector<SerialDevice> devices = DeviceScanner(folder.Root()).Scan();
    const struct {
        std::string path;
        std::string node;
        bool present;
        std::vector<std::string> comNames;
    } expected[] = {
        // the ttyUSB0 node itself is listed only under its by-id name, which COM2 reaches too
        {folder.ById(DeviceFolder::kAdapter), folder.Dev("ttyUSB0"), true, {"COM2", "COM3"}},
        {folder.ById(DeviceFolder::kGone), folder.Dev("ttyUSB1"), false, {}},
        {folder.Dev("ttyACM0"), folder.Dev("ttyACM0"), true, {}},
        {folder.Dev("ttyS0"), folder.Dev("ttyS0"), true, {}},  // ttyS1: unknown UART; ttyS2: none
    };
    ASSERT_EQ(devices.size(), std::size(expected));
    for (std::size_t i = 0; i < devices.size(); ++i) {
        EXPECT_EQ(devices[i].path, expected[i].path) << i;
        EXPECT_EQ(devices[i].node, expected[i].node) << i;
        EXPECT_EQ(devices[i].present, expected[i].present) << i;
        EXPECT_EQ(devices[i].description, "") << i;  // udev knows nothing of a test folder
        EXPECT_EQ(ComNamesOf(devices[i]), expected[i].comNames) << i;
    }
}

TEST(CheckPort, TellsMissingFromUsableFromBusy) {
    PtyPair free;
    PtyPair held;
    THComm holder;
    TempConfig config;
    config.MapPorts({{"COM1", held.SlavePath()}});
    holder.SetCommPort(TCommPort::Com1);
    holder.OpenCommport();

    const PortCheck missing = CheckPort("/nonexistent/ttyUSB9");
    EXPECT_FALSE(missing.exists);
    const PortCheck usable = CheckPort(free.SlavePath());
    EXPECT_TRUE(usable.exists && usable.opens) << usable.problem;
    const PortCheck busy = CheckPort(held.SlavePath());
    EXPECT_TRUE(busy.exists);
    EXPECT_FALSE(busy.opens);
    EXPECT_EQ(busy.problem, "in use");
}

}  // namespace
