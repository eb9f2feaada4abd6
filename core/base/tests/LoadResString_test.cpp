#include "core/base/LoadResString.h"
#include "core/base/tests/res/test_strings.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <thread>
#include <vector>

namespace {

// The language module of these tests: a resource-only DLL beside the test
// program, loaded as data the way language packages are.
class LangModule {
public:
    LangModule()
    {
        wchar_t path[MAX_PATH];
        DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring dir(path, n);
        dir.resize(dir.find_last_of(L"\\/") + 1);
        m_module = LoadLibraryExW((dir + CORVISK_TEST_LANG_DLL).c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE);
    }
    ~LangModule()
    {
        if (m_module)
            FreeLibrary(m_module);
    }
    LangModule(const LangModule&) = delete;
    LangModule& operator=(const LangModule&) = delete;
    HMODULE get() const { return m_module; }

private:
    HMODULE m_module = nullptr;
};

// Sets the language module for one test and clears it again.
class WithLanguage {
public:
    explicit WithLanguage(HMODULE m) { g_hLangModule = m; }
    ~WithLanguage() { g_hLangModule = nullptr; }
    WithLanguage(const WithLanguage&) = delete;
    WithLanguage& operator=(const WithLanguage&) = delete;
};

std::wstring Expected600()
{
    std::wstring s;
    for (int i = 0; i < 600; ++i)
        s += static_cast<wchar_t>(L'A' + i % 26);
    return s;
}

} // namespace

TEST(LoadResString, ProgramTextsWithoutLanguageModule)
{
    ResStringSlot slot{nullptr};
    EXPECT_STREQ(LoadResString(slot, IDS_TEST_BOTH), L"program text");

    ResStringSlot missing{nullptr};
    const wchar_t* empty = LoadResString(missing, IDS_TEST_NOWHERE);
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(empty, L"");
}

TEST(LoadResString, LongTextIsCutAt511)
{
    ResStringSlot slot{nullptr};
    const wchar_t* text = LoadResString(slot, IDS_TEST_LONG);
    EXPECT_EQ(std::wstring(text), Expected600().substr(0, 511));
}

TEST(LoadResString, LanguageModuleFirstThenProgram)
{
    LangModule lang;
    ASSERT_NE(lang.get(), nullptr);
    WithLanguage use(lang.get());

    const struct {
        UINT id;
        const wchar_t* text;
    } cases[] = {
        {IDS_TEST_BOTH, L"Sprachtext"},
        {IDS_TEST_PROGRAM, L"only in the program"},
        {IDS_TEST_EMPTY_LANG, L"program fills the gap"},
        {IDS_TEST_NOWHERE, L""},
        {IDS_TEST_FORMAT_SAME, L"%s beigetreten, %d%%"},
        // Its conversions differ from the program's: the program's text.
        {IDS_TEST_FORMAT_OTHER, L"%s left"},
    };
    for (const auto& c : cases) {
        ResStringSlot slot{nullptr};
        EXPECT_STREQ(LoadResString(slot, c.id), c.text) << c.id;
    }
}

TEST(LoadResString, SlotKeepsItsFirstText)
{
    LangModule lang;
    ASSERT_NE(lang.get(), nullptr);
    ResStringSlot slot{nullptr};
    const wchar_t* first = LoadResString(slot, IDS_TEST_BOTH);
    EXPECT_STREQ(first, L"program text");

    // A language module loaded later does not change a text already shown.
    WithLanguage use(lang.get());
    EXPECT_EQ(LoadResString(slot, IDS_TEST_BOTH), first);
    EXPECT_STREQ(first, L"program text");
}

// Threads load different ids through their own slots at the same time; each
// slot must end with its own id's text, and threads sharing a slot must all
// get the one pointer that stays in it.
TEST(LoadResString, ConcurrentFirstLoads)
{
    constexpr int kIds = 64;
    constexpr int kThreads = 8;
    for (int round = 0; round < 20; ++round) {
        std::vector<ResStringSlot> slots(kIds);
        for (auto& s : slots)
            s = nullptr;
        std::vector<std::vector<const wchar_t*>> got(kThreads,
                                                     std::vector<const wchar_t*>(kIds));
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([t, &slots, &got] {
                for (int k = 0; k < kIds; ++k) {
                    int i = (k * 7 + t * 13) % kIds;
                    got[t][i] = LoadResString(slots[i], IDS_TEST_THREADS + i);
                }
            });
        }
        for (auto& th : threads)
            th.join();
        for (int i = 0; i < kIds; ++i) {
            std::wstring want = L"thread text " + std::to_wstring(IDS_TEST_THREADS + i);
            ASSERT_STREQ(slots[i].load(), want.c_str());
            for (int t = 0; t < kThreads; ++t)
                ASSERT_EQ(got[t][i], slots[i].load()) << "thread " << t << " id " << i;
        }
    }
}
