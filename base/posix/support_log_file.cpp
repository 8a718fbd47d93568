// The support log's file on POSIX: O_APPEND, so that every write lands whole at the end even with
// other launchers writing, and O_NOFOLLOW, so that a link planted in the file's place (in /tmp,
// say) is never written through.
#include "base/support_log_file.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace base::support_log_file {

handle open_named_by(const char* variable, std::uint64_t* size) {
    const char* path = std::getenv(variable);
    if (!path || !*path)
        return none;
    // O_NONBLOCK: a fifo in the file's place must not hold up the start while it is opened.
    int fd = ::open(
        path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
        return none;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
        ::close(fd);
        return none;
    }
    *size = static_cast<std::uint64_t>(st.st_size);
    return fd;
}

bool append(handle file, const char* bytes, std::size_t length) {
    ssize_t n;
    do
        n = ::write(static_cast<int>(file), bytes, length);
    while (n < 0 && errno == EINTR);
    return n >= 0 && static_cast<std::size_t>(n) == length;
}

void close(handle file) {
    ::close(static_cast<int>(file));
}

unsigned long process_id() {
    return static_cast<unsigned long>(::getpid());
}

} // namespace base::support_log_file
