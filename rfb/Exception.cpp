#include "rfb/Exception.h"

#include <cstdio>
#include <string>
#include <system_error>

namespace rdr {

Exception::Exception(const char* message)
{
    setText("rdr::Exception", message);
}

Exception::Exception(const char* typeName, const char* message)
{
    setText(typeName, message);
}

void Exception::setText(const char* typeName, const char* message)
{
    if (message && *message)
        std::snprintf(m_text, sizeof m_text, "%s: %s", typeName, message);
    else
        std::snprintf(m_text, sizeof m_text, "%s", typeName);
}

namespace {

std::string systemText(const char* operation, int error)
{
    // system_category gives the C library's text on POSIX and the system's own
    // text for Winsock error numbers, which strerror does not know.
    return std::string(operation) + ": " + std::system_category().message(error) + " (" +
           std::to_string(error) + ")";
}

} // namespace

SystemException::SystemException(const char* operation, int error)
    : Exception("rdr::SystemException", systemText(operation, error).c_str()), err(error)
{
}

TimedOut::TimedOut() : Exception("rdr::TimedOut", nullptr) {}

EndOfStream::EndOfStream() : Exception("rdr::EndOfStream", nullptr) {}

} // namespace rdr
