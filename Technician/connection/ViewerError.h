// The viewer's exceptions. Each is an rdr::Exception, so one catch in the
// reader ends the session on any of them (its str() names the class for the
// log), and each keeps its own copy of its text, so a copy made while one is
// thrown stays valid after the original is gone.
//
// Report tells the user as the class requires: Quiet tells nothing, Warning
// and Error show their text in a message box (ViewerErrorReport_win.cpp; the
// neutral build writes the same to the standard error stream). The reader
// never reports; the input and clipboard paths do before they end the view.
#pragma once

#include "rfb/Exception.h"

namespace viewer {

class Exception : public rdr::Exception {
public:
    ~Exception() override;
    virtual void Report() const = 0;
    // The text given at the throw, without the class name.
    const char* message() const { return m_message; }

protected:
    Exception(const char* className, const char* text);

private:
    char m_message[256];
};

class QuietException : public Exception {
public:
    explicit QuietException(const char* text) : Exception("Quiet", text) {}
    void Report() const override {}
};

class WarningException : public Exception {
public:
    explicit WarningException(const char* text) : Exception("Warning", text) {}
    void Report() const override;
};

class ErrorException : public Exception {
public:
    explicit ErrorException(const char* text) : Exception("Error", text) {}
    void Report() const override;
};

} // namespace viewer
