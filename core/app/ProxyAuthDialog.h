#pragma once
// The proxy-authentication dialog a launch from a link shows when the
// appliance's answer asks for proxy credentials.
#include <windows.h>

class CManager;

// Modal; OK keeps the typed user and, when one was typed, the password (an
// empty password leaves the stored one as it is). True for OK, false for Cancel.
bool RunProxyAuthDialog(CManager& manager);
