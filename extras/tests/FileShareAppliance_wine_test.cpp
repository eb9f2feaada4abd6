// File sharing between two meeting cores through the local appliance: each
// side a FileShare on its own TLS tunnel and file-share channel, the
// appliance routing type 29 by the recipients in the text. Real files on
// disk, compared byte for byte; the appliance's fault switches lose,
// duplicate and delay file-share packets. Run by tunnel_fixture.sh.
#include "core/control/MeetingLink_win.h"
#include "extras/FileShare.h"
#include "extras/tests/SeatedHandler_win.h"
#include "tools/TrustRoot_win.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

namespace {

std::string Env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}

void WriteFaults(const std::string& json)
{
    std::ofstream("Z:" + Env("CORVISK_TUNNEL_FAULTS"), std::ios::trunc) << json;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// One participant: its meeting link and its file sharing on that link.
class Member {
public:
    Member(const char* session, bool host)
    {
        config.endpoint.host = "localhost";
        config.endpoint.port = static_cast<uint16_t>(std::strtoul(Env("CORVISK_APPLIANCE_PORT").c_str(), nullptr, 10));
        config.endpoint.sessionId = session;
        config.endpoint.isHost = host;
        config.endpoint.isCoordinator = host;
        config.endpoint.timeoutMs = 15000;
        config.meetingId = "4343";
        config.displayNameUtf8 = std::string("Name ") + session;
        files = std::make_unique<FileShare>(std::make_unique<Context>(*this, session));
        files->SetRole(host ? 1 : 0);
    }
    ~Member()
    {
        files->Close();
        link.Close();
    }

    bool Open()
    {
        if (link.Open(config, handler, [](const std::string&) {}) != MeetingLink::kOk)
            return false;
        files->StartRecvThread();
        files->StartSendThread();
        return true;
    }

    class Context : public FileShareContext {
    public:
        Context(Member& m, std::string session) : m_member(m), m_session(std::move(session)) {}
        HINSTANCE Instance() override { return GetModuleHandleW(nullptr); }
        bool SendFileShare(const uint8_t* payload, size_t length) override
        {
            ControlPacket p(kControlPacketHeaderSize + length);
            ControlPacketHeader{PLP_FILE_SHARE, static_cast<uint16_t>(length)}.Encode(p.data());
            std::copy(payload, payload + length, p.begin() + kControlPacketHeaderSize);
            return m_member.link.Sender().Send(p);
        }
        std::string OwnSession() override { return m_session; }
        std::uintptr_t Channel() override { return m_member.link.Channels().ClientEnd(LocalChannel::FileShare); }
        std::vector<FileShareMember> Members() override { return {}; }
        void Balloon(const wchar_t*, const wchar_t*) override {}
        void SetHostTransfers(bool) override {}

    private:
        Member& m_member;
        std::string m_session;
    };

    MeetingLinkConfig config;
    MeetingLink link;
    SeatedHandler handler;
    std::unique_ptr<FileShare> files;
};

bool WaitUntil(const std::function<bool()>& done, int ms)
{
    for (auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
         std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(std::chrono::milliseconds(20)))
        if (done())
            return true;
    return done();
}

int StateOf(FileShare& f, int id)
{
    for (const auto& r : f.Receiver().Files())
        if (r.id == id)
            return r.state;
    return -1;
}

class FileShareApplianceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::ifstream in("Z:" + Env("CORVISK_TEST_CA_DER"), std::ios::binary);
        std::vector<char> der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_FALSE(der.empty()) << "no CA from the fixture";
        ASSERT_EQ(TrustRootCertificate(der.data(), der.size()), 0ul);
    }

    // Opens both sides and waits until the appliance has seated them.
    void Meet(Member& a, Member& b)
    {
        ASSERT_TRUE(a.Open()) << a.link.LastError();
        ASSERT_TRUE(b.Open()) << b.link.LastError();
        for (int i = 0; i < 50 && !(a.handler.seated && b.handler.seated); ++i) {
            a.link.Sender().SendText(PLP_CANVAS, "MEMA:ping");
            b.link.Sender().SendText(PLP_CANVAS, "MEMA:ping");
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ASSERT_TRUE(a.handler.seated && b.handler.seated);
    }

    std::string Folder()
    {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        std::string f = std::string(temp) + "fs_appliance\\";
        CreateDirectoryA(f.c_str(), nullptr);
        return f;
    }

    std::string MakeFile(const std::string& name, size_t size, unsigned seed)
    {
        std::mt19937 rng(seed);
        std::string data(size, '\0');
        for (char& c : data)
            c = static_cast<char>(rng());
        std::ofstream(Folder() + name, std::ios::binary) << data;
        return Folder() + name;
    }

    // Offers a file to everybody and downloads it at the guest.
    void Transfer(Member& host, Member& guest, const std::string& source, const std::string& target, int waitMs)
    {
        int id = 0;
        ASSERT_EQ(host.files->Host().AddFile(source, id), fileshare::FileShareHost::AddResult::Added);
        ASSERT_TRUE(host.files->Host().Publish(id, true, {}));
        ASSERT_TRUE(WaitUntil([&] { return StateOf(*guest.files, id) == fileshare::kNotDownloaded; }, 10000))
            << "the announcement did not arrive";
        ASSERT_TRUE(guest.files->Receiver().StartDownload(id, target));
        ASSERT_TRUE(WaitUntil([&] { return StateOf(*guest.files, id) == fileshare::kDownloaded; }, waitMs))
            << "the download did not finish";
        EXPECT_TRUE(ReadAll(target) == ReadAll(source)) << "not byte for byte";
        EXPECT_TRUE(WaitUntil([&] { return host.files->Host().TransferCount() == 0; }, 5000));
    }
};

} // namespace

