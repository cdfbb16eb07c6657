// Seed data of the simulator: the companies it knows, optional transmissions
// already on record, the working years and the newest program version. Read
// from a small INI-style file (format in README.md) or taken from built-in
// defaults.
#pragma once

#include "Records.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace valdoria {

class SeedError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct SeedData {
    std::string version; // newest program version; empty: the default
    std::string years;   // working years, e.g. "2025/2026"; empty: from the clock
    std::vector<Company> companies;
    std::vector<Transmission> transmissions; // rows with a protocol, already processed
};

// The built-in companies (valid RJ IEs and CNPJs; three of them with the keys
// of the legacy test database). Version and years are left empty.
SeedData defaultSeed();

// Parses seed text. Throws SeedError naming the line of the first fault
// (unknown section or key, company without IE or CNPJ, bad flag).
SeedData parseSeed(const std::string& text);

// Reads and parses a seed file. Throws SeedError when unreadable or bad.
SeedData readSeedFile(const std::string& path);

// Only the digits of `text`, in order.
std::string digitsOf(const std::string& text);

} // namespace valdoria
