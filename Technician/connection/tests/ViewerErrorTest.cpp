// The viewer's exceptions: each kind caught through its bases, its own copy
// of the text (a copy outlives the original and the caller's buffer), and
// what each reports. The message boxes themselves are checked under Wine
// (ViewerErrorReportTest_win.cpp).
#include "Technician/connection/ViewerError.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace viewer {
namespace {

template <class E>
void ThrowAndCatch(const char* text, const char* className)
{
    try {
        throw E(text);
    } catch (const rdr::Exception& e) {
        EXPECT_EQ(std::string(e.str()), std::string(className) + ": " + text) << className;
        const auto* own = dynamic_cast<const Exception*>(&e);
        ASSERT_NE(own, nullptr) << className;
        EXPECT_STREQ(own->message(), text) << className;
    }
}

TEST(ViewerError, EachKindIsCaughtThroughItsBases)
{
    ThrowAndCatch<QuietException>("Send timed out", "Quiet");
    ThrowAndCatch<WarningException>("The presenter's colour map is not supported.", "Warning");
    ThrowAndCatch<ErrorException>("out of memory", "Error");
}

TEST(ViewerError, ACopyKeepsItsOwnTextAfterTheOriginalAndTheBufferAreGone)
{
    std::unique_ptr<Exception> copy;
    {
        char text[] = "the first text";
        try {
            throw WarningException(text);
        } catch (const WarningException& e) {
            copy.reset(new WarningException(e));
        }
        text[0] = 'X';
    }
    EXPECT_STREQ(copy->message(), "the first text");
    EXPECT_STREQ(copy->str(), "Warning: the first text");
}

TEST(ViewerError, TextsAreBoundedAndANullTextIsEmpty)
{
    const std::string longText(1000, 'a');
    ErrorException e(longText.c_str());
    EXPECT_EQ(std::string(e.message()), longText.substr(0, 255));
    QuietException none(nullptr);
    EXPECT_STREQ(none.message(), "");
    EXPECT_STREQ(none.str(), "Quiet");
}

#ifndef _WIN32
// Without a desktop the report goes to the standard error stream; the quiet
// one says nothing.
TEST(ViewerError, ReportsOnTheStandardErrorStream)
{
    const struct {
        std::unique_ptr<Exception> e;
        const char* want;
    } cases[] = {
        {std::make_unique<QuietException>("socket closed"), ""},
        {std::make_unique<WarningException>("unknown message"), "Info (warning): unknown message\n"},
        {std::make_unique<ErrorException>("no memory"), "Info (error): no memory\n"},
    };
    for (const auto& c : cases) {
        ::testing::internal::CaptureStderr();
        c.e->Report();
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.want) << c.e->str();
    }
}
#endif

} // namespace
} // namespace viewer
