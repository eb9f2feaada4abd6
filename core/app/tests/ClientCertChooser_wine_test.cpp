// The client-certificate chooser: the dialog on its own over a test double of
// the personal store, then the login window against the local appliance
// asking for client certificates of the run's client CA (tunnel_fixture.sh
// with CORVISK_FIXTURE_CLIENT_CA). WinHTTP under Wine never reports that a
// server wants a certificate, so the login's transport is wrapped in a double
// that answers the first login as Windows would (12044 with the user's
// certificates) and passes everything else to the real transport: the login
// sent again presents the chosen certificate over real TLS, and the
// appliance's request log names it.
#include "appliance/cgi/CgiSession.h"
#include "appliance/https/CHttpsClient_win.h"
#include "appliance/ui/ClientCertChooser_win.h"
#include "appliance/ui/LoginResources.h"
#include "appliance/ui/LoginWindow_win.h"
#include "core/app/Manager.h"
#include "core/app/ProgramAppliance_win.h"
#include "core/base/CertificateVerifier_win.h"
#include "core/base/ThreadMessages.h"
#include "tests/support/WindowTest_win.h"
#include "tools/TrustRoot_win.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <wincrypt.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string Env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string ReadFile(const std::string& unixPath)
{
    std::ifstream in("Z:" + unixPath, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string CertFile(const char* name)
{
    return ReadFile(Env("CORVISK_CERT_DIR") + "/" + name);
}

std::string Trimmed(std::string s)
{
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s;
}

std::string DerThumbprint(const std::string& der)
{
    CertContext cert(CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                                  static_cast<DWORD>(der.size())));
    return cert.get() ? Sha1Thumbprint(cert.get()) : std::string();
}

const wchar_t kChooserTitle[] = L"Choose a digital Certificate";

// Runs act on the top-level window titled title once it shows, on a thread of
// its own: the test's thread is inside the window's modal loop meanwhile and
// answers the messages act sends. The destructor waits, pumping.
class WhenShown {
public:
    WhenShown(const wchar_t* title, std::function<void(HWND)> act)
        : m_thread([this, title, act] {
              HWND window = nullptr;
              for (int i = 0; i < 400 && !window; ++i, Sleep(50))
                  window = wintest::FindTopLevel(nullptr, title);
              if (window) {
                  Sleep(200);  // painted
                  act(window);
                  shown = true;
              }
              done = true;
          })
    {
    }
    ~WhenShown()
    {
        wintest::WaitFor([&] { return done.load(); }, 60000);
        m_thread.join();
    }
    WhenShown(const WhenShown&) = delete;
    WhenShown& operator=(const WhenShown&) = delete;

    std::atomic<bool> shown{false};
    std::atomic<bool> done{false};

private:
    std::thread m_thread;
};

// Every text of a message box, joined by "|".
std::wstring BoxTexts(HWND box)
{
    std::wstring texts;
    EnumChildWindows(box, [](HWND child, LPARAM out) -> BOOL {
        *reinterpret_cast<std::wstring*>(out) += wintest::Text(child) + L"|";
        return TRUE;
    }, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

struct Row {
    std::wstring name, issuer;
};

std::vector<Row> ListRows(HWND chooser)
{
    HWND list = wintest::FindControl(chooser, IDC_CHOOSER_LIST);
    std::vector<Row> rows;
    const int n = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        Row row;
        for (int column = 0; column < 2; ++column) {
            wchar_t text[256] = {};
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = text;
            item.cchTextMax = 256;
            SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
            (column == 0 ? row.name : row.issuer) = text;
        }
        rows.push_back(row);
    }
    return rows;
}

int SelectedRow(HWND chooser)
{
    return static_cast<int>(SendMessageW(wintest::FindControl(chooser, IDC_CHOOSER_LIST), LVM_GETNEXTITEM,
                                         static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void SelectRow(HWND chooser, int row)
{
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(wintest::FindControl(chooser, IDC_CHOOSER_LIST), LVM_SETITEMSTATE, row,
                 reinterpret_cast<LPARAM>(&item));
}

int RowNamed(HWND chooser, const std::wstring& name)
{
    const std::vector<Row> rows = ListRows(chooser);
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].name == name)
            return static_cast<int>(i);
    return -1;
}

void Press(HWND window, int button)
{
    PostMessageW(window, WM_COMMAND, static_cast<WPARAM>(button), 0);
}

bool IsShown(HWND chooser, int control)
{
    return IsWindowVisible(wintest::FindControl(chooser, control)) != FALSE;
}

// ---- the dialog over a test double of the personal store ----

// The personal store as the test sets it up: its certificates (each found as
// a context of the run's CA certificate), or a store that cannot be opened.
class FakeStore : public PersonalCertificates {
public:
    bool List(std::vector<ClientCertEntry>& list) override
    {
        ++lists;
        if (!opens)
            return false;
        list = entries;
        return true;
    }
    PCCERT_CONTEXT Find(const std::string& thumbprint, bool& storeOpened) override
    {
        ++finds;
        storeOpened = opens;
        for (const ClientCertEntry& e : entries)
            if (opens && e.thumbprint == thumbprint)
                return CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                                    static_cast<DWORD>(der.size()));
        return nullptr;
    }

    bool opens = true;
    std::vector<ClientCertEntry> entries;
    std::string der = CertFile("ca.der");
    std::atomic<int> lists{0}, finds{0};
};

const ClientCertEntry kAlice{"Alice Example", "Example Issuing CA", std::string(40, 'a')};
const ClientCertEntry kBob{"Bob Example", "Example Issuing CA", std::string(40, 'b')};
const ClientCertEntry kStored{"Stored Only", "Store CA", std::string(40, 'c')};

// What the certificate view was asked to show.
std::atomic<int> g_viewed{0};
HWND g_viewOwner = nullptr;
std::string g_viewedThumbprint;

BOOL WINAPI RecordView(PCCRYPTUI_VIEWCERTIFICATE_STRUCTW info, BOOL*)
{
    g_viewOwner = info->hwndParent;
    g_viewedThumbprint = Sha1Thumbprint(info->pCertContext);
    ++g_viewed;
    return TRUE;
}

class ClientCertChooserTest : public ::testing::Test {
protected:
    std::string Run(const std::vector<ClientCertEntry>& offered, ViewCertificateFn view)
    {
        return RunClientCertChooser(GetModuleHandleW(nullptr), nullptr, offered, store, view);
    }
    static void Shot(HWND window, const wchar_t* state)
    {
        wintest::SaveScreenshot(window, L"ClientCertChooser", state);
    }

    FakeStore store;
};

TEST_F(ClientCertChooserTest, ListsTheOfferedCertificatesAndReturnsTheChosenThumbprint)
{
    store.entries = {kAlice, kBob, kStored};
    std::wstring title, prompt, group, viewText;
    std::vector<Row> rows;
    int selected = -2;
    bool viewShown = false;
    std::atomic<int> viewedBeforeOk{0};
    std::string chosen;
    {
        WhenShown chooser(kChooserTitle, [&](HWND dlg) {
            title = wintest::Text(dlg);
            prompt = wintest::ControlText(dlg, IDC_CHOOSER_PROMPT);
            group = wintest::ControlText(dlg, IDC_CHOOSER_GROUP);
            viewText = wintest::ControlText(dlg, IDC_CHOOSER_VIEW);
            viewShown = IsShown(dlg, IDC_CHOOSER_VIEW);
            rows = ListRows(dlg);
            selected = SelectedRow(dlg);
            Shot(dlg, L"offered");
            SelectRow(dlg, 1);
            SendMessageW(dlg, WM_COMMAND, IDC_CHOOSER_VIEW, 0);
            viewedBeforeOk = g_viewed.load();
            Press(dlg, IDOK);
        });
        chosen = Run({kAlice, kBob}, RecordView);
    }
    EXPECT_EQ(title, kChooserTitle);
    EXPECT_EQ(prompt, L"The server, you are accessing, requests identification. Please choose a certificate.");
    EXPECT_EQ(group, L"Identification");
    EXPECT_EQ(viewText, L"View Certificate...");
    EXPECT_TRUE(viewShown);
    ASSERT_EQ(rows.size(), 2u) << "the appliance's list, not the whole store";
    EXPECT_EQ(rows[0].name, L"Alice Example");
    EXPECT_EQ(rows[0].issuer, L"Example Issuing CA");
    EXPECT_EQ(rows[1].name, L"Bob Example");
    EXPECT_EQ(selected, 0) << "the first row is chosen at first";
    EXPECT_EQ(store.lists.load(), 0);
    // View shows the selected row's certificate as the store has it, over the chooser.
    EXPECT_EQ(viewedBeforeOk.load(), 1);
    EXPECT_EQ(g_viewedThumbprint, DerThumbprint(store.der));
    EXPECT_NE(g_viewOwner, nullptr);
    EXPECT_EQ(chosen, kBob.thumbprint);
    EXPECT_EQ(store.finds.load(), 2) << "looked up for View and for OK";
}

TEST_F(ClientCertChooserTest, WithoutOfferedCertificatesTheStoreIsListedViewHiddenWithoutTheSystemView)
{
    store.entries = {kStored};
    std::vector<Row> rows;
    bool viewShown = true;
    std::string chosen = "unset";
    {
        WhenShown chooser(kChooserTitle, [&](HWND dlg) {
            rows = ListRows(dlg);
            viewShown = IsShown(dlg, IDC_CHOOSER_VIEW);
            Shot(dlg, L"store_no_view");
            Press(dlg, IDCANCEL);
        });
        chosen = Run({}, nullptr);
    }
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].name, L"Stored Only");
    EXPECT_EQ(rows[0].issuer, L"Store CA");
    EXPECT_FALSE(viewShown);
    EXPECT_EQ(chosen, "") << "Cancel chooses nothing";
    EXPECT_EQ(store.finds.load(), 0);
}

