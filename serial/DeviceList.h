#pragma once
// The serial devices present on this machine, for choosing which one a COM name points at: every
// /dev/serial/by-id link with the device it points at, then the ttyUSB, ttyACM and real ttyS ports
// that no such link names. A by-id name is the one to keep in ports.conf, as a re-plugged adapter
// keeps it while its ttyUSB number may change.
//
// All lookups in /dev and /sys go below a root folder, so tests can lay out a machine of their own.
// Nothing here opens a port for longer than a check takes, or holds one open.
#include <string>
#include <vector>

struct SerialDevice {
    std::string path;         // the name for ports.conf: the by-id link, else the device node
    std::string node;         // the device node it points at (the same as path for a node)
    bool present = true;      // false for a by-id link whose device has gone
    std::string description;  // maker, model and serial number as udev knows them; may be empty
};

class DeviceScanner {
public:
    // root "/" is the machine itself; device descriptions come from udev only then.
    explicit DeviceScanner(std::string root = "/");
    // $HALBERD_DEVICE_ROOT when it names an absolute folder, else "/".
    static DeviceScanner FromEnvironment();

    const std::string& Root() const { return root_; }
    std::vector<SerialDevice> Scan() const;

private:
    std::string root_;
};

// True when the two paths lead to the same device, following links.
bool SameDevice(const std::string& path, const SerialDevice& device);

// The COM names (COM1..COM4) whose device in ports.conf is this one.
std::vector<std::string> ComNamesOf(const SerialDevice& device);

// Whether a device exists and can be opened as the programs open it (exclusively), and why not.
struct PortCheck {
    bool exists = false;
    bool opens = false;
    std::string problem;  // the system's reason when it cannot be opened
    // "missing", "exists, can be opened" or "exists, cannot be opened: " and the reason.
    std::string StateText() const;
};
PortCheck CheckPort(const std::string& device);

// The text of --list-ports: COM1..COM4 with their device and its state, then the devices found.
std::string ListPortsText(const DeviceScanner& scanner);
