// Only refusals are run here: an accepted host would open a browser.
#include "core/base/CaptchaPage.h"

#include <gtest/gtest.h>

TEST(OpenCaptchaPage, RefusedHostsOpenNothing)
{
    EXPECT_FALSE(OpenCaptchaPage(""));
    EXPECT_FALSE(OpenCaptchaPage("evil.example/x?"));
    EXPECT_FALSE(OpenCaptchaPage("calc.exe\" --x"));
}
