// Fuzz target for the simulator's multipart reader, which splits every upload
// body. The input's first line is the Content-Type value, the rest the body.
// Any input either splits or raises MultipartError; a split body gives parts
// that are pieces of the body free of the delimiter, and those parts written
// out again the way the client writes them split back into the same bytes.
#include "simulator/Multipart.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::string rebuilt(const std::vector<valdoria::MultipartPart>& parts, const std::string& b) {
    std::string body;
    for (const auto& p : parts) {
        body += "--" + b +
                "\r\nContent-Disposition: form-data; name=\"f\"; filename=\"g\"\r\n"
                "Content-Type: application/octet-stream\r\n\r\n" +
                p.data + "\r\n";
    }
    return body + "--" + b + "--";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t newline = input.find('\n');
    if (newline == std::string_view::npos)
        return 0;
    const std::string_view contentType = input.substr(0, newline);
    const std::string_view body = input.substr(newline + 1);

    // Without a usable boundary in the first line the body is still split, at
    // "B", so the body reader is reached without the fuzzer first having to
    // find the word "boundary=".
    std::string boundary = "B";
    try {
        boundary = valdoria::multipartBoundary(contentType);
        if (boundary.empty() || boundary.size() > 70 ||
            contentType.find(boundary) == std::string_view::npos)
            std::abort();
    } catch (const valdoria::MultipartError&) {
        // No boundary in the first line: the body is split at "B".
    }

    std::vector<valdoria::MultipartPart> parts;
    try {
        parts = valdoria::parseMultipart(body, boundary);
    } catch (const valdoria::MultipartError&) {
        return 0;
    }
    const std::string delimiter = "\r\n--" + boundary;
    for (const auto& p : parts) {
        if (body.find(p.data) == std::string_view::npos ||
            p.data.find(delimiter) != std::string::npos)
            std::abort();
    }
    // A boundary holding a line-break character cannot come from a header line;
    // such a boundary can also merge with the CRLF the writer puts after a part.
    if (boundary.find_first_of("\r\n") != std::string::npos)
        return 0;
    try {
        const auto again = valdoria::parseMultipart(rebuilt(parts, boundary), boundary);
        if (again.size() != parts.size())
            std::abort();
        for (std::size_t i = 0; i < parts.size(); ++i) {
            if (again[i].data != parts[i].data || again[i].name != "f" || again[i].fileName != "g")
                std::abort();
        }
    } catch (const valdoria::MultipartError&) {
        std::abort();
    }
    return 0;
}
