// The reader child's output (see ReaderOutput.h).
#include "certificates/ReaderOutput.h"

#include "certificates/CertificateFrames.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace ReaderOutput {

namespace {

std::string& pending() {
    static std::string out;
    return out;
}

} // namespace

void write(char tag, std::string_view payload) {
    CertificateFrames::append(pending(), tag, payload);
}

void flush() {
    std::string& out = pending();
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            std::_Exit(3); // the client has gone: nobody is left to tell
        done += static_cast<std::size_t>(n);
    }
    out.clear();
}

int finish() {
    write('E', {});
    flush();
    return 0;
}

int fail(unsigned long code, std::string_view stage, std::string_view detail) {
    std::string text = CertificateFrames::u32(static_cast<std::uint32_t>(code));
    text += stage;
    text += '\0';
    text += detail;
    write('F', text);
    flush();
    return 1;
}

} // namespace ReaderOutput