TEST_F(ClientCertChooserTest, AStoreThatCannotOpenIsReportedAndTheChooserStays)
{
    store.opens = false;
    std::wstring box;
    bool stillOpen = false;
    std::string chosen = "unset";
    {
        WhenShown chooser(kChooserTitle, [&](HWND dlg) {
            Press(dlg, IDOK);
            HWND error = nullptr;
            for (int i = 0; i < 200 && !error; ++i, Sleep(50))
                error = wintest::FindTopLevel(nullptr, L"Error");
            if (!error)
                return;
            box = BoxTexts(error);
            Shot(error, L"store_failed");
            Press(error, IDOK);
            Sleep(300);
            stillOpen = IsWindow(dlg) && IsWindowVisible(dlg);
            Press(dlg, IDCANCEL);
        });
        chosen = Run({kAlice}, nullptr);
    }
    EXPECT_NE(box.find(L"Failed to login.\nUnable to open certificate store."), std::wstring::npos)
        << std::string(box.begin(), box.end());
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(chosen, "");
}

TEST_F(ClientCertChooserTest, ACertificateGoneFromTheStoreOrNoRowChoosesNothing)
{
    store.entries = {kAlice};  // Bob was offered, but is not in the store
    for (bool selectNone : {false, true}) {
        std::string chosen = "unset";
        {
            WhenShown chooser(kChooserTitle, [&](HWND dlg) {
                SelectRow(dlg, 1);
                if (selectNone) {
                    LVITEMW item{};
                    item.stateMask = LVIS_SELECTED;
                    SendMessageW(wintest::FindControl(dlg, IDC_CHOOSER_LIST), LVM_SETITEMSTATE,
                                 static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
                }
                Press(dlg, IDOK);
            });
            chosen = Run({kAlice, kBob}, nullptr);
        }
        EXPECT_EQ(chosen, "") << (selectNone ? "no row" : "gone");
    }
    EXPECT_EQ(store.finds.load(), 1) << "no row, no lookup";
}

// ---- the login window at an appliance asking for client certificates ----

// The login's transport as it would be on Windows: the first login is
// answered with 12044 and the user's certificates (what the real transport
// reads then), or with none named; every other request goes to the real one.
class ClientCertDemand : public ICgiTransport {
public:
    ClientCertDemand(ICgiTransport& real, bool nameCertificates) : m_real(real), m_name(nameCertificates) {}

    CgiReply Exchange(const CgiRequest& request, const CgiSession& session) override
    {
        if (m_demanded || request.verb != "POST" || request.path != "/cgi-bin/userLogin")
            return m_real.Exchange(request, session);
        m_demanded = true;
        CgiReply reply;
        reply.status = CgiTransportStatus::SendFailed;
        reply.error = kErrorClientCertNeeded;
        reply.clientCertStoreRead = true;
        if (m_name) {
            CHttpsClient client;
            reply.clientCertStoreRead = client.SelectClientCertificate(reply.clientCerts);
        }
        return reply;
    }

private:
    ICgiTransport& m_real;
    bool m_name;
    bool m_demanded = false;
};

// A PFX of the fixture's into the current user's personal store, with its key
// (the store Wine keeps is the one CertOpenStore opens, not CertOpenSystemStore's).
std::string ImportPfx(const char* file)
{
    std::string pfx = CertFile(file);
    CRYPT_DATA_BLOB blob{static_cast<DWORD>(pfx.size()), reinterpret_cast<BYTE*>(&pfx[0])};
    HCERTSTORE imported = PFXImportCertStore(&blob, L"corvisk", CRYPT_USER_KEYSET);
    if (!imported)
        return {};
    HCERTSTORE my = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY");
    std::string thumbprint;
    PCCERT_CONTEXT cert = nullptr;
    while (my && (cert = CertEnumCertificatesInStore(imported, cert)) != nullptr) {
        DWORD size = 0;
        if (!CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size))
            continue;  // the chain's CA
        if (CertAddCertificateContextToStore(my, cert, CERT_STORE_ADD_REPLACE_EXISTING, nullptr))
            thumbprint = Sha1Thumbprint(cert);
    }
    if (my)
        CertCloseStore(my, 0);
    CertCloseStore(imported, 0);
    return thumbprint;
}

