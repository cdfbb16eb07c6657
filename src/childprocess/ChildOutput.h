// The helper children's one way out: their framed output (ChildFrames) on the
// pipe the client reads, which starts as standard output. Plain C++ and
// POSIX, no Qt, so each child program compiles it in alone.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace ChildOutput {

// The descriptor the records go to.
inline int& recordChannel() {
    static int fd = STDOUT_FILENO;
    return fd;
}

// Takes the record pipe off descriptor 1 and points descriptor 1 at standard
// error: a driver or library that prints a line then cannot break the
// records, and its words land where the client's own diagnostics go. Call
// it first in main, before any driver is loaded. A child that cannot ends
// with status 3.
inline void keepRecordsPrivate() {
    const int records = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (records < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        std::_Exit(3);
    recordChannel() = records;
}

// Writes the whole buffer to the record channel and empties it. A client
// that has gone (a failed or zero write) ends the child with status 3 at
// once: nobody is left to tell.
inline void writeAll(std::string& buffer) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t n = ::write(recordChannel(), buffer.data() + done, buffer.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            std::_Exit(3);
        done += static_cast<std::size_t>(n);
    }
    buffer.clear();
}

} // namespace ChildOutput
