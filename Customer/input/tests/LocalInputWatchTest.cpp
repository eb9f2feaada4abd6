// The local input watch's counting, fed with scripts of events: one letter
// per event, and the number of take-back commands the script posts.
#include "Customer/input/LocalInputWatch.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr uint8_t kX = 0x58, kB = 0x42, kNumpad1 = 0x61, kNumpad2 = 0x62, kLControl = 0xA2, kLMenu = 0xA4;

//  k  a real key press (down, up)      K  the same injected by the program
//  C  real Ctrl+Alt+B (downs, ups)     I  the same injected
//  P  real Ctrl+Alt+keypad 2           A  injected Alt plus keypad 1 6 0
//  m  a real mouse move                M  an injected move
//  u  a real button release            t  a watch timer tick (250 ms)
int Posts(const std::string& script)
{
    LocalInputWatch w;
    int posts = 0;
    auto key = [&](uint8_t vk, bool down, bool injected) { posts += w.OnKey(vk, down, injected) ? 1 : 0; };
    auto chord = [&](uint8_t last, bool injected) {
        key(kLControl, true, injected);
        key(kLMenu, true, injected);
        key(last, true, injected);
        key(last, false, injected);
        key(kLMenu, false, injected);
        key(kLControl, false, injected);
    };
    for (char c : script) {
        switch (c) {
        case 'k':
        case 'K':
            key(kX, true, c == 'K');
            key(kX, false, c == 'K');
            break;
        case 'C':
            chord(kB, false);
            break;
        case 'I':
            chord(kB, true);
            break;
        case 'P':
            chord(kNumpad2, false);
            break;
        case 'A':
            key(kLMenu, true, true);
            for (uint8_t d : {uint8_t(1), uint8_t(6), uint8_t(0)}) {
                key(static_cast<uint8_t>(kNumpad1 - 1 + d), true, true);
                key(static_cast<uint8_t>(kNumpad1 - 1 + d), false, true);
            }
            key(kLMenu, false, true);
            break;
        case 'm':
        case 'M':
            posts += w.OnMouse(LocalInputWatch::Mouse::Counted, c == 'M') ? 1 : 0;
            break;
        case 'u':
            posts += w.OnMouse(LocalInputWatch::Mouse::Other, false) ? 1 : 0;
            break;
        case 't':
            w.OnTick();
            break;
        default:
            ADD_FAILURE() << "bad script letter " << c;
        }
    }
    return posts;
}

} // namespace

TEST(LocalInputWatch, Scripts)
{
    struct Case {
        const char* name;
        std::string script;
        int posts;
    };
    const Case cases[] = {
        {"six key presses in a run post once", "kkkkkk", 1},
        {"five do not", "kkkkk", 0},
        {"the twelfth posts again", "kkkkkkkkkkkk", 2},
        {"five, a pause of 1.5 s, one more", "kkkkk" "tttttt" "k", 0},
        {"five, a pause of 1 s, one more", "kkkkk" "tttt" "k", 1},
        {"Ctrl+Alt+B at once", "C", 1},
        {"Ctrl+Alt+keypad 2 at once", "P", 1},
        {"injected keys never count", "KKKKKKKKKKKK", 0},
        {"injected Ctrl+Alt+B never posts", "III", 0},
        {"injected Alt and digits never count", "AAAA" "kk", 0},
        {"moves count only once armed by a tick", "mmmmmmmmmm", 0},
        {"one move per tick, the sixth tick posts", "tm" "tm" "tm" "tm" "tm" "tmmmm", 1},
        {"many moves in five ticks are five", "tmmm" "tmmm" "tmmm" "tmmm" "tmmm", 0},
        {"a 1250 ms gap ends the mouse run", "tmtmtmtmtm" "ttttt" "tm", 0},
        {"a shorter gap does not", "tmtmtmtmtm" "ttt" "tm", 1},
        {"a release spends the tick but counts nothing", "tu" "tm" "tm" "tm" "tm" "tm", 0},
        // Regression: the viewer's injected moves cleared the tick count, so
        // the presenter's occasional keys added up and took control back.
        {"injected moves do not keep a run alive", "kkkkk" "tMtMtMtMtMtM" "k", 0},
        {"injected moves do not spend the tick", "tM" "m" "tm" "tm" "tm" "tm" "tm", 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Posts(c.script), c.posts) << c.name;
}
