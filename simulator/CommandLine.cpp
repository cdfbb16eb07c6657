// Parsing of valdoria-server's options; numbers are checked whole.
#include "CommandLine.h"

#include <charconv>

namespace valdoria {

namespace {

long long number(const std::string& option, const std::string& text, long long low,
                 long long high) {
    long long value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
        throw UsageError(option + " expects a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not '" + text + "'");
    }
    return value;
}

} // namespace

CommandLine parseCommandLine(const std::vector<std::string>& args) {
    CommandLine cl;
    cl.options.port = 8080;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option == "--help" || option == "-h") {
            cl.help = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            throw UsageError(option.rfind("--", 0) == 0 ? option + " needs a value"
                                                        : "unknown argument " + option);
        }
        const std::string& value = args[++i];
        if (option == "--port") {
            cl.options.port = static_cast<int>(number(option, value, 0, 65535));
        } else if (option == "--data") {
            cl.options.dataDir = value;
        } else if (option == "--process-after") {
            cl.options.processAfterSeconds =
                static_cast<int>(number(option, value, 0, 86400 * 365));
        } else if (option == "--seed") {
            cl.options.seedFile = value;
        } else if (option == "--version") {
            cl.options.version = value;
        } else if (option == "--years") {
            cl.options.years = value;
        } else {
            throw UsageError("unknown argument " + option);
        }
    }
    return cl;
}

std::string usageText() {
    return "Usage: valdoria-server [options]\n"
           "Stand-in for the municipal server of Valdoria, on 127.0.0.1.\n"
           "  --port N              TCP port (default 8080; 0 picks a free one)\n"
           "  --data DIR            folder for the database, uploads and request log\n"
           "                        (default: a temporary folder removed on exit)\n"
           "  --process-after SECS  delay before an upload turns processed (default 0)\n"
           "  --seed FILE           seed file with companies, version and years\n"
           "  --version TEXT        newest program version (at most 20 characters)\n"
           "  --years TEXT          working years, e.g. 2025/2026 (at most 9 characters)\n"
           "  --help                this text\n";
}

} // namespace valdoria