struct Posted {
    UINT message;
    WPARAM wParam;
};

class ClientCertLoginTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const std::string ca = CertFile("ca.der");
        ASSERT_FALSE(ca.empty()) << "no certificates from the fixture";
        ASSERT_EQ(TrustRootCertificate(ca.data(), ca.size()), 0ul);
    }
    void SetUp() override
    {
        // Wine keeps each imported key in the user's one default key
        // container: only the certificate imported last has a working key.
        ASSERT_EQ(ImportPfx("client.pfx"), Trimmed(CertFile("client.sha1")));
        wintest::SetThreadMessageSink([this](const MSG& m) { posted.push_back({m.message, m.wParam}); });
        manager = std::make_unique<CManager>(GetModuleHandleW(nullptr), MakeProgramServices);
        manager->mainThreadId = GetCurrentThreadId();
        manager->applianceHost = "localhost";
        manager->appliancePort = static_cast<uint16_t>(std::atoi(Env("CORVISK_APPLIANCE_PORT").c_str()));
        manager->launchMode = 4;  // the login window with the server preset
        ASSERT_TRUE(manager->Appliance().CreateSession());
        ASSERT_TRUE(manager->OpenFirstWindow());
        login = Appliance().Login();
        ASSERT_NE(login, nullptr);
        wintest::Pump();
        loginsBefore = LoginRecords().size();
    }
    void TearDown() override
    {
        manager.reset();
        wintest::SetThreadMessageSink(nullptr);
    }

    ProgramAppliance& Appliance() { return static_cast<ProgramAppliance&>(manager->Appliance()); }
    // From now on the window's requests go through the double.
    void DemandCertificate(bool nameCertificates)
    {
        CgiSession& session = Appliance().PreparedSession();
        demand = std::make_unique<ClientCertDemand>(*session.transport, nameCertificates);
        session.transport = demand.get();
    }
    void HostAndLogIn(const wchar_t* name, const wchar_t* password)
    {
        wintest::Click(login->PageWindow(), IDC_HOST);
        ASSERT_TRUE(wintest::WaitFor([&] { return login->CurrentPage() == PageId::Credentials; }, 20000));
        wintest::SetControlText(login->PageWindow(), IDC_NAME, name);
        wintest::SetControlText(login->PageWindow(), IDC_PASSWORD, password);
        wintest::Click(login->PageWindow(), IDOK);
    }
    bool WasPosted(UINT message, WPARAM wParam) const
    {
        for (const Posted& p : posted)
            if (p.message == message && p.wParam == wParam)
                return true;
        return false;
    }
    // The appliance's records of login requests (JSON lines) of this run.
    static std::vector<std::string> LoginRecords()
    {
        std::ifstream in("Z:" + Env("CORVISK_REQUEST_LOG"));
        std::vector<std::string> records;
        for (std::string line; std::getline(in, line);)
            if (line.find("\"method\": \"POST\"") != std::string::npos &&
                line.find("\"path\": \"/cgi-bin/userLogin\"") != std::string::npos)
                records.push_back(line);
        return records;
    }
    // Those of this test.
    std::vector<std::string> NewLoginRecords() const
    {
        std::vector<std::string> records = LoginRecords();
        records.erase(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(std::min(loginsBefore, records.size())));
        return records;
    }
    static std::string PresentedBy(const std::string& subject, const char* sha1File)
    {
        return "\"client_cert\": {\"subject\": \"/O=Corvisk tests/CN=" + subject + "\", \"sha1\": \"" +
               Trimmed(CertFile(sha1File)) + "\"}";
    }

    std::unique_ptr<CManager> manager;
    CLogin* login = nullptr;
    std::unique_ptr<ClientCertDemand> demand;
    std::vector<Posted> posted;
    size_t loginsBefore = 0;
};

