// The records of the certificate reader child (see CertificateFrames.h).
#include "certificates/CertificateFrames.h"

namespace CertificateFrames {

Parsed parse(std::string_view output) {
    Parsed p;
    ChildFrames::Reader reader(kVersion, "VMTCSWFE");
    reader.feed(output, [&p](char tag, std::string_view payload) -> const char* {
        p.records.push_back({tag, std::string(payload)});
        return nullptr;
    });
    if (reader.finish() != ChildFrames::Reader::State::Ended) {
        p.records.clear();
        p.error = reader.error();
        return p;
    }
    p.ok = true;
    return p;
}

} // namespace CertificateFrames