TEST_F(FileShareApplianceTest, FilesArriveByteForByteThroughTheAppliance)
{
    WriteFaults("[]");
    // Session ids of one meeting have one length (W).
    Member host("fsHostAA", true), guest("fsGuestB", false);
    Meet(host, guest);
    for (size_t size : {size_t(0), size_t(7168), size_t(7169), size_t(300000)}) {
        SCOPED_TRACE(size);
        const std::string name = "plain" + std::to_string(size) + ".bin";
        Transfer(host, guest, MakeFile(name, size, static_cast<unsigned>(size)), Folder() + "got_" + name, 60000);
    }
}

// A lost acknowledgement (the guest's 4th file-share packet), a chunk
// delivered twice (the host's 5th) and a slow appliance: the rounds resend,
// the receiver writes only at the offset it has, and the file is whole.
TEST_F(FileShareApplianceTest, LostAndDoubledPacketsStillGiveTheSameFile)
{
    WriteFaults(R"([{"session": "fsGuestC", "fs_drop": [4]},
                    {"session": "fsHostCC", "fs_duplicate": [5, 6], "fs_delay": 0.01}])");
    Member host("fsHostCC", true), guest("fsGuestC", false);
    Meet(host, guest);
    Transfer(host, guest, MakeFile("faulty.bin", 50000, 9), Folder() + "got_faulty.bin", 60000);
}

namespace {

std::string Hex(const std::vector<uint8_t>& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

// A type-29 packet of this payload as the file-share channel carries it.
std::string Frame(const std::string& payload)
{
    std::vector<uint8_t> p{29, 0, static_cast<uint8_t>(payload.size() >> 8), static_cast<uint8_t>(payload.size())};
    p.insert(p.end(), payload.begin(), payload.end());
    return R"({"tag": 43741, "hex": ")" + Hex(p) + R"("})";
}

std::string Text(const fileshare::Bytes& b)
{
    return std::string(b.begin(), b.end());
}

bool ExistsBelow(const std::string& folder, const std::string& name)
{
    WIN32_FIND_DATAA d;
    HANDLE h = FindFirstFileA((folder + "*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bool found = false;
    do {
        std::string n = d.cFileName;
        if (n == "." || n == "..")
            continue;
        if (n == name || ((d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && ExistsBelow(folder + n + "\\", name)))
            found = true;
    } while (!found && FindNextFileA(h, &d));
    FindClose(h);
    return found;
}

} // namespace

// What a peer may send on purpose reaches the participant through the real
// tunnel before anything else: a name with path parts, a begin and chunks
// for a file it never asked for, a recipient count of 9999, a chunk count
// of 99999, a chunk longer than its payload and a negative size. All are
// dropped or cleaned; no file appears; the stream stays in step, and a real
// transfer follows.
TEST_F(FileShareApplianceTest, CraftedPacketsFromThePeerAreDroppedOrCleaned)
{
    const std::string host = "fsHostDD", guest = "fsGuestD";
    const std::string evil = "..\\..\\evil_fs.exe";
    std::vector<std::string> frames;
    frames.push_back(Frame(Text(fileshare::Announce({fileshare::kAnnounce, {}, host, 4001}, 8, 10, evil))));
    frames.push_back(Frame(Text(fileshare::TextMessage({fileshare::kBegin, {guest}, "", 4001}, 8, fileshare::NumberField(10)))));
    const std::string data = "0123456789";
    frames.push_back(Frame(Text(fileshare::Chunk(guest, 8, 4001, 0, reinterpret_cast<const uint8_t*>(data.data()), 10))));
    std::string head = fileshare::HeadText({fileshare::kChunk, {guest}, "", 4001}, 8);
    frames.push_back(Frame(head + std::string(24, '0') + "\r\n99999\r\n" + data));
    frames.push_back(Frame(head + std::string(24, '0') + "\r\n00100\r\n" + data));
    frames.push_back(Frame("0001\r\n9999\r\n1\r\n" + guest + "\r\n" + host + "\r\n4002\r\n"));
    frames.push_back(Frame(fileshare::HeadText({fileshare::kAnnounce, {}, host, 4003}, 8) + "-" + std::string(23, '1') +
                           "\r\nneg.txt\r\n"));
    std::string list;
    for (const std::string& f : frames)
        list += (list.empty() ? "" : ",") + f;
    WriteFaults(R"([{"session": ")" + guest + R"(", "send_frames": [)" + list + "]}]");

    Member h(host.c_str(), true), g(guest.c_str(), false);
    Meet(h, g);
    ASSERT_TRUE(WaitUntil([&] { return StateOf(*g.files, 4001) == fileshare::kNotDownloaded; }, 10000));
    std::vector<fileshare::ReceivedView> files = g.files->Receiver().Files();
    ASSERT_EQ(files.size(), 1u) << "only the good announcement is listed";
    EXPECT_EQ(files[0].name, "evil_fs.exe");
    EXPECT_EQ(files[0].received, 0u) << "nothing written for a download never started";
    char temp[MAX_PATH], cwd[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    GetCurrentDirectoryA(MAX_PATH, cwd);
    EXPECT_FALSE(ExistsBelow(temp, "evil_fs.exe"));
    EXPECT_FALSE(ExistsBelow(std::string(cwd) + "\\", "evil_fs.exe"));
    // The stream is still in step: a real file follows.
    Transfer(h, g, MakeFile("after.bin", 20000, 11), Folder() + "got_after.bin", 60000);
}