TEST_F(ClientCertLoginTest, TheChosenCertificateLogsInAndTheApplianceSeesIt)
{
    DemandCertificate(true);
    std::vector<Row> rows;
    bool viewShown = false;
    bool viewed = false;
    {
        WhenShown chooser(kChooserTitle, [&](HWND dlg) {
            rows = ListRows(dlg);
            viewShown = IsShown(dlg, IDC_CHOOSER_VIEW);
            SelectRow(dlg, RowNamed(dlg, L"Corvisk Test User"));
            wintest::SaveScreenshot(dlg, L"ClientCertLogin", L"chooser");
            // The system's view of the chosen certificate, over the chooser.
            Press(dlg, IDC_CHOOSER_VIEW);
            HWND view = nullptr;
            for (int i = 0; i < 200 && !view; ++i, Sleep(50))
                view = wintest::FindTopLevel(nullptr, L"Certificate");
            if (view) {
                Sleep(300);
                wintest::SaveScreenshot(view, L"ClientCertLogin", L"view");
                Press(view, IDOK);
                for (int i = 0; i < 100 && IsWindow(view); ++i)
                    Sleep(50);
                viewed = !IsWindow(view) && IsWindowVisible(dlg);  // the chooser stays
            }
            Press(dlg, IDOK);
        });
        HostAndLogIn(L"carl", L"pw");
        ASSERT_TRUE(wintest::WaitFor([&] { return WasPosted(PLM_SHOW_ACTIVE_MEETINGS, 1); }, 30000))
            << std::string(login->StatusText().begin(), login->StatusText().end());
    }
    // The user's certificates as the request layer found them, the imported one among them.
    bool listed = false;
    for (const Row& r : rows)
        listed = listed || (r.name == L"Corvisk Test User" && r.issuer == L"Corvisk Client CA");
    EXPECT_TRUE(listed);
    EXPECT_TRUE(viewShown) << "Wine's cryptui has the certificate view";
    EXPECT_TRUE(viewed);
    EXPECT_EQ(Appliance().LastSession().clientCert, Trimmed(CertFile("client.sha1")));
    // The first login never left (the double answered it); the second presented the certificate.
    const std::vector<std::string> records = NewLoginRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_NE(records[0].find(PresentedBy("Corvisk Test User", "client.sha1")), std::string::npos) << records[0];
    EXPECT_FALSE(manager->ownSessionId.empty());
}

