// The client certificates offered after the appliance asks for one are the
// desktop shell user's: the search impersonates that user on the calling
// thread and gives the thread its own identity back before it returns. The
// certificate chosen from that list is then taken from the same store.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "appliance/https/CHttpsClient_win.h"
#include "appliance/https/CertificateInfo_win.h"
#include "appliance/https/tests/Peers_win.h"
#include "appliance/https/tests/TestLog_win.h"
#include "core/base/ProcessList.h"

namespace {

const char kNoShellLine[] = "WARN\tNo desktop shell to impersonate; opening this process user's certificates.";

bool ThreadImpersonates() {
    HANDLE token = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) return false;
    CloseHandle(token);
    return true;
}

size_t ShellCount() {
    size_t n = 0;
    CProcessList list;
    list.Enumerate([&](DWORD, WORD, const char* path) {
        n += CProcessList::ImageNameMatches(path, "explorer.exe");
        return true;
    });
    return n;
}

// A copy of core's idle program running as "explorer.exe".
class FakeShell {
public:
    FakeShell() {
        std::string idle = CORVISK_TEST_IDLE_EXE;
        if (idle.rfind('/', 0) == 0) idle = "Z:" + idle;
        std::replace(idle.begin(), idle.end(), '/', '\\');
        m_dir = TestPeers()["work_dir"] + "\\shell-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(m_dir.c_str(), nullptr);
        m_exe = m_dir + "\\explorer.exe";
        if (!CopyFileA(idle.c_str(), m_exe.c_str(), FALSE)) return;
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        std::string cmd = "\"" + m_exe + "\"";
        if (CreateProcessA(m_exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            CloseHandle(pi.hThread);
            m_process = pi.hProcess;
        }
    }
    ~FakeShell() {
        if (m_process) {
            TerminateProcess(m_process, 0);
            WaitForSingleObject(m_process, 5000);
            CloseHandle(m_process);
        }
        DeleteFileA(m_exe.c_str());
        RemoveDirectoryA(m_dir.c_str());
    }
    FakeShell(const FakeShell&) = delete;
    FakeShell& operator=(const FakeShell&) = delete;
    bool Running() const { return m_process != nullptr; }

private:
    std::string m_dir, m_exe;
    HANDLE m_process = nullptr;
};

// The run's CA certificate in the user's personal store, for the test's life.
// Each change is made on a store of its own: Wine writes it when the store is
// closed.
class PersonalCertificate {
public:
    PersonalCertificate() {
        const std::string der = ReadWholeFile(TestPeers()["ca_der"]);
        CertStore store(OpenMy());
        PCCERT_CONTEXT added = nullptr;
        if (store.get() &&
            CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                             static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, &added)) {
            CertContext cert(added);
            m_thumbprint = Sha1Thumbprint(cert.get());
        }
    }
    ~PersonalCertificate() {
        CertStore store(OpenMy());
        std::vector<BYTE> hash;
        for (size_t i = 0; i + 1 < m_thumbprint.size(); i += 2)
            hash.push_back(static_cast<BYTE>(std::stoul(m_thumbprint.substr(i, 2), nullptr, 16)));
        CRYPT_HASH_BLOB blob{static_cast<DWORD>(hash.size()), hash.data()};
        PCCERT_CONTEXT c = store.get() ? CertFindCertificateInStore(store.get(), X509_ASN_ENCODING, 0,
                                                                    CERT_FIND_SHA1_HASH, &blob, nullptr)
                                       : nullptr;
        if (c) CertDeleteCertificateFromStore(c);  // frees the context
    }
    PersonalCertificate(const PersonalCertificate&) = delete;
    PersonalCertificate& operator=(const PersonalCertificate&) = delete;
    const std::string& Thumbprint() const { return m_thumbprint; }

private:
    static HCERTSTORE OpenMy() {
        return CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY");
    }
    std::string m_thumbprint;
};

bool Listed(const std::vector<ClientCertEntry>& list, const std::string& thumbprint) {
    for (const ClientCertEntry& e : list)
        if (e.thumbprint == thumbprint) return e.subject == "Corvisk Test CA" && e.issuer == "Corvisk Test CA";
    return false;
}

}  // namespace

TEST(ClientCertificates, SearchedAsTheShellUserAndReverted) {
    PersonalCertificate mine;
    ASSERT_EQ(mine.Thumbprint().size(), 40u);
    TestLogFile log;
    FakeShell shell;
    ASSERT_TRUE(shell.Running());
    for (int i = 0; i < 100 && ShellCount() == 0; ++i) Sleep(50);
    ASSERT_GT(ShellCount(), 0u);

    CHttpsClient client;
    std::vector<ClientCertEntry> list{{"stale", "stale", std::string(40, '0')}};
    EXPECT_TRUE(client.SelectClientCertificate(list));
    EXPECT_TRUE(Listed(list, mine.Thumbprint()));
    EXPECT_FALSE(Listed(list, std::string(40, '0')));
    EXPECT_FALSE(ThreadImpersonates());

    CertContext chosen(FindUserCertificate(mine.Thumbprint()));
    ASSERT_NE(chosen.get(), nullptr);
    EXPECT_EQ(Sha1Thumbprint(chosen.get()), mine.Thumbprint());
    EXPECT_FALSE(ThreadImpersonates());
    EXPECT_TRUE(log.Lines().empty());
}

// Without a shell (Wine runs its own only while some program has a window)
// the search goes on as this process's user, and says so.
TEST(ClientCertificates, WithoutAShellTheProcessUsersStore) {
    if (ShellCount() != 0) GTEST_SKIP() << "a desktop shell runs in this prefix";
    PersonalCertificate mine;
    TestLogFile log;
    CHttpsClient client;
    std::vector<ClientCertEntry> list;
    EXPECT_TRUE(client.SelectClientCertificate(list));
    EXPECT_TRUE(Listed(list, mine.Thumbprint()));
    EXPECT_FALSE(ThreadImpersonates());
    EXPECT_EQ(log.Lines(), std::vector<std::string>{kNoShellLine});

    // Regression: the chosen certificate was looked up in the process user's
    // store whatever store the list came from; now both go the same way.
    CertContext chosen(FindUserCertificate(mine.Thumbprint()));
    ASSERT_NE(chosen.get(), nullptr);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{kNoShellLine, kNoShellLine}));
}

TEST(ClientCertificates, LookupTakesOnlyAWholeThumbprint) {
    PersonalCertificate mine;
    ASSERT_EQ(mine.Thumbprint().size(), 40u);
    std::string upper = mine.Thumbprint();
    for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    CertContext found(FindUserCertificate(upper));
    ASSERT_NE(found.get(), nullptr);
    EXPECT_EQ(Sha1Thumbprint(found.get()), mine.Thumbprint());
    // Anything but 40 hex digits names no certificate.
    for (const std::string& bad : {std::string(), mine.Thumbprint().substr(1), " " + mine.Thumbprint().substr(1),
                                   mine.Thumbprint() + "0"}) {
        CertContext none(FindUserCertificate(bad));
        EXPECT_EQ(none.get(), nullptr) << bad;
    }
}
