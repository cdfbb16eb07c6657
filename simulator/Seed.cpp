// Seed file reader: sections [servidor], [empresa] and [transmissao], one
// key=value per line, '#' or ';' comments.
#include "Seed.h"

#include <fstream>
#include <sstream>

namespace valdoria {

namespace {

std::string trim(const std::string& s) {
    auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

[[noreturn]] void fail(int line, const std::string& why) {
    throw SeedError("seed line " + std::to_string(line) + ": " + why);
}

void checkCompany(const Company& c, int line) {
    if (c.ie.empty() || c.cnpj.empty()) {
        fail(line, "[empresa] needs ie and cnpj");
    }
    if (!c.chave.empty() && c.chave.size() != 8) {
        fail(line, "chave must have 8 characters");
    }
}

void checkTransmission(const Transmission& t, int line) {
    if (t.ie.empty() || t.protocolo.empty()) {
        fail(line, "[transmissao] needs ie and protocolo");
    }
}

} // namespace

std::string digitsOf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            out += c;
        }
    }
    return out;
}

SeedData defaultSeed() {
    SeedData seed;
    seed.companies = {
        {"78045302", "11222333000181", "Padaria São João Ltda", true, "A7K2M9QX"},
        {"86123452", "04567891000113", "D'Ávila Comércio de Roupas Ltda", false, "Z3P8W1RT"},
        {"77310088", "27891543000100", "Restaurante Açaí & Cia Ltda", true, ""},
        {"87206416", "33184762000144", "Tecnologia Ômega Sistemas S.A.", false, "H5N4C6DB"},
        {"84902764", "09341257000262", "Transportes Guanabara Ltda", false, ""},
        {"85340123", "19056384000192", "Clínica Odontológica Sorriso Ltda", false, ""},
        {"81053375", "28451906000141", "Mercearia Bom Preço Ltda", false, ""},
    };
    return seed;
}

SeedData parseSeed(const std::string& text) {
    SeedData seed;
    enum class Section { None, Servidor, Empresa, Transmissao } section = Section::None;
    int sectionLine = 0;
    auto closeSection = [&]() {
        if (section == Section::Empresa) {
            checkCompany(seed.companies.back(), sectionLine);
        } else if (section == Section::Transmissao) {
            checkTransmission(seed.transmissions.back(), sectionLine);
        }
    };

    std::istringstream in(text);
    std::string raw;
    int lineNo = 0;
    while (std::getline(in, raw)) {
        ++lineNo;
        auto line = trim(raw);
        if (line.empty() || line[0] == '#' || line[0] == ';') {
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']') {
                fail(lineNo, "unterminated section header");
            }
            closeSection();
            auto name = line.substr(1, line.size() - 2);
            sectionLine = lineNo;
            if (name == "servidor") {
                section = Section::Servidor;
            } else if (name == "empresa") {
                section = Section::Empresa;
                seed.companies.emplace_back();
            } else if (name == "transmissao") {
                section = Section::Transmissao;
                Transmission t;
                t.status = "3";
                seed.transmissions.push_back(t);
            } else {
                fail(lineNo, "unknown section [" + name + "]");
            }
            continue;
        }
        auto eq = line.find('=');
        if (eq == std::string::npos) {
            fail(lineNo, "key=value expected");
        }
        auto key = trim(line.substr(0, eq));
        auto value = trim(line.substr(eq + 1));
        bool known = true;
        switch (section) {
        case Section::None:
            fail(lineNo, "key outside a section");
        case Section::Servidor:
            if (key == "versao") {
                seed.version = value;
            } else if (key == "anos") {
                seed.years = value;
            } else {
                known = false;
            }
            break;
        case Section::Empresa: {
            auto& c = seed.companies.back();
            if (key == "ie") {
                c.ie = digitsOf(value);
            } else if (key == "cnpj") {
                c.cnpj = digitsOf(value);
            } else if (key == "razao") {
                c.razaoSocial = value;
            } else if (key == "simples") {
                if (value != "S" && value != "N") {
                    fail(lineNo, "simples must be S or N");
                }
                c.simples = value == "S";
            } else if (key == "chave") {
                c.chave = value;
            } else if (key == "bloqueada") {
                if (value != "S" && value != "N") {
                    fail(lineNo, "bloqueada must be S or N");
                }
                c.blocked = value == "S";
            } else {
                known = false;
            }
            break;
        }
        case Section::Transmissao: {
            auto& t = seed.transmissions.back();
            if (key == "ie") {
                t.ie = digitsOf(value);
            } else if (key == "referencia") {
                t.referencia = value;
            } else if (key == "data") {
                t.data = value;
            } else if (key == "protocolo") {
                t.protocolo = value;
            } else if (key == "status") {
                t.status = value;
            } else if (key == "adicionado") {
                t.adicionado = value;
            } else {
                known = false;
            }
            break;
        }
        }
        if (!known) {
            fail(lineNo, "unknown key " + key);
        }
    }
    closeSection();
    return seed;
}

SeedData readSeedFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw SeedError("cannot read seed file " + path);
    }
    std::ostringstream text;
    text << file.rdbuf();
    return parseSeed(text.str());
}

} // namespace valdoria
