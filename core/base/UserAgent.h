#pragma once
// The program's name towards the appliance: the User-Agent of every CGI
// request, of the tunnel's service request and of a proxy's CONNECT.
constexpr char kUserAgent[] = "Quenlore Secure Parlemo Windows 8.0.0.6";
