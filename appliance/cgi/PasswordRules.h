#pragma once
// The password-expiry prompt's choice of text and the checks of the
// password-change fields, before anything reaches the appliance.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

struct ExpiryPrompt {
    unsigned textId;  // string-table id
    bool askYesNo;    // the user may change the password: Yes opens the dialog
    bool withDays;    // the text takes the days left
};
// None when nothing is shown: the expiry is not known, or 100 days or more are left.
std::optional<ExpiryPrompt> ExpiryPromptFor(bool expiryKnown, int32_t daysLeft, bool mayChange);

enum class PasswordFieldCheck {
    Ok,
    Empty,     // a field is empty
    Mismatch,  // the new password and its confirmation differ
};
PasswordFieldCheck CheckPasswordFields(const std::wstring& oldPassword, const std::wstring& newPassword,
                                       const std::wstring& confirmation);

// The most characters a password field takes.
constexpr size_t kPasswordFieldMax = 127;