TEST_F(ClientCertLoginTest, WithoutNamedCertificatesTheStoreIsOfferedAndCancelReturnsToTheServerPage)
{
    DemandCertificate(false);
    std::vector<Row> rows;
    std::wstring box;
    {
        WhenShown answer(L"Error", [&](HWND error) {
            box = BoxTexts(error);
            Press(error, IDOK);
        });
        WhenShown chooser(kChooserTitle, [&](HWND dlg) {
            rows = ListRows(dlg);
            Press(dlg, IDCANCEL);
        });
        HostAndLogIn(L"carl", L"pw");
        ASSERT_TRUE(wintest::WaitFor([&] { return answer.done.load() && chooser.done.load(); }, 30000));
    }
    wintest::PumpFor(200);
    bool fromStore = false;
    for (const Row& r : rows)
        fromStore = fromStore || (r.name == L"Corvisk Test User" && r.issuer == L"Corvisk Client CA");
    EXPECT_TRUE(fromStore) << "the personal store, with the imported certificate";
    EXPECT_NE(box.find(L"Failed to verify the selected client certificate"), std::wstring::npos)
        << std::string(box.begin(), box.end());
    EXPECT_EQ(login->CurrentPage(), PageId::Server);
    EXPECT_FALSE(WasPosted(PLM_SHOW_ACTIVE_MEETINGS, 1));
    EXPECT_TRUE(NewLoginRecords().empty()) << "nothing was sent";
    EXPECT_TRUE(Appliance().LastSession().clientCert.empty());
}

