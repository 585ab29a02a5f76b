#include "serial/DeviceList.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <utility>

#if HALBERD_HAVE_LIBUDEV
#include <libudev.h>
#endif

#include "serial/PortNames.h"

namespace fs = std::filesystem;

namespace {

constexpr std::array<const char*, 4> kComNames{"COM1", "COM2", "COM3", "COM4"};

// "ttyUSB12" -> {"ttyUSB", 12} when name is prefix + digits, for the order ttyS2 before ttyS10.
std::optional<std::pair<std::string, unsigned long>> SplitNumbered(const std::string& name,
                                                                   std::string_view prefix) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return {};
    const std::string digits = name.substr(prefix.size());
    if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) return {};
    return std::make_pair(std::string(prefix), std::stoul(digits));
}

// The path a link or a node finally leads to; the path itself, tidied, when it leads nowhere.
std::string Resolved(const fs::path& path) {
    std::error_code error;
    const fs::path real = fs::canonical(path, error);
    return error ? path.lexically_normal().string() : real.string();
}

std::string ReadFirstLine(const fs::path& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

#if HALBERD_HAVE_LIBUDEV
// Maker, model and serial number of a tty device as udev has them, or an empty text.
class UdevDescriber {
public:
    UdevDescriber() : udev_(udev_new(), &udev_unref) {}

    std::string Describe(const std::string& node) const {
        if (!udev_) return {};
        const std::string name = fs::path(Resolved(node)).filename().string();
        std::unique_ptr<udev_device, decltype(&udev_device_unref)> device(
            udev_device_new_from_subsystem_sysname(udev_.get(), "tty", name.c_str()),
            &udev_device_unref);
        if (!device) return {};
        auto property = [&](const char* preferred, const char* fallback) {
            const char* value = udev_device_get_property_value(device.get(), preferred);
            if (value == nullptr && fallback != nullptr)
                value = udev_device_get_property_value(device.get(), fallback);
            std::string text = value != nullptr ? value : "";
            std::replace(text.begin(), text.end(), '_',
                         ' ');  // udev's blanks in ID_VENDOR, ID_MODEL
            return text;
        };
        std::string text = property("ID_VENDOR_FROM_DATABASE", "ID_VENDOR");
        const std::string model = property("ID_MODEL_FROM_DATABASE", "ID_MODEL");
        if (!model.empty()) text += (text.empty() ? "" : " ") + model;
        const std::string serial = property("ID_SERIAL_SHORT", nullptr);
        if (!serial.empty()) text += (text.empty() ? "" : " ") + ("(" + serial + ")");
        return text;
    }

private:
    std::unique_ptr<udev, decltype(&udev_unref)> udev_;
};
#else
class UdevDescriber {
public:
    std::string Describe(const std::string&) const { return {}; }
};
#endif

}  // namespace

DeviceScanner::DeviceScanner(std::string root) : root_(std::move(root)) {
    if (root_.empty()) root_ = "/";
}

DeviceScanner DeviceScanner::FromEnvironment() {
    const char* root = std::getenv("HALBERD_DEVICE_ROOT");
    return DeviceScanner(root != nullptr && root[0] == '/' ? root : "/");
}

