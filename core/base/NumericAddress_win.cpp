#include "core/base/NumericAddress_win.h"

#include <cstring>

int FormatNumericAddress(const sockaddr* address, int addressLength, std::string& host, std::string& service)
{
    char hostText[NI_MAXHOST];  // 1025
    char serviceText[NI_MAXSERV];  // 32
    int error = 0;
    if (!address || addressLength <= 0) {
        error = WSAEFAULT;
    } else {
        // Windows' getnameinfo returns the socket error code itself.
        error = getnameinfo(address, addressLength, hostText, sizeof hostText, serviceText, sizeof serviceText,
                            NI_NUMERICHOST | NI_NUMERICSERV);
    }
    WSASetLastError(error);
    if (error == 0) {
        host.assign(hostText, strnlen(hostText, sizeof hostText));
        service.assign(serviceText, strnlen(serviceText, sizeof serviceText));
    }
    return error;
}
