// A stand-in for the Access reader child that writes, for any file, the
// client's column names and then a great many tiny rows of tblContribuinte
// (DADAV_BENCH_ROWS, 1,500,000 by default), as a damaged file or child could:
// each cell one character, so that the rows fit the client's output bound.
// Same command line and records as dadav-leitor-mdb; no libmdb, no Qt.
#include "access/MdbFrames.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void flush(std::string& out) {
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, out.data() + done, out.size() - done);
        if (n <= 0)
            std::_Exit(3);
        done += static_cast<std::size_t>(n);
    }
    out.clear();
}

struct Request {
    std::string table;
    bool names = false;
    std::size_t columns = 0;
};

const std::vector<std::string_view> kContador = {
    "cont_cpf_cnpj",    "cont_num_crc",         "cont_razao_nome", "cont_nom_endereco",
    "cont_num_predial", "cont_dsc_complemento", "cont_nom_bairro", "cont_nom_cidade",
    "cont_nom_estado",  "cont_num_telefone",    "cont_num_cep",    "cont_email"};
const std::vector<std::string_view> kContribuinte = {
    "IE", "RazaoSocial", "Cnpj", "Cnae", "Chave", "CCM", "OptanteSimples"};

} // namespace

int main(int argc, char** argv) {
    std::vector<Request> requests;
    for (int i = 2; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--names" && !requests.empty())
            requests.back().names = true;
        else if (option == "--table" && i + 1 < argc)
            requests.push_back({argv[++i], false, 0});
        else if (!requests.empty() && i + 1 < argc && ++i)
            ++requests.back().columns;
    }
    const char* wanted = std::getenv("DADAV_BENCH_ROWS");
    const long long rows = wanted ? std::atoll(wanted) : 1500000;

    std::string out;
    MdbFrames::appendVersion(out);
    for (const Request& request : requests) {
        MdbFrames::appendTable(out, request.table);
        const bool contador = request.table == "tblContador";
        if (request.names) {
            for (std::string_view name : contador ? kContador : kContribuinte)
                MdbFrames::appendCell(out, name);
            continue;
        }
        for (long long row = 0; row < (contador ? 1 : rows); ++row) {
            for (std::size_t column = 0; column < request.columns; ++column)
                MdbFrames::appendCell(out, "1");
            if (out.size() > 64 * 1024)
                flush(out);
        }
    }
    MdbFrames::appendEnd(out);
    flush(out);
    return 0;
}
