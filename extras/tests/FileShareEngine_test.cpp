// The host's engine and a participant's receiver joined by an in-memory
// relay that routes like the appliance: "9527" to every other member, else
// to each listed id, never back to the sender.
#include "extras/FileShareEngine.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <random>
#include <set>

using namespace fileshare;

namespace {

struct MemoryFiles : FileStore {
    std::map<std::string, std::string> files;
    std::set<std::string> created;
    size_t failWritesAfter = SIZE_MAX;  // bytes a target takes before writes fail
    uint64_t fakeSize = 0;              // a source of this size (nothing readable)

    struct Source : SourceFile {
        std::string data;
        uint64_t size;
        uint64_t Size() const override { return size; }
        bool Read(uint64_t offset, uint8_t* buffer, size_t n, size_t& got) override
        {
            got = offset >= data.size() ? 0 : std::min<size_t>(n, data.size() - offset);
            std::copy(data.begin() + offset, data.begin() + offset + got, buffer);
            return true;
        }
    };
    struct Target : TargetFile {
        MemoryFiles& store;
        std::string path;
        Target(MemoryFiles& s, std::string p) : store(s), path(std::move(p)) {}
        bool WriteAt(uint64_t offset, const uint8_t* data, size_t n) override
        {
            std::string& f = store.files[path];
            if (offset + n > store.failWritesAfter)
                return false;
            if (f.size() < offset + n)
                f.resize(offset + n);
            std::copy(data, data + n, f.begin() + offset);
            return true;
        }
    };

    std::unique_ptr<SourceFile> OpenSource(const std::string& path) override
    {
        auto it = files.find(path);
        if (it == files.end())
            return nullptr;
        auto s = std::make_unique<Source>();
        s->data = it->second;
        s->size = fakeSize ? fakeSize : it->second.size();
        return s;
    }
    std::unique_ptr<TargetFile> CreateTarget(const std::string& path) override
    {
        files[path].clear();
        created.insert(path);
        return std::make_unique<Target>(*this, path);
    }
    bool Remove(const std::string& path) override { return files.erase(path) == 1; }
};

struct Relay;

struct Member : Link, HostEvents, ParticipantEvents, Clock {
    Relay& relay;
    std::string session;
    MemoryFiles disk;
    FileShareHost host{*this, disk, *this};
    FileShareReceiver receiver{*this, disk, *this, *this};
    std::vector<std::string> log, events;
    bool active = false;
    bool dropNextSend = false;
    bool doubleSends = false;  // every message arrives twice

    Member(Relay& r, std::string s) : relay(r), session(std::move(s)) {}

    bool Send(const Bytes& payload) override;
    std::string OwnSession() override { return session; }
    void Log(const std::string& line) override { log.push_back(line); }
    uint64_t NowMs() override { return 0; }
    void DownloadBegun(const std::string& user, const std::string& name) override
    {
        events.push_back("begun " + user + " " + name);
    }
    void DownloadDone(const std::string& user, const std::string& name) override
    {
        events.push_back("done " + user + " " + name);
    }
    void Refresh(int) override {}
    void TransfersActive(bool a) override { active = a; }
    void FileEvent(int, int) override {}
    void Announced(const std::string& name) override { events.push_back("announced " + name); }
    void WriteFailed(const std::string& name) override { events.push_back("write failed " + name); }

    void Deliver(const Bytes& b) { Dispatch(b.data(), b.size(), session, &host, &receiver); }
    const ReceivedView* File(int id)
    {
        static ReceivedView v;
        for (const auto& f : receiver.Files())
            if (f.id == id)
                return &(v = f);
        return nullptr;
    }
};

struct Relay {
    std::vector<Member*> members;
    std::deque<std::pair<Member*, Bytes>> queue;  // to, payload
    std::vector<std::pair<std::string, int>> sent;  // sender, command

