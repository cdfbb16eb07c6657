// The helper children's one way out: their framed output to standard output.
// Plain C++ and POSIX, no Qt, so each child program compiles it in alone.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace ChildOutput {

// Writes the whole buffer to standard output and empties it. A client that
// has gone (a failed or zero write) ends the child with status 3 at once:
// nobody is left to tell.
inline void writeAll(std::string& buffer) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, buffer.data() + done, buffer.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            std::_Exit(3);
        done += static_cast<std::size_t>(n);
    }
    buffer.clear();
}

} // namespace ChildOutput
