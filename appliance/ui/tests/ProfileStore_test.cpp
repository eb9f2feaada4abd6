// Connection profiles against the in-memory backend: the stored values, the
// order and cursor, refusals, removal, and what a login and a trust leave.
#include "appliance/ui/ProfileStore.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

namespace {

class ProfileStoreTest : public ::testing::Test {
protected:
    ProfileStoreTest()
    {
        auto b = std::make_unique<MemoryProfileBackend>();
        backend = b.get();
        store = std::make_unique<ProfileStore>(std::move(b));
    }
    static ConnectionProfile Profile(const char* name, const char* server, const wchar_t* user = L"")
    {
        ConnectionProfile p;
        p.name = name;
        p.server = server;
        p.user = user;
        return p;
    }
    std::map<std::string, std::string>& Values(const std::string& name) { return backend->values[name]; }

    MemoryProfileBackend* backend;
    std::unique_ptr<ProfileStore> store;
};

TEST_F(ProfileStoreTest, ValuesAreWrittenAsStoredAndEmptyOnesDeleted)
{
    ConnectionProfile p = Profile("A1", "host:443", L"J\u00FCrgen \u65E5\u672C");  // non-ASCII user
    p.certname = "CN=client";
    p.servertrusted = true;
    p.certthumbprint = "00112233445566778899aabbccddeeff00112233";
    ASSERT_TRUE(store->Insert(p, true));
    EXPECT_EQ(Values("A1")["server"], "host:443");
    EXPECT_EQ(Values("A1")["user"], "J\xC3\xBCrgen \xE6\x97\xA5\xE6\x9C\xAC") << "UTF-8, no terminator";
    EXPECT_EQ(Values("A1")["certname"], "CN=client");
    EXPECT_EQ(Values("A1")["servertrusted"], "1");

    // Emptied and untrusted: the values go, other values of the subkey stay.
    Values("A1")["somethingelse"] = "kept";
    p.user.clear();
    p.certname.clear();
    p.servertrusted = false;
    p.certthumbprint.clear();
    ASSERT_TRUE(store->Put(p));
    EXPECT_EQ(Values("A1").count("user"), 0u);
    EXPECT_EQ(Values("A1").count("certname"), 0u);
    EXPECT_EQ(Values("A1").count("servertrusted"), 0u);
    EXPECT_EQ(Values("A1")["somethingelse"], "kept");

    // A fresh store reads it back, the non-ASCII user included.
    p.user = L"J\u00FCrgen \u65E5\u672C";
    ASSERT_TRUE(store->Put(p));
    auto again = std::make_unique<ProfileStore>(std::make_unique<MemoryProfileBackend>(*backend));
    ConnectionProfile read;
    ASSERT_TRUE(again->Find("a1", read)) << "names are found in any case";
    EXPECT_EQ(read.user, p.user);
    EXPECT_EQ(read.server, "host:443");
}

TEST_F(ProfileStoreTest, NamesDifferingOnlyInCaseAreRefused)
{
    ASSERT_TRUE(store->Insert(Profile("abc", "one:443"), true));
    EXPECT_FALSE(store->Insert(Profile("ABC", "two:443"), true));
    EXPECT_FALSE(store->Insert(Profile("", "three:443"), true));
    EXPECT_EQ(store->All().size(), 1u);
}

TEST_F(ProfileStoreTest, FirstAndNextWalkInNameOrderAndStayAtTheEnd)
{
    ConnectionProfile p;
    EXPECT_FALSE(store->First(p));
    EXPECT_FALSE(store->Next(p));
    store->Insert(Profile("B", "b:443"), true);
    store->Insert(Profile("A", "a:443"), true);
    std::vector<std::string> servers;
    for (bool ok = store->First(p); ok; ok = store->Next(p))
        servers.push_back(p.server);
    EXPECT_EQ(servers, (std::vector<std::string>{"a:443", "b:443"}));
    EXPECT_FALSE(store->Next(p));
    EXPECT_FALSE(store->Next(p)) << "after the last it stays at the end";
}

TEST_F(ProfileStoreTest, DefaultFindAndRemove)
{
    store->Insert(Profile("A", "a:443"), true);
    store->Insert(Profile("B", "b:443"), true);
    EXPECT_FALSE(store->SetDefault("Z"));
    ASSERT_TRUE(store->SetDefault("b"));
    EXPECT_EQ(store->GetDefaultName(), "B");
    EXPECT_EQ(backend->defaultName, "B");
    ConnectionProfile p;
    ASSERT_TRUE(store->FindByServer("a:443", p));
    EXPECT_EQ(p.name, "A");
    EXPECT_FALSE(store->FindByServer("a:4430", p));

    Values("A")["unknown"] = "x";
    ASSERT_TRUE(store->Remove("a"));
    EXPECT_EQ(backend->values.count("A"), 0u) << "the subkey goes with unknown values";
    EXPECT_FALSE(store->Find("A", p));
    ASSERT_TRUE(store->RemoveAll());
    EXPECT_TRUE(backend->values.empty());
    EXPECT_FALSE(backend->hasDefault) << "RemoveAll also removes the default name";
    EXPECT_TRUE(store->All().empty());
}

TEST_F(ProfileStoreTest, ALoginKeepsOneProfilePerServerWithItsTrust)
{
    const uint64_t t1 = 0x01DB4A2B00C0FFEEull;
    ASSERT_TRUE(store->Remember("localhost:4433", L"alice", t1));
    ASSERT_EQ(store->All().size(), 1u);
    const ConnectionProfile first = store->All()[0];
    EXPECT_EQ(first.name, "1DB4A2BC0FFEE");
    EXPECT_EQ(store->GetDefaultName(), first.name);
    EXPECT_EQ(first.user, L"alice");

    ASSERT_TRUE(store->Trust("localhost:4433", "CN=localhost", "AABBCCDDEEFF00112233445566778899AABBCCDD", t1 + 5));
    ASSERT_TRUE(store->Remember("localhost:4433", L"bob", t1 + 10));
    ASSERT_EQ(store->All().size(), 1u) << "the same server keeps one profile";
    const ConnectionProfile p = store->All()[0];
    EXPECT_EQ(p.user, L"bob");
    EXPECT_TRUE(p.servertrusted);
    EXPECT_EQ(p.certthumbprint, "aabbccddeeff00112233445566778899aabbccdd");
    EXPECT_TRUE(p.TrustsCertificate("AABBCCDDEEFF00112233445566778899AABBCCDD"));
    EXPECT_FALSE(p.TrustsCertificate("0000000000000000000000000000000000000000"));

    // A bracketed IPv6 server is a server of its own.
    ASSERT_TRUE(store->Remember("[2001:db8::1]:444", L"carol", t1 + 20));
    EXPECT_EQ(store->All().size(), 2u);
}

TEST_F(ProfileStoreTest, TrustWithoutAThumbprintTrustsNothing)
{
    ConnectionProfile p = Profile("A", "a:443");
    p.servertrusted = true;  // as an older program wrote it
    EXPECT_FALSE(p.TrustsCertificate("aabbccddeeff00112233445566778899aabbccdd"));
    EXPECT_FALSE(p.TrustsCertificate(""));
}

TEST_F(ProfileStoreTest, ThreadsUsingTheStoreAtOnce)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                store->Remember("server" + std::to_string(i % 7) + ":443", L"user", 1000u * t + i);
                ConnectionProfile p;
                for (bool ok = store->First(p); ok; ok = store->Next(p)) {
                }
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(store->All().size(), 7u);
}

} // namespace
