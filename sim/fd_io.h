// Whole transfers on a file descriptor, across short counts and EINTR.
#pragma once

#include <cstddef>

namespace sim {

// False when the descriptor fails or (for ReadAll) ends first.
bool WriteAll(int fd, const void* data, size_t size);
bool ReadAll(int fd, void* data, size_t size);

}  // namespace sim
