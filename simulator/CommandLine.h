// Command line of valdoria-server: --port, --data, --process-after, --seed,
// --version, --years, --help.
#pragma once

#include "Options.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace valdoria {

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct CommandLine {
    SimulatorOptions options;
    bool help = false;
};

// Parses the arguments after the program name. The port defaults to 8080.
// Throws UsageError naming the offending argument.
CommandLine parseCommandLine(const std::vector<std::string>& args);

// The text printed for --help and after a usage error.
std::string usageText();

} // namespace valdoria