    void Route(Member& from, const Bytes& b)
    {
        Parsed m;
        ASSERT_TRUE(Parse(b.data(), b.size(), from.session.size(), m));
        sent.push_back({from.session, m.command});
        for (Member* to : members)
            if (to != &from && m.Names(to->session))
                for (int i = 0; i < (from.doubleSends ? 2 : 1); ++i)
                    queue.push_back({to, b});
    }
    // Delivers until nothing is left (each delivery may send more).
    void Pump()
    {
        while (!queue.empty()) {
            auto next = queue.front();
            queue.pop_front();
            next.first->Deliver(next.second);
        }
    }
    // Delivers the next n messages at most.
    void Step(int n)
    {
        for (; n > 0 && !queue.empty(); --n) {
            auto next = queue.front();
            queue.pop_front();
            next.first->Deliver(next.second);
        }
    }
    std::vector<int> Commands(const std::string& from) const
    {
        std::vector<int> v;
        for (const auto& s : sent)
            if (s.first == from && s.second != kTransfersActive && s.second != kTransfersIdle)
                v.push_back(s.second);
        return v;
    }
};

bool Member::Send(const Bytes& payload)
{
    if (dropNextSend) {
        dropNextSend = false;
        return true;  // lost on the way
    }
    relay.Route(*this, payload);
    return true;
}

std::string RandomBytes(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(rng());
    return s;
}

class FileShareEngineTest : public ::testing::Test {
protected:
    Relay relay;
    Member owner{relay, "HOST0001"};
    Member guest{relay, "GUEST002"};
    Member other{relay, "OTHER003"};

    void SetUp() override { relay.members = {&owner, &guest, &other}; }

    int Offer(const std::string& path, const std::string& content, bool toAll = true,
              std::vector<std::string> users = {})
    {
        owner.disk.files[path] = content;
        int id = 0;
        EXPECT_EQ(owner.host.AddFile(path, id), FileShareHost::AddResult::Added);
        EXPECT_TRUE(owner.host.Publish(id, toAll, users));
        relay.Pump();
        return id;
    }
};

} // namespace

TEST_F(FileShareEngineTest, FilesOfEverySizeArriveIdentical)
{
    for (size_t size : {size_t(0), size_t(1), size_t(7167), size_t(7168), size_t(7169), size_t(1 << 20)}) {
        const std::string content = RandomBytes(size, static_cast<unsigned>(size));
        const std::string name = "f" + std::to_string(size) + ".bin";
        const int id = Offer("C:\\share\\" + name, content);
        ASSERT_NE(guest.File(id), nullptr);
        EXPECT_EQ(guest.File(id)->name, name);
        ASSERT_TRUE(guest.receiver.StartDownload(id, "D:\\in\\" + name));
        relay.Pump();
        ASSERT_EQ(guest.File(id)->state, kDownloaded) << size;
        EXPECT_EQ(guest.disk.files["D:\\in\\" + name], content) << size;
        EXPECT_EQ(guest.File(id)->percent, 100);
        owner.host.Round();
        EXPECT_EQ(owner.host.TransferCount(), 0u);
    }
    EXPECT_TRUE(other.disk.files.empty()) << "a download goes to its user only";
}

TEST_F(FileShareEngineTest, EmptyAndOneChunkFilesTakeTheShortestExchange)
{
    const int empty = Offer("C:\\e.txt", "");
    relay.sent.clear();
    guest.receiver.StartDownload(empty, "D:\\e.txt");
    relay.Pump();
    EXPECT_EQ(relay.Commands("HOST0001"), (std::vector<int>{kBegin, kComplete}));
    EXPECT_EQ(relay.Commands("GUEST002"), (std::vector<int>{kStartDownload, kAck}));
    EXPECT_EQ(guest.File(empty)->state, kDownloaded);

    const int one = Offer("C:\\o.bin", std::string(7168, 'z'));
    relay.sent.clear();
    guest.receiver.StartDownload(one, "D:\\o.bin");
    relay.Pump();
    EXPECT_EQ(relay.Commands("HOST0001"), (std::vector<int>{kBegin, kChunk, kComplete}));
    EXPECT_EQ(relay.Commands("GUEST002"), (std::vector<int>{kStartDownload, kAck, kAck}));
    EXPECT_EQ(owner.events.back(), "done GUEST002 o.bin");
}

