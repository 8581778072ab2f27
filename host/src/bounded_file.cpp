#include "bounded_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#if defined(_WIN32)
// Windows has neither flag; its files must be read in binary mode instead.
#define VX_READ_FLAGS (O_RDONLY | O_BINARY)
#else
#define VX_READ_FLAGS (O_RDONLY | O_NONBLOCK | O_CLOEXEC)
#endif

namespace vertexa::detail {

bool read_regular_file(const std::string& path, std::size_t limit, std::string* data, bool* cut) {
    data->clear();
    *cut = false;
    const int fd = ::open(path.c_str(), VX_READ_FLAGS);
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    char chunk[16384];
    while (data->size() <= limit) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        const std::size_t room = limit + 1 - data->size();
        data->append(chunk, static_cast<std::size_t>(got) < room ? static_cast<std::size_t>(got) : room);
    }
    ::close(fd);
    if (data->size() > limit) {
        *cut = true;
        data->resize(limit);
    }
    return true;
}

}  // namespace vertexa::detail
