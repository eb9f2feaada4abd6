#include "appliance/cgi/PasswordRules.h"

std::optional<ExpiryPrompt> ExpiryPromptFor(bool expiryKnown, int32_t daysLeft, bool mayChange)
{
    if (!expiryKnown || daysLeft >= 100)
        return std::nullopt;
    if (daysLeft < 0)
        return mayChange ? ExpiryPrompt{4552, true, false} : ExpiryPrompt{4553, false, false};
    return mayChange ? ExpiryPrompt{4554, true, true} : ExpiryPrompt{4555, false, true};
}

PasswordFieldCheck CheckPasswordFields(const std::wstring& oldPassword, const std::wstring& newPassword,
                                       const std::wstring& confirmation)
{
    if (oldPassword.empty() || newPassword.empty() || confirmation.empty())
        return PasswordFieldCheck::Empty;
    if (newPassword != confirmation)
        return PasswordFieldCheck::Mismatch;
    return PasswordFieldCheck::Ok;
}