TEST_F(FileShareEngineTest, ASecondStartForARunningDownloadIsIgnored)
{
    const int id = Offer("C:\\a.bin", RandomBytes(20000, 1));
    guest.receiver.StartDownload(id, "D:\\a.bin");
    // Only the start reaches the host; the reply waits in the queue.
    relay.queue.clear();
    guest.Send(TextMessage(Head{kStartDownload, {"HOST0001"}, "GUEST002", id}, 8));
    relay.Pump();
    EXPECT_EQ(owner.host.TransferCount(), 1u);
    int begins = 0;
    for (const auto& s : relay.sent)
        begins += s.second == kBegin;
    EXPECT_EQ(begins, 1);
}

TEST_F(FileShareEngineTest, TransfersActiveAtTheFirstRoundThenEvery6sAndIdleOnce)
{
    const int id = Offer("C:\\a.bin", RandomBytes(100000, 2));
    guest.receiver.StartDownload(id, "D:\\a.bin");
    relay.Step(1);
    relay.queue.clear();  // hold the download still: no acknowledgement comes
    auto count = [&](int command) {
        int n = 0;
        for (const auto& s : relay.sent)
            n += s.first == "HOST0001" && s.second == command;
        return n;
    };
    owner.host.Round();
    relay.Pump();
    EXPECT_EQ(count(kTransfersActive), 1);
    EXPECT_TRUE(guest.active) << "the active flag reaches the participant";
    for (int i = 1; i < 12; ++i) {
        owner.host.Round();
        relay.queue.clear();
    }
    EXPECT_EQ(count(kTransfersActive), 1);
    owner.host.Round();  // 6000 ms of rounds later
    EXPECT_EQ(count(kTransfersActive), 2);
    relay.queue.clear();
    guest.receiver.DropDownload(id);
    relay.Pump();
    owner.host.Round();
    owner.host.Round();
    relay.Pump();
    EXPECT_EQ(count(kTransfersIdle), 1);
    EXPECT_FALSE(owner.active);
    EXPECT_FALSE(guest.active);
}

// The wait for an acknowledgement ends after two rounds; the last chunk goes
// again, and a transfer that is not waiting is still stepped by the rounds.
TEST_F(FileShareEngineTest, ALostAcknowledgementIsRecoveredByTheRounds)
{
    const std::string content = RandomBytes(30000, 3);
    const int id = Offer("C:\\a.bin", content);
    guest.receiver.StartDownload(id, "D:\\a.bin");
    // Lose the acknowledgement of the second chunk.
    int acks = 0;
    while (!relay.queue.empty()) {
        auto next = relay.queue.front();
        relay.queue.pop_front();
        Parsed m;
        Parse(next.second.data(), next.second.size(), 8, m);
        if (m.command == kAck && ++acks == 3)
            continue;
        next.first->Deliver(next.second);
    }
    EXPECT_EQ(guest.File(id)->state, kDownloading);
    const size_t chunksBefore = std::count(relay.sent.begin(), relay.sent.end(), std::make_pair(std::string("HOST0001"), int(kChunk)));
    owner.host.Round();
    relay.Pump();
    EXPECT_EQ(guest.File(id)->state, kDownloading) << "one round is not yet the end of the wait";
    owner.host.Round();
    relay.Pump();
    const size_t chunksAfter = std::count(relay.sent.begin(), relay.sent.end(), std::make_pair(std::string("HOST0001"), int(kChunk)));
    EXPECT_GT(chunksAfter, chunksBefore);
    EXPECT_EQ(guest.File(id)->state, kDownloaded);
    EXPECT_EQ(guest.disk.files["D:\\a.bin"], content);
}

