#include "platform/comm/RawTermios.h"

#include <cerrno>
#include <optional>

#include "platform/comm/CustomBaud.h"

namespace {

// The flags that raw mode decides, in full: MakeRawTermios clears each of them (then sets the
// line's own c_cflag bits) and SameRawFields checks each of them after the driver applied them.
constexpr tcflag_t kCflagMask =
    CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CLOCAL | CREAD | HUPCL;
constexpr tcflag_t kIflagMask =
    IXON | IXOFF | IXANY | INPCK | ISTRIP | IGNBRK | BRKINT | PARMRK | INLCR | IGNCR | ICRNL;
constexpr tcflag_t kOflagMask = OPOST;
constexpr tcflag_t kLflagMask = ICANON | ECHO | ECHONL | ISIG | IEXTEN;

std::optional<speed_t> StandardSpeed(DWORD baud) {
    struct Entry {
        DWORD baud;
        speed_t code;
    };
    static constexpr Entry kTable[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000},
    };
    for (const Entry& e : kTable) {
        if (e.baud == baud) {
            return e.code;
        }
    }
    return std::nullopt;
}

std::optional<tcflag_t> DataBits(BYTE byteSize) {
    switch (byteSize) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        case 8:
            return CS8;
        default:
            return std::nullopt;
    }
}

// One and a half stop bits exist only with five data bits, where the hardware turns CSTOPB
// into 1.5; any other combination is refused rather than quietly sent with two.
std::optional<tcflag_t> StopBits(BYTE code, BYTE byteSize) {
    switch (code) {
        case ONESTOPBIT:
            return 0;
        case ONE5STOPBITS:
            return byteSize == 5 ? std::optional<tcflag_t>(CSTOPB) : std::nullopt;
        case TWOSTOPBITS:
            return CSTOPB;
        default:
            return std::nullopt;
    }
}

std::optional<tcflag_t> Parity(BYTE code) {
    switch (code) {
        case NOPARITY:
            return 0;
        case ODDPARITY:
            return PARENB | PARODD;
        case EVENPARITY:
            return PARENB;
        case MARKPARITY:
            return PARENB | CMSPAR | PARODD;
        case SPACEPARITY:
            return PARENB | CMSPAR;
        default:
            return std::nullopt;
    }
}

SysResult Fail(SysStatus status, const char* call, int err) {
    return SysResult{status, call, err};
}

bool SameRawFields(const termios& want, const termios& got) {
    return (want.c_cflag & kCflagMask) == (got.c_cflag & kCflagMask) &&
           (want.c_iflag & kIflagMask) == (got.c_iflag & kIflagMask) &&
           (want.c_oflag & kOflagMask) == (got.c_oflag & kOflagMask) &&
           (want.c_lflag & kLflagMask) == (got.c_lflag & kLflagMask) &&
           want.c_cc[VMIN] == got.c_cc[VMIN] && want.c_cc[VTIME] == got.c_cc[VTIME];
}

// A UART is off by a few per cent at odd rates and still works; the driver may report the rate
// it could actually make.
bool CloseEnough(unsigned want, unsigned got) {
    const unsigned diff = want > got ? want - got : got - want;
    return static_cast<unsigned long long>(diff) * 100 <= static_cast<unsigned long long>(want) * 3;
}

SysResult CheckSpeed(int fd, const termios& got, DWORD baud) {
    if (std::optional<speed_t> code = StandardSpeed(baud)) {
        return cfgetospeed(&got) == *code ? SysResult{} : Fail(SysStatus::Rejected, "baud", 0);
    }
    unsigned actual = 0;
    if (int err = ReadCustomBaud(fd, &actual); err != 0) {
        return Fail(SysStatus::Failed, "ioctl(TCGETS2)", err);
    }
    return CloseEnough(baud, actual) ? SysResult{} : Fail(SysStatus::Rejected, "baud", 0);
}

}  // namespace

SysResult MakeRawTermios(const LineSettings& settings, termios* tio) {
    const std::optional<tcflag_t> size = DataBits(settings.byteSize);
    const std::optional<tcflag_t> stop = StopBits(settings.stopBits, settings.byteSize);
    const std::optional<tcflag_t> parity = Parity(settings.parity);
    if (settings.baud == 0 || !size || !stop || !parity) {
        return Fail(SysStatus::InvalidSettings, "", 0);
    }
    cfmakeraw(tio);
    tio->c_cflag &= ~kCflagMask;
    tio->c_cflag |= *size | *stop | *parity | CLOCAL | CREAD;
    tio->c_iflag &= ~kIflagMask;
    tio->c_oflag &= ~kOflagMask;
    tio->c_lflag &= ~kLflagMask;
    // With O_NONBLOCK, VMIN 1 makes an empty port read EAGAIN, so read() == 0 means hang-up.
    tio->c_cc[VMIN] = 1;
    tio->c_cc[VTIME] = 0;
    // A rate without a constant is set through termios2 after this; B38400 is a placeholder.
    const speed_t speed = StandardSpeed(settings.baud).value_or(B38400);
    cfsetispeed(tio, speed);
    cfsetospeed(tio, speed);
    return {};
}

SysResult ApplyRawSettings(int fd, const LineSettings& settings) {
    termios want{};
    if (tcgetattr(fd, &want) != 0) {
        return Fail(errno == EIO ? SysStatus::Lost : SysStatus::Failed, "tcgetattr", errno);
    }
    if (SysResult r = MakeRawTermios(settings, &want); !r.Ok()) {
        return r;
    }
    if (tcsetattr(fd, TCSANOW, &want) != 0) {
        return Fail(errno == EINVAL ? SysStatus::Rejected : SysStatus::Failed, "tcsetattr", errno);
    }
    if (!StandardSpeed(settings.baud)) {
        if (int err = SetCustomBaud(fd, settings.baud); err != 0) {
            return Fail(SysStatus::Rejected, "ioctl(TCSETS2)", err);
        }
    }
    termios got{};
    if (tcgetattr(fd, &got) != 0) {
        return Fail(SysStatus::Failed, "tcgetattr", errno);
    }
    if (!SameRawFields(want, got)) {
        return Fail(SysStatus::Rejected, "tcsetattr", 0);
    }
    return CheckSpeed(fd, got, settings.baud);
}
