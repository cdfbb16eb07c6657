// The reader child's output (dadav-leitor-certificados): records gathered
// and written to standard output in blocks. Child-only, plain C++.
#pragma once

#include <cstdint>
#include <string_view>

namespace ReaderOutput {

// Appends one record (CertificateFrames) to what goes out next.
void write(char tag, std::string_view payload);
// Writes out what was gathered; ends the child when the client has gone.
void flush();
// Ends the output with 'E'; returns the exit status 0.
int finish();
// Ends the output with 'F' (code, stage, a zero byte, detail); returns 1.
int fail(unsigned long code, std::string_view stage, std::string_view detail = {});

} // namespace ReaderOutput

// The user certificates of the NSS database in folder (NssReader.cpp, apart
// because NSS and p11-kit each bring their own PKCS#11 declarations).
int listNssDatabase(const char* folder);
