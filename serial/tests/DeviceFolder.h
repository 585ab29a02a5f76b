#pragma once
// A folder laid out as a machine's /dev and /sys for the device scan ($HALBERD_DEVICE_ROOT):
//   dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0 -> ../../ttyUSB0, a node that leads to
//   ttyUSB0Target dev/serial/by-id/usb-Gone_Adapter-if00          -> ../../ttyUSB1, which does not
//   exist dev/ttyACM0, dev/ttyS0..ttyS2; sysfs says ttyS0 has a UART, ttyS1 has an unknown one,
//   ttyS2 none.
#include <string>

class DeviceFolder {
public:
    explicit DeviceFolder(const std::string& ttyUSB0Target);
    ~DeviceFolder();
    DeviceFolder(const DeviceFolder&) = delete;
    DeviceFolder& operator=(const DeviceFolder&) = delete;

    const std::string& Root() const { return root_; }
    std::string Dev(const std::string& name) const { return root_ + "/dev/" + name; }
    std::string ById(const std::string& name) const { return root_ + "/dev/serial/by-id/" + name; }

    static constexpr const char* kAdapter = "usb-FTDI_FT232R_A1-if00-port0";
    static constexpr const char* kGone = "usb-Gone_Adapter-if00";

private:
    std::string root_;
};