TEST_F(ClientCertLoginTest, ACertificateTheApplianceRefusesFailsTheLoginWithTheCertificateMessage)
{
    ASSERT_EQ(ImportPfx("stranger.pfx"), Trimmed(CertFile("stranger.sha1")));
    DemandCertificate(true);
    {
        WhenShown chooser(kChooserTitle, [&](HWND dlg) {
            SelectRow(dlg, RowNamed(dlg, L"Corvisk Stranger"));
            Press(dlg, IDOK);
        });
        HostAndLogIn(L"carl", L"pw");
        ASSERT_TRUE(wintest::WaitFor([&] { return chooser.done.load(); }, 30000));
    }
    wintest::PumpFor(200);
    EXPECT_EQ(login->StatusText(), L"Client certification verification failed.");
    EXPECT_EQ(login->StatusKind(), STATUS_ERROR);
    EXPECT_EQ(login->CurrentPage(), PageId::Credentials) << "the page stays";
    EXPECT_FALSE(WasPosted(PLM_SHOW_ACTIVE_MEETINGS, 1));
    EXPECT_TRUE(Appliance().LastSession().clientCert.empty());
    EXPECT_EQ(Appliance().LastSession().clientCertRequired, 0);
    wintest::SaveScreenshot(login->Window(), L"ClientCertLogin", L"refused");
}

} // namespace
