#include "serial/PortNames.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

namespace {

constexpr std::array<std::string_view, 4> kComNames{"COM1", "COM2", "COM3", "COM4"};
constexpr std::string_view kBlanks = " \t\r";

std::string Trim(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(kBlanks);
    return std::string(text.substr(first, last - first + 1));
}

bool IsQuoted(std::string_view text) {
    return text.size() >= 2 && text.front() == '"' && text.back() == '"';
}

// A value that trimming or unquoting would change is written in quotes, so it reads back as it was.
std::string EncodeValue(std::string_view value) {
    if (Trim(value) != value || IsQuoted(value)) {
        return "\"" + std::string(value) + "\"";
    }
    return std::string(value);
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

// One line of the file as the reader sees it.
struct IniLine {
    enum class Kind { Other, Group, Entry } kind = Kind::Other;
    bool inPorts = false;  // a line of a [ports] group (its header included)
    std::string key;
    std::string value;
};

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<IniLine> ParseLines(const std::vector<std::string>& lines) {
    std::vector<IniLine> parsed;
    bool inPorts = false;
    for (const std::string& line : lines) {
        IniLine item;
        const std::string text = Trim(line);
        if (!text.empty() && text[0] != '#' && text[0] != ';') {
            if (text.front() == '[') {
                inPorts = text == "[ports]";
                item.kind = IniLine::Kind::Group;
            } else if (const auto equals = text.find('='); equals != std::string::npos) {
                item.kind = IniLine::Kind::Entry;
                item.key = Trim(std::string_view(text).substr(0, equals));
                item.value = Trim(std::string_view(text).substr(equals + 1));
                if (IsQuoted(item.value)) {
                    item.value = item.value.substr(1, item.value.size() - 2);
                }
            }
            item.inPorts = inPorts;
        }
        parsed.push_back(std::move(item));
    }
    return parsed;
}

std::string ErrnoText() {
    return std::strerror(errno);
}

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// The file's text, or an empty text when it does not exist; false when it exists but cannot be
// read, so that a file that is there is never replaced without its contents.
bool ReadWhole(const std::string& path, std::string& text, mode_t& mode) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT;
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0) {
        mode = info.st_mode & 07777;
    }
    std::array<char, 4096> buffer{};
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            const int saved = errno;
            ::close(fd);
            errno = saved;
            return false;
        }
        text.append(buffer.data(), static_cast<std::size_t>(got));
    }
    ::close(fd);
    return true;
}

}  // namespace

std::string PortsFilePath() {
    const std::string folder = ConfigFolder();
    return folder.empty() ? std::string() : folder + "/halberd/ports.conf";
}

std::string PortsValueIn(std::string_view text, std::string_view key) {
    std::string found;
    for (const IniLine& line : ParseLines(SplitLines(text))) {
        if (line.kind == IniLine::Kind::Entry && line.inPorts && line.key == key) {
            found = line.value;  // a later line overrides an earlier one
        }
    }
    return found;
}

std::string WithPortsValue(std::string_view text, std::string_view key, std::string_view value) {
    std::vector<std::string> lines = SplitLines(text);
    const std::vector<IniLine> parsed = ParseLines(lines);
    bool crlf = false;
    std::vector<std::size_t> matches;
    std::optional<std::size_t> lastPortsLine;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        crlf = crlf || (!lines[i].empty() && lines[i].back() == '\r');
        if (!parsed[i].inPorts) continue;
        lastPortsLine = i;
        if (parsed[i].kind == IniLine::Kind::Entry && parsed[i].key == key) matches.push_back(i);
    }
    const std::string entry = std::string(key) + "=" + EncodeValue(value) + (crlf ? "\r" : "");
    if (value.empty()) {
        // Every line of the key goes, or an earlier one would take over.
        for (auto it = matches.rbegin(); it != matches.rend(); ++it) {
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(*it));
        }
    } else if (!matches.empty()) {
        lines[matches.back()] = entry;  // the line that counts
    } else if (lastPortsLine) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*lastPortsLine) + 1, entry);
    } else {
        if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back(crlf ? "\r" : "");
        lines.push_back(crlf ? "[ports]\r" : "[ports]");
        lines.push_back(entry);
    }
    std::string result;
    for (const std::string& line : lines) {
        result += line;
        result += '\n';
    }
    return result;
}

std::string ReadPortsEntry(const std::string& key) {
    const std::string path = PortsFilePath();
    if (path.empty()) {
        return {};
    }
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return PortsValueIn(text.str(), key);
}

std::string WritePortsEntry(const std::string& key, const std::string& device) {
    namespace fs = std::filesystem;
    if (device.find('\n') != std::string::npos) {
        return "A device path cannot hold a line break.";
    }
    const std::string path = PortsFilePath();
    if (path.empty()) {
        return "Cannot write ports.conf: neither XDG_CONFIG_HOME nor HOME is set.";
    }
    fs::path target = path;
    std::error_code error;
    // A ports.conf that is a link to a file kept elsewhere stays a link: its target is rewritten.
    if (fs::is_symlink(target, error)) {
        const fs::path real = fs::canonical(target, error);
        if (!error) target = real;
    }
    fs::create_directories(target.parent_path(), error);
    if (error) {
        return "Cannot create " + target.parent_path().string() + ": " + error.message();
    }
    std::string old;
    mode_t mode = 0644;
    if (!ReadWhole(target.string(), old, mode)) {
        return "Cannot read " + target.string() + ": " + ErrnoText();
    }
    const std::string text = WithPortsValue(old, key, device);

    std::string temp = (target.parent_path() / ".ports.conf.XXXXXX").string();
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        return "Cannot write " + target.string() + ": " + ErrnoText();
    }
    const bool written = WriteAll(fd, text) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    const int writeErrno = errno;
    const bool closed = ::close(fd) == 0;
    if (written && closed && ::rename(temp.c_str(), target.c_str()) == 0) {
        return {};
    }
    const std::string reason = written ? ErrnoText() : std::strerror(writeErrno);
    ::unlink(temp.c_str());
    return "Cannot write " + target.string() + ": " + reason;
}

std::string ComDevicePath(const std::string& comName) {
    for (std::size_t index = 0; index < kComNames.size(); ++index) {
        if (comName == kComNames[index]) {
            std::string device = ReadPortsEntry(comName);
            if (device.empty()) {
                device = "/dev/ttyS" + std::to_string(index);
            }
            return device;
        }
    }
    return comName;
}
