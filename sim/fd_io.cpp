#include "fd_io.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {

namespace {

template <typename Transfer, typename Byte>
bool Whole(Transfer transfer, int fd, Byte* data, size_t size) {
    while (size > 0) {
        const ssize_t n = transfer(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool WriteAll(int fd, const void* data, size_t size) {
    return Whole(write, fd, static_cast<const char*>(data), size);
}

bool ReadAll(int fd, void* data, size_t size) {
    return Whole(read, fd, static_cast<char*>(data), size);
}

bool SendAll(int fd, const void* data, size_t size) {
    const auto send_quietly = [](int to, const char* bytes, size_t n) {
        return send(to, bytes, n, MSG_NOSIGNAL);
    };
    return Whole(send_quietly, fd, static_cast<const char*>(data), size);
}

namespace {

// Reads at most `max_bytes` + 1 from `fd`, so that growth past the size
// fstat gave is seen too.
Result<std::vector<uint8_t>> ReadUpTo(int fd, const std::string& path, size_t max_bytes) {
    std::vector<uint8_t> bytes;
    uint8_t buf[65536];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return Fail("cannot read " + path + ": " + std::strerror(errno));
        }
        if (n == 0) {
            return bytes;
        }
        bytes.insert(bytes.end(), buf, buf + n);
        if (bytes.size() > max_bytes) {
            return Fail(path + " is larger than " + std::to_string(max_bytes) + " bytes");
        }
    }
}

}  // namespace

Result<std::vector<uint8_t>> ReadRegularFile(const std::string& path, size_t max_bytes) {
    // Non-blocking, so that opening a FIFO returns at once to be refused below.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return Fail("cannot read " + path + ": " + std::strerror(errno));
    }
    struct stat st {};
    Result<std::vector<uint8_t>> bytes = Fail(path + " is not a regular file");
    if (fstat(fd, &st) != 0) {
        bytes = Fail("cannot read " + path + ": " + std::strerror(errno));
    } else if (S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) > max_bytes) {
        bytes = Fail(path + " is larger than " + std::to_string(max_bytes) + " bytes");
    } else if (S_ISREG(st.st_mode)) {
        bytes = ReadUpTo(fd, path, max_bytes);
    }
    close(fd);
    return bytes;
}

}  // namespace sim
