// The password-expiry prompt and the password-change dialog. After a login
// that names the password's expiry, a message box on a thread of its own
// tells the user; where the user may change the password and answers Yes,
// dialog 297 opens on that thread, modal to nothing, so the rest of the
// program goes on. Only one dialog is ever open: a later Yes brings it to the
// front. Passwords are read as typed (wide) and sent as UTF-8; the fields'
// copies are zeroed right after the request.
#pragma once

#include "appliance/cgi/PasswordRules.h"
#include "core/base/BoundedThread.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct PasswordExpiryState {
    bool known = false;
    int32_t daysLeft = 0;
    bool mayChange = false;
};

class PasswordChange {
public:
    // Sends the change (old, new, both UTF-8) from the dialog's thread; 0 changed.
    using Request = std::function<int32_t(const std::string& oldPassword, const std::string& newPassword)>;
    // Runs on the dialog's thread once a change asked for from the login
    // window has ended (changed or not).
    using Ended = std::function<void()>;

    explicit PasswordChange(HINSTANCE instance);
    // Ends an open prompt or dialog and joins their threads (bounded).
    ~PasswordChange();
    PasswordChange(const PasswordChange&) = delete;
    PasswordChange& operator=(const PasswordChange&) = delete;

    // The prompt for state on a thread of its own; nothing is shown when the
    // state asks for no prompt. False when no thread could be started.
    bool StartPrompt(const PasswordExpiryState& state, Request request, Ended ended);

    // The open dialog; null when none.
    HWND Dialog() const;
    bool DialogOpen() const;
    // The dialog's password copies hold nothing.
    bool BuffersClear() const;
    // Prompts and dialogs whose threads still run.
    size_t Running();

private:
    friend class PasswordChangeThreads;
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    std::vector<std::unique_ptr<BoundedThread>> m_threads;
};
