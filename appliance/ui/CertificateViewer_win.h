// The system's certificate view, from cryptui.dll: loaded by name from the
// system folder on first use and kept for the rest of the run, so the program
// also starts where the library or its entry point is missing.
#pragma once

#include <windows.h>
#include <wincrypt.h>
#include <prsht.h>
#include <cryptuiapi.h>

using ViewCertificateFn = BOOL(WINAPI*)(PCCRYPTUI_VIEWCERTIFICATE_STRUCTW info, BOOL* propertiesChanged);

// CryptUIDlgViewCertificateW; null when it is not available.
ViewCertificateFn SystemCertificateViewer();

// Shows the certificate modally over owner; nothing when view or cert is null.
void ShowCertificate(ViewCertificateFn view, HWND owner, PCCERT_CONTEXT cert);
