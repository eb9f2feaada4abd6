#include "appliance/ui/ClientCertChooser_win.h"

#include "appliance/cgi/CgiSession.h"
#include "appliance/cgi/LoginRequests.h"
#include "appliance/https/CertificateInfo_win.h"
#include "appliance/ui/ClientCertLogin.h"
#include "appliance/ui/LoginResources.h"
#include "appliance/ui/LoginWindow_win.h"
#include "core/base/LoadResString.h"
#include "core/base/LogFormat.h"
#include "core/base/TextConvert.h"

#include <commctrl.h>

namespace {

const wchar_t* Text(UINT id)
{
    static ResStringSlot slots[400];
    if (id < 4000 || id >= 4000 + 400)
        return L"";
    return LoadResString(slots[id - 4000], id);
}

struct ChooserState {
    ChooserState(HINSTANCE i, const std::vector<ClientCertEntry>& o, PersonalCertificates& s, ViewCertificateFn v)
        : instance(i), offered(&o), store(&s), view(v)
    {
    }

    HINSTANCE instance;
    const std::vector<ClientCertEntry>* offered;
    PersonalCertificates* store;
    ViewCertificateFn view;
    std::vector<std::string> thumbprints;  // by list row
    std::string chosen;
    HICON big = nullptr;
    HICON small = nullptr;
};

void AddColumn(HWND list, int index, UINT title, int width)
{
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<wchar_t*>(Text(title));
    column.cx = width;
    column.iSubItem = index;
    SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
}

void AddRow(HWND list, ChooserState& s, const ClientCertEntry& entry)
{
    const std::wstring name = AnsiToWide(entry.subject, kCodePageUtf8);
    const std::wstring issuer = AnsiToWide(entry.issuer, kCodePageUtf8);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(s.thumbprints.size());
    item.pszText = const_cast<wchar_t*>(name.c_str());
    const int row = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (row < 0)
        return;
    item.iItem = row;
    item.iSubItem = 1;
    item.pszText = const_cast<wchar_t*>(issuer.c_str());
    SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    s.thumbprints.push_back(entry.thumbprint);
}

// The appliance's list when it named any; else the whole personal store (an
// unreadable store leaves the list empty).
void FillList(HWND list, ChooserState& s)
{
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    s.thumbprints.clear();
    std::vector<ClientCertEntry> entries = *s.offered;
    if (entries.empty())
        s.store->List(entries);
    for (const ClientCertEntry& e : entries)
        AddRow(list, s, e);
}

void OnInit(HWND dlg, ChooserState& s)
{
    SetWindowTextW(dlg, Text(IDS_CHOOSER_TITLE));
    SetDlgItemTextW(dlg, IDC_CHOOSER_PROMPT, Text(IDS_CHOOSER_PROMPT));
    SetDlgItemTextW(dlg, IDC_CHOOSER_GROUP, Text(IDS_CHOOSER_GROUP));
    SetDlgItemTextW(dlg, IDC_CHOOSER_VIEW, Text(IDS_CHOOSER_VIEW));
    SetDlgItemTextW(dlg, IDOK, Text(IDS_BUTTON_OK));
    SetDlgItemTextW(dlg, IDCANCEL, Text(IDS_BUTTON_CANCEL));
    HWND list = GetDlgItem(dlg, IDC_CHOOSER_LIST);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    RECT r;
    GetClientRect(list, &r);
    AddColumn(list, 0, IDS_COLUMN_NAME, (r.right - r.left) / 2);
    AddColumn(list, 1, IDS_COLUMN_ISSUER, (r.right - r.left) / 2);
    FillList(list, s);
    if (!s.view)
        ShowWindow(GetDlgItem(dlg, IDC_CHOOSER_VIEW), SW_HIDE);
    s.big = static_cast<HICON>(LoadImageW(s.instance, MAKEINTRESOURCEW(IDI_LOGIN_APP), IMAGE_ICON, 32, 32, 0));
    s.small = static_cast<HICON>(LoadImageW(s.instance, MAKEINTRESOURCEW(IDI_LOGIN_APP), IMAGE_ICON, 16, 16, 0));
    SendMessageW(dlg, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(s.big));
    SendMessageW(dlg, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(s.small));
    if (!s.thumbprints.empty()) {
        LVITEMW item{};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&item));
    }
    SetFocus(list);
}

