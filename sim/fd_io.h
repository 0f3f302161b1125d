// Whole transfers on a file descriptor, across short counts and EINTR, and
// the reading of a file someone hands a tool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "result.h"

namespace sim {

// False when the descriptor fails or (for ReadAll) ends first.
bool WriteAll(int fd, const void* data, size_t size);
bool ReadAll(int fd, void* data, size_t size);
// WriteAll on a socket whose reader may be gone: that is a failure, not SIGPIPE.
bool SendAll(int fd, const void* data, size_t size);

// The whole of `path` when it is a regular file of at most `max_bytes`;
// otherwise why not ("PATH is not a regular file", "PATH is larger than N
// bytes"). Never blocks on a FIFO nor grows without bound on a device.
Result<std::vector<uint8_t>> ReadRegularFile(const std::string& path, size_t max_bytes);

}  // namespace sim
