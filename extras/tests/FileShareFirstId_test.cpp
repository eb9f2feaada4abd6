// Its own program: the first file offered in a process.
#include "extras/FileShareEngine.h"

#include <gtest/gtest.h>

using namespace fileshare;

namespace {
struct Quiet : Link, FileStore, HostEvents {
    struct Source : SourceFile {
        uint64_t Size() const override { return 1; }
        bool Read(uint64_t, uint8_t*, size_t, size_t& got) override { return (got = 0), true; }
    };
    bool Send(const Bytes&) override { return true; }
    std::string OwnSession() override { return "HOST0001"; }
    void Log(const std::string&) override {}
    std::unique_ptr<SourceFile> OpenSource(const std::string&) override { return std::make_unique<Source>(); }
    std::unique_ptr<TargetFile> CreateTarget(const std::string&) override { return nullptr; }
    bool Remove(const std::string&) override { return false; }
    void DownloadBegun(const std::string&, const std::string&) override {}
    void DownloadDone(const std::string&, const std::string&) override {}
    void Refresh(int) override {}
    void TransfersActive(bool) override {}
};
} // namespace

TEST(FileShareFirstId, TheFirstFileOfAProcessIs2012)
{
    Quiet q;
    FileShareHost host(q, q, q);
    int id = 0;
    ASSERT_EQ(host.AddFile("C:\\a.txt", id), FileShareHost::AddResult::Added);
    EXPECT_EQ(id, 2012);
    int second = 0;
    host.AddFile("C:\\b.txt", second);
    EXPECT_EQ(second, 2013);
}