int SelectedRow(HWND dlg, const ChooserState& s)
{
    const int row = static_cast<int>(
        SendDlgItemMessageW(dlg, IDC_CHOOSER_LIST, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    return row >= 0 && static_cast<size_t>(row) < s.thumbprints.size() ? row : -1;
}

// The certificate of the row, looked up in the store now (the caller frees
// it); null when it is gone. storeOpened false, after telling the user, when
// the store cannot be opened.
PCCERT_CONTEXT LookUp(HWND dlg, ChooserState& s, int row, bool& storeOpened)
{
    PCCERT_CONTEXT cert = s.store->Find(s.thumbprints[row], storeOpened);
    if (!storeOpened)
        MessageBoxW(dlg, Text(IDS_CERT_STORE_FAILED), Text(IDS_LOGIN_ERROR), MB_OK | MB_ICONERROR);
    return cert;
}

void OnOk(HWND dlg, ChooserState& s)
{
    const int row = SelectedRow(dlg, s);
    if (row >= 0) {
        bool opened = false;
        CertContext found(LookUp(dlg, s, row, opened));
        if (!opened)
            return;  // the chooser stays open
        if (found.get())
            s.chosen = s.thumbprints[row];
    }
    EndDialog(dlg, IDOK);
}

void OnView(HWND dlg, ChooserState& s)
{
    const int row = SelectedRow(dlg, s);
    if (row < 0)
        return;
    bool opened = false;
    CertContext found(LookUp(dlg, s, row, opened));
    ShowCertificate(s.view, dlg, found.get());
}

INT_PTR CALLBACK ChooserProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* s = reinterpret_cast<ChooserState*>(GetWindowLongPtrW(dlg, GWLP_USERDATA));
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dlg, GWLP_USERDATA, lParam);
        OnInit(dlg, *reinterpret_cast<ChooserState*>(lParam));
        return FALSE;  // the list has the focus
    case WM_COMMAND:
        if (!s)
            return FALSE;
        switch (LOWORD(wParam)) {
        case IDOK: OnOk(dlg, *s); return TRUE;
        case IDCANCEL: EndDialog(dlg, IDCANCEL); return TRUE;
        case IDC_CHOOSER_VIEW: OnView(dlg, *s); return TRUE;
        default: return FALSE;
        }
    case WM_NOTIFY: {
        const auto* hdr = reinterpret_cast<const NMHDR*>(lParam);
        if (s && hdr->idFrom == IDC_CHOOSER_LIST && hdr->code == NM_DBLCLK && SelectedRow(dlg, *s) >= 0) {
            OnOk(dlg, *s);
            return TRUE;
        }
        return FALSE;
    }
    default: return FALSE;
    }
}

} // namespace

bool UserCertificates::List(std::vector<ClientCertEntry>& list)
{
    return ListUserCertificates(list);
}

PCCERT_CONTEXT UserCertificates::Find(const std::string& thumbprint, bool& storeOpened)
{
    return FindUserCertificate(thumbprint, &storeOpened);
}

std::string RunClientCertChooser(HINSTANCE instance, HWND owner, const std::vector<ClientCertEntry>& offered,
                                 PersonalCertificates& store, ViewCertificateFn view)
{
    ChooserState state(instance, offered, store, view);
    const INT_PTR r = DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_CERT_CHOOSER), owner, ChooserProc,
                                      reinterpret_cast<LPARAM>(&state));
    if (state.big)
        DestroyIcon(state.big);
    if (state.small)
        DestroyIcon(state.small);
    return r == IDOK ? state.chosen : std::string();
}

void LoginWithClientCertificate(CLogin& login)
{
    LoginContext& context = login.Context();
    UserCertificates store;
    const std::vector<ClientCertEntry> offered = context.PreparedSession().clientCerts;
    const std::string chosen =
        RunClientCertChooser(login.Instance(), login.Window(), offered, store, SystemCertificateViewer());
    if (chosen.empty()) {
        MessageBoxW(login.Window(), Text(IDS_CLIENT_CERT_NOT_VERIFIED), Text(IDS_LOGIN_ERROR), MB_OK);
        context.ClearLoginState();
        login.ShowPageId(PageId::Server);
        return;
    }
    CgiSession& session = context.PreparedSession();
    session.clientCertRequired = 1;
    session.clientCert = chosen;
    const int result = CgiUserLogin(session);
    context.TakeSessionResult();
    CgiSession& after = context.PreparedSession();
    if (CertificateLoginGoesOn(result, after.secondStepKind)) {
        login.ShowPage(result);
        return;
    }
    after.clientCertRequired = 0;
    after.clientCert.clear();
    login.Status(STATUS_ERROR, IDS_CLIENT_CERT_FAILED);
    login.Log(DHLOG_INFO, Text(IDS_LOG_CLIENT_CERT_FAILED), true);
}
