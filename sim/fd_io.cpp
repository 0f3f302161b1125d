#include "fd_io.h"

#include <unistd.h>

#include <cerrno>

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

}  // namespace sim
