// Exceptions of the rdr byte streams. Thrown by value; each carries one
// bounded text that names its class, so a caught rdr::Exception can be logged
// without knowing which kind it is.
#pragma once

namespace rdr {

class Exception {
public:
    explicit Exception(const char* message = nullptr);
    virtual ~Exception() = default;
    virtual const char* str() const { return m_text; }

protected:
    Exception(const char* typeName, const char* message);

private:
    void setText(const char* typeName, const char* message);

    char m_text[256];
};

class SystemException : public Exception {
public:
    SystemException(const char* operation, int error);
    int err;
};

class TimedOut : public Exception {
public:
    TimedOut();
};

class EndOfStream : public Exception {
public:
    EndOfStream();
};

} // namespace rdr