TEST_F(FileShareEngineTest, ACancelWhileWaitingOrNotEndsAborted)
{
    for (bool waiting : {true, false}) {
        SCOPED_TRACE(waiting ? "waiting" : "not waiting");
        const int id = Offer(waiting ? "C:\\w.bin" : "C:\\n.bin", RandomBytes(50000, 4));
        const std::string path = "D:\\x.bin";
        guest.receiver.StartDownload(id, path);
        // Start, begin, acknowledgement, first chunk; then hold the rest.
        relay.Step(4);
        relay.queue.clear();
        if (!waiting) {
            owner.host.Round();  // rounds 1 and 2: the wait runs out and the chunk goes again
            owner.host.Round();
            relay.queue.clear();
        }
        // The cancel reaches the host alone; the guest's own state stays.
        owner.Deliver(TextMessage(Head{kCancel, {"HOST0001"}, "GUEST002", id}, 8));
        relay.Pump();
        EXPECT_EQ(guest.File(id)->state, kNotDownloaded);
        EXPECT_EQ(guest.disk.files.count(path), 0u) << "the partial file is removed";
        owner.host.Round();
        EXPECT_EQ(owner.host.TransferCount(), 0u);
        EXPECT_EQ(relay.sent.back().second, kTransfersIdle);
    }
}

TEST(FileShareProgress, RecordsAreBoundedAndNeverDivideByZero)
{
    struct Case {
        bool aborted, finished;
        uint64_t last, size;
        int state, percent;
    } cases[] = {
        {true, false, 5000, 10000, 0, 0},   {true, true, 10000, 10000, 0, 0},
        {false, true, 0, 0, 2, 100},        {false, false, 0, 0, 1, 0},
        {false, false, 7168, 10000, 1, 71}, {false, false, 2147483647, 2147483647, 1, 100},
        {false, false, 9999, 10000, 1, 99},
    };
    for (const Case& c : cases) {
        UserState s = Progress(c.aborted, c.finished, c.last, c.size);
        EXPECT_EQ(s.state, c.state) << c.last << "/" << c.size;
        EXPECT_EQ(s.percent, c.percent) << c.last << "/" << c.size;
    }
}

TEST_F(FileShareEngineTest, AFileOfferedToOthersCannotBePulled)
{
    const int id = Offer("C:\\secret.txt", "for other only", false, {"OTHER003"});
    EXPECT_EQ(guest.File(id), nullptr);
    guest.Send(TextMessage(Head{kStartDownload, {"HOST0001"}, "GUEST002", id}, 8));
    relay.Pump();
    EXPECT_EQ(owner.host.TransferCount(), 0u);
    EXPECT_FALSE(owner.log.empty());
    // The list request gets only what is for the asker.
    relay.sent.clear();
    guest.receiver.RequestList("HOST0001");
    relay.Pump();
    EXPECT_EQ(guest.File(id), nullptr);
    other.receiver.RequestList("HOST0001");
    relay.Pump();
    EXPECT_NE(other.File(id), nullptr);
}

