// The decode exception: a rectangle the viewer cannot read in step with the
// host. It is an rdr::Exception, so the reader thread ends the viewing
// session on it just as on a closed socket.
#pragma once

#include "rfb/Exception.h"

namespace decode {

class DecodeError : public rdr::Exception {
public:
    explicit DecodeError(const char* message) : rdr::Exception("DecodeError", message) {}
};

} // namespace decode