std::vector<SerialDevice> DeviceScanner::Scan() const {
    const auto under = [this](const fs::path& path) {
        return root_ == "/" ? path : fs::path(root_) / path.relative_path();
    };
    const bool onThisMachine = root_ == "/";
    const UdevDescriber udev;
    const auto describe = [&](const std::string& node) {
        // udev knows the machine's devices, not those of a folder laid out by a test.
        return onThisMachine ? udev.Describe(node) : std::string();
    };

    std::vector<SerialDevice> devices;
    std::set<std::string> linkedNodes;
    std::error_code error;
    const fs::path byId = under("/dev/serial/by-id");
    std::vector<fs::path> links;
    for (const auto& entry : fs::directory_iterator(byId, error)) {
        if (entry.is_symlink(error)) links.push_back(entry.path());
    }
    std::sort(links.begin(), links.end());
    for (const fs::path& link : links) {
        const fs::path target = fs::read_symlink(link, error);
        if (error) continue;
        const fs::path node =
            target.is_absolute() ? under(target) : (byId / target).lexically_normal();
        SerialDevice device{link.string(), node.string(), fs::exists(link, error), {}};
        if (device.present) device.description = describe(device.node);
        linkedNodes.insert(Resolved(node));
        devices.push_back(std::move(device));
    }

    std::vector<std::pair<std::pair<std::string, unsigned long>, fs::path>> nodes;
    const fs::path dev = under("/dev");
    for (const auto& entry : fs::directory_iterator(dev, error)) {
        const std::string name = entry.path().filename().string();
        for (const char* prefix : {"ttyUSB", "ttyACM"}) {
            if (auto key = SplitNumbered(name, prefix)) nodes.emplace_back(*key, entry.path());
        }
    }
    // A ttyS is listed only when the kernel has a UART behind it: most machines have four
    // ttyS names whatever the hardware.
    const fs::path ttyClass = under("/sys/class/tty");
    for (const auto& entry : fs::directory_iterator(ttyClass, error)) {
        const std::string name = entry.path().filename().string();
        const auto key = SplitNumbered(name, "ttyS");
        if (!key || !fs::exists(entry.path() / "device", error)) continue;
        const fs::path node = dev / name;
        if (!fs::exists(node, error)) continue;
        // serial_core gives the port type in sysfs, so the port need not be opened to read it.
        const std::string type = ReadFirstLine(entry.path() / "type");
        bool real = true;
        if (!type.empty()) {
            real = std::strtol(type.c_str(), nullptr, 10) != PORT_UNKNOWN;
        } else {
            const int fd = ::open(node.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0) {
                real = errno != EIO && errno != ENXIO && errno != ENODEV;  // busy counts as real
            } else {
                serial_struct info{};
                if (::ioctl(fd, TIOCGSERIAL, &info) == 0) real = info.type != PORT_UNKNOWN;
                ::close(fd);
            }
        }
        if (real) nodes.emplace_back(*key, node);
    }
    std::sort(nodes.begin(), nodes.end());
    for (const auto& [key, node] : nodes) {
        if (linkedNodes.count(Resolved(node)) != 0) continue;  // listed under its by-id name
        devices.push_back({node.string(), node.string(), true, describe(node.string())});
    }
    return devices;
}

bool SameDevice(const std::string& path, const SerialDevice& device) {
    const std::string resolved = Resolved(path);
    return resolved == Resolved(device.path) || resolved == Resolved(device.node);
}

std::vector<std::string> ComNamesOf(const SerialDevice& device) {
    std::vector<std::string> names;
    for (const char* name : kComNames) {
        if (SameDevice(ComDevicePath(name), device)) names.emplace_back(name);
    }
    return names;
}

PortCheck CheckPort(const std::string& device) {
    PortCheck check;
    std::error_code error;
    check.exists = fs::exists(device, error);
    if (!check.exists) return check;
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int reason = errno;
        check.problem = reason == EBUSY || reason == EWOULDBLOCK ? "in use" : std::strerror(reason);
        if (fd >= 0) ::close(fd);
        return check;
    }
    ::close(fd);
    check.opens = true;
    return check;
}

std::string PortCheck::StateText() const {
    if (!exists) return "missing";
    if (opens) return "exists, can be opened";
    return "exists, cannot be opened: " + problem;
}

std::string ListPortsText(const DeviceScanner& scanner) {
    std::ostringstream out;
    const std::string file = PortsFilePath();
    out << "Ports (" << (file.empty() ? "no configuration folder" : file) << "):\n";
    for (const char* name : kComNames) {
        const std::string device = ComDevicePath(name);
        const PortCheck check = CheckPort(device);
        out << name << "  " << device << (ReadPortsEntry(name).empty() ? " (default)" : "") << "  "
            << check.StateText() << "\n";
    }
    out << "\nDevices found:\n";
    const std::vector<SerialDevice> devices = scanner.Scan();
    if (devices.empty()) out << "(none)\n";
    for (const SerialDevice& device : devices) {
        out << device.path;
        if (device.node != device.path) {
            out << " -> " << device.node << (device.present ? "" : " (missing)");
        }
        if (!device.description.empty()) out << "  " << device.description;
        for (const std::string& name : ComNamesOf(device)) out << "  " << name;
        out << "\n";
    }
    return out.str();
}
