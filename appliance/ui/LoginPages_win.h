// The pages of the login window.
#pragma once

#include <memory>

class CLogin;
class LoginPage;

std::unique_ptr<LoginPage> MakeServerPage(CLogin& login);
std::unique_ptr<LoginPage> MakeCredentialsPage(CLogin& login);
std::unique_ptr<LoginPage> MakeDomainPage(CLogin& login);
std::unique_ptr<LoginPage> MakePortalPage(CLogin& login);
std::unique_ptr<LoginPage> MakeProxyPage(CLogin& login);
