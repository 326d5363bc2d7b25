#include <fcntl.h>
#include <unistd.h>

#include "bench/bare_read.h"

bool BareOpenReadClose(const std::filesystem::path& path, void* pBuffer, size_t nSize) {
    // The flags the module's reader opens a photo with, so that the two do the same calls.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    const ssize_t n = ::pread(fd, pBuffer, nSize, 0);
    ::close(fd);
    return n >= 0;
}
