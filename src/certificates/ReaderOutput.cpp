// The reader child's output (see ReaderOutput.h).
#include "certificates/ReaderOutput.h"

#include "certificates/CertificateFrames.h"
#include "childprocess/ChildOutput.h"

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
    ChildOutput::writeAll(pending());
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
