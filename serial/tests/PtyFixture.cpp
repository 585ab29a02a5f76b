#include "serial/tests/PtyFixture.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

PtyPair::PtyPair() {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    slavePath_ = name;
    // The far end reads raw bytes and never blocks the test.
    termios settings{};
    tcgetattr(master_, &settings);
    cfmakeraw(&settings);
    tcsetattr(master_, TCSANOW, &settings);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
    CloseMaster();
    if (slave_ >= 0) {
        close(slave_);
    }
}

void PtyPair::Send(const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t sent = write(master_, bytes.data() + done, bytes.size() - done);
        if (sent > 0) {
            done += static_cast<std::size_t>(sent);
        } else {
            pollfd out{master_, POLLOUT, 0};
            if (poll(&out, 1, 1000) <= 0) {
                throw std::runtime_error("the far end cannot send");
            }
        }
    }
}

void PtyPair::Send(const std::string& text) {
    Send(std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::vector<std::uint8_t> PtyPair::Receive(std::size_t count, std::chrono::milliseconds timeout) {
    std::vector<std::uint8_t> received;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (received.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd in{master_, POLLIN, 0};
        if (poll(&in, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        std::uint8_t chunk[4096];
        const ssize_t got = read(master_, chunk, sizeof chunk);
        if (got <= 0) {
            break;
        }
        received.insert(received.end(), chunk, chunk + got);
    }
    return received;
}

void PtyPair::CloseMaster() {
    if (master_ >= 0) {
        close(master_);
        master_ = -1;
    }
}

TempConfig::TempConfig() {
    char pattern[] = "/tmp/halberd-serial-test-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    folder_ = pattern;
    std::filesystem::create_directories(folder_ + "/halberd");
    setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
}

TempConfig::~TempConfig() {
    unsetenv("XDG_CONFIG_HOME");
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

void TempConfig::WritePortsFile(const std::string& contents) {
    std::ofstream(folder_ + "/halberd/ports.conf") << contents;
}

void TempConfig::MapPorts(const std::map<std::string, std::string>& ports) {
    std::string contents = "[ports]\n";
    for (const auto& [name, device] : ports) {
        contents += name + "=" + device + "\n";
    }
    WritePortsFile(contents);
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::chrono::microseconds ProcessCpuTime() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto micros = [](const timeval& time) {
        return std::chrono::seconds(time.tv_sec) + std::chrono::microseconds(time.tv_usec);
    };
    return micros(usage.ru_utime) + micros(usage.ru_stime);
}
