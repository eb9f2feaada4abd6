#include "appliance/ui/CertificateViewer_win.h"

ViewCertificateFn SystemCertificateViewer()
{
    // Looked up once; the library stays loaded while the entry point is in use.
    static const ViewCertificateFn view = [] {
        HMODULE cryptui = LoadLibraryExW(L"cryptui.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!cryptui)
            return ViewCertificateFn{};
        auto fn = reinterpret_cast<ViewCertificateFn>(
            reinterpret_cast<void*>(GetProcAddress(cryptui, "CryptUIDlgViewCertificateW")));
        if (!fn)
            FreeLibrary(cryptui);
        return fn;
    }();
    return view;
}

void ShowCertificate(ViewCertificateFn view, HWND owner, PCCERT_CONTEXT cert)
{
    if (!view || !cert)
        return;
    CRYPTUI_VIEWCERTIFICATE_STRUCTW info{};
    info.dwSize = sizeof(info);
    info.hwndParent = owner;
    info.pCertContext = cert;
    BOOL changed = FALSE;
    view(&info, &changed);
}
