// The pages of the login window.
#pragma once

#include "core/base/s_mem.h"

#include <memory>
#include <string>

class CLogin;
class LoginPage;

std::unique_ptr<LoginPage> MakeServerPage(CLogin& login);
std::unique_ptr<LoginPage> MakeCredentialsPage(CLogin& login);
std::unique_ptr<LoginPage> MakeDomainPage(CLogin& login);
std::unique_ptr<LoginPage> MakePortalPage(CLogin& login);
std::unique_ptr<LoginPage> MakeProxyPage(CLogin& login);

// A secret typed by the user, UTF-8, into its stored form; the plain copy is wiped.
s_mem StoreSecret(const std::wstring& typed);
