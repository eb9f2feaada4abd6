// The viewer's exceptions. Warning and Error are shown to the user by the
// Win32 edge; Quiet ends the session with a log line only. Each is an
// rdr::Exception so one catch in the reader ends the session on any of them,
// and each keeps its own copy of its text.
#pragma once

#include "rfb/Exception.h"

namespace viewer {

class ViewerException : public rdr::Exception {
public:
    enum class Kind { Warning, Error, Quiet };
    ViewerException(Kind kind, const char* text) : rdr::Exception(KindName(kind), text), m_kind(kind) {}
    Kind kind() const { return m_kind; }

private:
    static const char* KindName(Kind k)
    {
        return k == Kind::Warning ? "Warning" : k == Kind::Error ? "Error" : "Quiet";
    }
    Kind m_kind;
};

class WarningException : public ViewerException {
public:
    explicit WarningException(const char* text) : ViewerException(Kind::Warning, text) {}
};

class ErrorException : public ViewerException {
public:
    explicit ErrorException(const char* text) : ViewerException(Kind::Error, text) {}
};

class QuietException : public ViewerException {
public:
    explicit QuietException(const char* text) : ViewerException(Kind::Quiet, text) {}
};

} // namespace viewer
