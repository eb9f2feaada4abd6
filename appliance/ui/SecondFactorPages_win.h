// The second-step pages of the login window: one-time password, RSA new PIN,
// RSA system PIN, RSA pass-code, RSA next code and RADIUS challenge. Each
// sends its own request on the GUI thread and hands the result to
// CLogin::ShowPage.
#pragma once

#include <memory>

class CLogin;
class LoginPage;

std::unique_ptr<LoginPage> MakeOtpPage(CLogin& login);
std::unique_ptr<LoginPage> MakeNewPinPage(CLogin& login);
std::unique_ptr<LoginPage> MakeSystemPinPage(CLogin& login);
std::unique_ptr<LoginPage> MakePasscodePage(CLogin& login);
std::unique_ptr<LoginPage> MakeNextCodePage(CLogin& login);
std::unique_ptr<LoginPage> MakeRadiusPage(CLogin& login);