TEST_F(FileShareEngineTest, ChunksAreWrittenOnlyAtTheOffsetReceived)
{
    const std::string content = RandomBytes(3 * 7168, 5);
    const int id = Offer("C:\\a.bin", content);
    guest.receiver.StartDownload(id, "D:\\a.bin");
    relay.queue.clear();
    auto chunk = [&](uint64_t offset, const std::string& bytes) {
        guest.Deliver(Chunk("GUEST002", 8, id, offset, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    };
    guest.Deliver(TextMessage(Head{kBegin, {"GUEST002"}, "", id}, 8, NumberField(content.size())));
    chunk(0, content.substr(0, 7168));
    relay.queue.clear();
    relay.sent.clear();
    chunk(14336, content.substr(14336, 7168));  // past a gap
    EXPECT_EQ(guest.disk.files["D:\\a.bin"], content.substr(0, 7168)) << "nothing written past the gap";
    ASSERT_EQ(relay.queue.size(), 1u);
    Parsed ack;
    Parse(relay.queue.back().second.data(), relay.queue.back().second.size(), 8, ack);
    uint64_t asked = 0;
    ASSERT_TRUE(ack.command == kAck && ReadNumber(ack, asked));
    EXPECT_EQ(asked, 7168u) << "the missing bytes are asked for again";
    chunk(0, content.substr(0, 7168));  // a duplicate rewinds and rewrites in place
    chunk(7168, content.substr(7168, 7168));
    chunk(14336, content.substr(14336, 7168));
    guest.Deliver(TextMessage(Head{kComplete, {"GUEST002"}, "", id}, 8));
    EXPECT_EQ(guest.File(id)->state, kDownloaded);
    EXPECT_EQ(guest.disk.files["D:\\a.bin"], content);
}

// Begin and chunk messages name no sender: they count only for a download
// the user started, and never reopen a finished one.
TEST_F(FileShareEngineTest, MessagesForNoRunningDownloadCreateNothing)
{
    const int id = Offer("C:\\a.txt", "done already");
    guest.receiver.StartDownload(id, "D:\\a.txt");
    relay.Pump();
    ASSERT_EQ(guest.disk.files["D:\\a.txt"], "done already");
    const std::string evil = "overwritten";
    const Bytes crafted[] = {
        TextMessage(Head{kBegin, {"GUEST002"}, "", id}, 8, NumberField(11)),
        Chunk("GUEST002", 8, id, 0, reinterpret_cast<const uint8_t*>(evil.data()), evil.size()),
        TextMessage(Head{kBegin, {"GUEST002"}, "", 4321}, 8, NumberField(11)),
        Chunk("GUEST002", 8, 4321, 0, reinterpret_cast<const uint8_t*>(evil.data()), evil.size()),
        TextMessage(Head{kAborted, {"GUEST002"}, "", id}, 8),
        // Addressed to somebody else.
        TextMessage(Head{kWithdraw, {"OTHER003"}, "HOST0001", id}, 8),
    };
    const size_t createdBefore = guest.disk.created.size();
    for (const Bytes& b : crafted)
        guest.Deliver(b);
    EXPECT_EQ(guest.disk.created.size(), createdBefore);
    EXPECT_EQ(guest.disk.files["D:\\a.txt"], "done already");
    EXPECT_EQ(guest.File(id)->state, kDownloaded);
}

TEST_F(FileShareEngineTest, AShortWriteRemovesThePartialFileAndCancels)
{
    const int id = Offer("C:\\big.bin", RandomBytes(40000, 6));
    guest.disk.failWritesAfter = 10000;
    guest.receiver.StartDownload(id, "D:\\big.bin");
    relay.Pump();
    owner.host.Round();
    EXPECT_EQ(guest.File(id)->state, kNotDownloaded);
    EXPECT_EQ(guest.disk.files.count("D:\\big.bin"), 0u);
    EXPECT_EQ(guest.events.back(), "write failed big.bin");
    EXPECT_EQ(owner.host.TransferCount(), 0u) << "the host was told";
    for (const auto& e : owner.events)
        EXPECT_NE(e.rfind("done", 0), 0u) << "never counted as downloaded";
}

TEST_F(FileShareEngineTest, TheIdWidthFollowsTheCurrentSession)
{
    const int id = Offer("C:\\a.txt", "abc");
    // A new login with an id of another length on both sides.
    owner.session = "HOST-LONGER-ID";
    guest.session = "GUEST-LONGERID";
    other.session = "OTHER-LONGERID";
    guest.receiver.SyncHost("HOST0001");  // the old sharer is still the host here
    const int id2 = Offer("C:\\b.txt", "defgh");
    ASSERT_NE(guest.File(id2), nullptr);
    EXPECT_EQ(guest.File(id2)->sharer, "HOST-LONGER-ID");
    guest.receiver.StartDownload(id2, "D:\\b.txt");
    relay.Pump();
    EXPECT_EQ(guest.disk.files["D:\\b.txt"], "defgh");
    (void)id;
}

TEST_F(FileShareEngineTest, FilesOf2GiBOrMoreAreNeverOffered)
{
    owner.disk.files["C:\\huge.iso"] = "";
    owner.disk.fakeSize = 0x80000000ull;
    int id = 0;
    EXPECT_EQ(owner.host.AddFile("C:\\huge.iso", id), FileShareHost::AddResult::TooLarge);
    owner.disk.fakeSize = 0x7FFFFFFFull;
    EXPECT_EQ(owner.host.AddFile("C:\\huge.iso", id), FileShareHost::AddResult::Added);
    EXPECT_EQ(owner.host.AddFile("C:\\huge.iso", id), FileShareHost::AddResult::AlreadyShared);
    EXPECT_TRUE(relay.sent.empty());
}

TEST_F(FileShareEngineTest, CancelledSettingsGiveTheIdBackOnlyWhenNewest)
{
    owner.disk.files["C:\\1"] = owner.disk.files["C:\\2"] = owner.disk.files["C:\\3"] = "x";
    int a = 0, b = 0, c = 0;
    owner.host.AddFile("C:\\1", a);
    owner.host.CancelNew(a);
    owner.host.AddFile("C:\\1", b);
    EXPECT_EQ(b, a) << "the newest id comes back";
    owner.host.AddFile("C:\\2", c);
    owner.host.CancelNew(b);  // an older one: its id stays used
    int d = 0;
    owner.host.AddFile("C:\\3", d);
    EXPECT_EQ(d, c + 1);
    EXPECT_NE(d, c);
}

TEST_F(FileShareEngineTest, WithdrawAndStopSharingRemovePartialDownloads)
{
    const int a = Offer("C:\\a.bin", RandomBytes(50000, 7));
    const int b = Offer("C:\\b.bin", "small");
    guest.receiver.StartDownload(b, "D:\\b.bin");
    relay.Pump();
    guest.receiver.StartDownload(a, "D:\\a.bin");
    relay.Step(4);  // up to the first chunk written
    relay.queue.clear();
    ASSERT_EQ(guest.disk.files.count("D:\\a.bin"), 1u);
    owner.host.Remove(a);
    relay.Pump();
    EXPECT_EQ(guest.File(a), nullptr);
    EXPECT_EQ(guest.disk.files.count("D:\\a.bin"), 0u);
    owner.host.StopSharing();
    relay.Pump();
    EXPECT_TRUE(guest.receiver.Files().empty());
    EXPECT_EQ(guest.disk.files["D:\\b.bin"], "small") << "a finished download stays";
}

TEST_F(FileShareEngineTest, UsersWhoLeaveShowAwayAndComeBackNotDownloaded)
{
    const int id = Offer("C:\\a.txt", "x", false, {"GUEST002", "OTHER003"});
    owner.host.SyncParticipants({"HOST0001", "OTHER003"});
    auto user = [&](const std::string& u) { return owner.host.Files().at(0).users.at(u).state; };
    EXPECT_EQ(user("GUEST002"), kUserAway);
    EXPECT_EQ(user("OTHER003"), kNotDownloaded);
    owner.host.SyncParticipants({"HOST0001", "OTHER003", "GUEST002"});
    EXPECT_EQ(user("GUEST002"), kNotDownloaded);
    (void)id;
}

// Every message of both sides delivered twice: the file is whole, and the
// doubled acknowledgements do not double the chunks.
TEST_F(FileShareEngineTest, DoubledMessagesAreAnsweredOnce)
{
    const std::string content = RandomBytes(10 * 7168 + 5, 8);
    const int id = Offer("C:\\d.bin", content);
    owner.doubleSends = guest.doubleSends = true;
    relay.sent.clear();
    guest.receiver.StartDownload(id, "D:\\d.bin");
    relay.Pump();
    EXPECT_EQ(guest.File(id)->state, kDownloaded);
    EXPECT_EQ(guest.disk.files["D:\\d.bin"], content);
    const auto chunks = std::count(relay.sent.begin(), relay.sent.end(), std::make_pair(std::string("HOST0001"), int(kChunk)));
    EXPECT_EQ(chunks, 11);
}
