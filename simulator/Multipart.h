// Reader of multipart/form-data bodies as the client sends them: the boundary
// may follow a comma ("multipart/form-data, boundary=X") as well as the usual
// semicolon, and the closing delimiter may end the body without a line break.
// File bytes are carried through untouched; the field and file names come out
// as UTF-8 (read as Windows-1252 when they are not valid UTF-8, as the client writes them).
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace valdoria {

// Raised for a missing boundary or a body that does not follow the layout.
class MultipartError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct MultipartPart {
    std::string name;        // form field name from Content-Disposition, UTF-8
    std::string fileName;    // filename from Content-Disposition, UTF-8, may be empty
    std::string contentType; // the part's Content-Type, may be empty
    std::string data;        // the part's bytes, exactly as sent
};

// The boundary named in a Content-Type header value (after "boundary=",
// quotes removed). Throws MultipartError when there is none.
std::string multipartBoundary(std::string_view contentType);

// Splits `body` at `boundary`. Throws MultipartError when the opening or a
// closing delimiter is missing or a part's header block never ends.
std::vector<MultipartPart> parseMultipart(std::string_view body, std::string_view boundary);

} // namespace valdoria
