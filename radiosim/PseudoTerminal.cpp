#include "radiosim/PseudoTerminal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "text/QuotedToken.h"

namespace radiosim {

UniqueFd::~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

void MakeRaw(int fd, const std::string& name, speed_t speed = B0) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) Fail("cannot read the settings of " + name);
    ::cfmakeraw(&tio);
    if (speed != B0) ::cfsetspeed(&tio, speed);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(HUPCL);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) Fail("cannot set raw mode on " + name);
}

}  // namespace

Line OpenPseudoTerminal() {
    Line line;
    line.pseudoTerminal = true;
    line.fd = UniqueFd(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!line.fd) Fail("cannot open a pseudo-terminal");
    if (::grantpt(line.fd.get()) != 0 || ::unlockpt(line.fd.get()) != 0)
        Fail("cannot unlock the pseudo-terminal");
    char name[128];
    if (::ptsname_r(line.fd.get(), name, sizeof name) != 0) Fail("cannot name the pseudo-terminal");
    line.path = name;
    line.keepAlive = UniqueFd(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!line.keepAlive) Fail("cannot open " + line.path);
    // The terminal's side starts raw: no echo, no line editing, no CR/LF translation.
    MakeRaw(line.keepAlive.get(), line.path);
    return line;
}

Line OpenDevice(const std::string& path, bool speed1200) {
    Line line;
    line.path = path;
    line.fd = UniqueFd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!line.fd) Fail("cannot open " + text::QuotedToken(path));
    if (::flock(line.fd.get(), LOCK_EX | LOCK_NB) != 0)
        Fail(text::QuotedToken(path) + " is in use");
    MakeRaw(line.fd.get(), path, speed1200 ? B1200 : B9600);
    line.pseudoTerminal =
        ::isatty(line.fd.get()) && std::strncmp(path.c_str(), "/dev/pts/", 9) == 0;
    return line;
}

}  // namespace radiosim
