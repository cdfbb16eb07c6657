// Sanitizer options compiled into every test executable, so they hold however
// the test is started (ctest, a debugger, by hand). Included once, by the test
// main of each executable.
#pragma once

extern "C" {
// Leaks inside system libraries that the client does not own.
const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libdbus\nleak:libglib\n";
}
const char* __ubsan_default_options() {
    return "print_stacktrace=1:halt_on_error=1";
}
}
