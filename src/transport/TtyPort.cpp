#include "transport/TtyPort.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace parlane::tty {

namespace {

speed_t speedOf(std::uint32_t baud) {
  switch (baud) {
    case 300:
      return B300;
    case 600:
      return B600;
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
    case 460800:
      return B460800;
    case 500000:
      return B500000;
    case 576000:
      return B576000;
    case 921600:
      return B921600;
    case 1000000:
      return B1000000;
    case 1152000:
      return B1152000;
    case 1500000:
      return B1500000;
    case 2000000:
      return B2000000;
    case 2500000:
      return B2500000;
    case 3000000:
      return B3000000;
    case 3500000:
      return B3500000;
    case 4000000:
      return B4000000;
    default:
      return B0;
  }
}

}  // namespace

int openExclusive(const std::string& path, int* fd) {
  const int port = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (port < 0) return errno;
  int error = 0;
  termios settings{};
  if (::ioctl(port, TIOCEXCL) != 0) {
    error = errno;
  } else if (::flock(port, LOCK_EX | LOCK_NB) != 0) {
    error = errno == EWOULDBLOCK ? EBUSY : errno;
  } else if (::tcgetattr(port, &settings) != 0) {
    error = errno;
  } else {
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    if (::tcsetattr(port, TCSANOW, &settings) != 0) error = errno;
  }
  if (error != 0) {
    ::close(port);
    return error;
  }
  *fd = port;
  return 0;
}

int configureLine(int fd, std::uint32_t baudRate, std::uint8_t parity, std::uint8_t byteSize,
                  std::uint8_t stopBits, std::uint8_t parityCheck) {
  termios settings{};
  if (::tcgetattr(fd, &settings) != 0) return errno;
  const speed_t speed = speedOf(baudRate);
  if (speed == B0 || byteSize < 5 || byteSize > 8 || parity > 4 || stopBits > 2) return EINVAL;
  ::cfsetispeed(&settings, speed);
  ::cfsetospeed(&settings, speed);
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  settings.c_cflag = (settings.c_cflag & ~CSIZE) | kSizes[byteSize - 5];
  settings.c_cflag &= ~(PARENB | PARODD | CMSPAR);
  switch (parity) {
    case 1:
      settings.c_cflag |= PARENB | PARODD;
      break;
    case 2:
      settings.c_cflag |= PARENB;
      break;
    case 3:
      settings.c_cflag |= PARENB | PARODD | CMSPAR;
      break;
    case 4:
      settings.c_cflag |= PARENB | CMSPAR;
      break;
    default:
      break;
  }
  // Linux has no one and a half stop bits: that setting gives two.
  if (stopBits == 0) {
    settings.c_cflag &= ~CSTOPB;
  } else {
    settings.c_cflag |= CSTOPB;
  }
  if ((parityCheck & 1) != 0) {
    settings.c_iflag |= INPCK;
  } else {
    settings.c_iflag &= ~INPCK;
  }
  settings.c_cflag |= CLOCAL | CREAD;
  if (::tcsetattr(fd, TCSANOW, &settings) != 0) return errno;
  int lines = TIOCM_DTR | TIOCM_RTS;
  if (::ioctl(fd, TIOCMBIS, &lines) != 0 && errno != ENOTTY && errno != EINVAL) return errno;
  return 0;
}

int applyReadInterval(int fd, std::uint32_t readIntervalMs) {
  termios settings{};
  if (::tcgetattr(fd, &settings) != 0) return errno;
  const std::uint32_t tenths = readIntervalMs >= 25500 ? 255 : (readIntervalMs + 99) / 100;
  settings.c_cc[VTIME] = static_cast<cc_t>(tenths);
  if (::tcsetattr(fd, TCSANOW, &settings) != 0) return errno;
  return 0;
}

void purge(int fd) { ::tcflush(fd, TCIOFLUSH); }

void release(int fd) {
  ::ioctl(fd, TIOCNXCL);
  ::close(fd);
}

}  // namespace parlane::tty
