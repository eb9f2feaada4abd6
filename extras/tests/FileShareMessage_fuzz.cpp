// What a peer sends to FileShare's message handler: both sides of the
// engine, one download under way, the payload as given.
#include "extras/FileShareEngine.h"

#include <cstddef>
#include <cstdint>

using namespace fileshare;

namespace {

struct Sink : Link, FileStore, Clock, HostEvents, ParticipantEvents {
    struct Source : SourceFile {
        uint64_t Size() const override { return 20000; }
        bool Read(uint64_t, uint8_t* b, size_t n, size_t& got) override
        {
            for (size_t i = 0; i < n; ++i)
                b[i] = static_cast<uint8_t>(i);
            got = n;
            return true;
        }
    };
    struct Target : TargetFile {
        bool WriteAt(uint64_t offset, const uint8_t*, size_t n) override { return offset + n <= 20000; }
    };
    bool Send(const Bytes&) override { return true; }
    std::string OwnSession() override { return "GUEST002"; }
    void Log(const std::string&) override {}
    std::unique_ptr<SourceFile> OpenSource(const std::string&) override { return std::make_unique<Source>(); }
    std::unique_ptr<TargetFile> CreateTarget(const std::string&) override { return std::make_unique<Target>(); }
    bool Remove(const std::string&) override { return true; }
    uint64_t NowMs() override { return 0; }
    void DownloadBegun(const std::string&, const std::string&) override {}
    void DownloadDone(const std::string&, const std::string&) override {}
    void Refresh(int) override {}
    void TransfersActive(bool) override {}
    void FileEvent(int, int) override {}
    void Announced(const std::string&) override {}
    void WriteFailed(const std::string&) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Sink s;
    FileShareHost host(s, s, s);
    FileShareReceiver receiver(s, s, s, s);
    int id = 0;
    host.AddFile("C:\\a.bin", id);
    host.Publish(id, true, {});
    // A file 2012 announced by HOST0001 and being downloaded.
    Head h{kAnnounce, {}, "HOST0001", 2012};
    const Bytes announce = Announce(h, 8, 20000, "a.bin");
    Dispatch(announce.data(), announce.size(), "GUEST002", &host, &receiver);
    receiver.StartDownload(2012, "D:\\a.bin");
    const Bytes begin = TextMessage(Head{kBegin, {"GUEST002"}, "", 2012}, 8, NumberField(20000));
    Dispatch(begin.data(), begin.size(), "GUEST002", &host, &receiver);

    Dispatch(data, size, "GUEST002", &host, &receiver);
    host.Round();
    return 0;
}
