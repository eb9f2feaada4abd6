#include "appliance/ui/ClientCertLogin.h"

#include "appliance/ui/LoginOutcome.h"

bool CertificateLoginGoesOn(int32_t result, int32_t secondStepKind)
{
    const LoginAction action = ActionForLoginResult(result, secondStepKind, -1);
    return action != LoginAction::ClearToServerPage && action != LoginAction::CertificateChooser;
}
