#include "core/base/LoadResString.h"

#include "core/base/DHLog.h"
#include "core/base/FormatConversions.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <cwchar>

std::atomic<HMODULE> g_hLangModule{nullptr};

namespace {

constexpr int kLoadChars = 512;

int LoadInto(HMODULE module, UINT id, wchar_t* buf)
{
    buf[0] = L'\0';
    if (LoadStringW(module, id, buf, kLoadChars) <= 0)
        buf[0] = L'\0';
    return static_cast<int>(wcsnlen(buf, kLoadChars - 1));
}

} // namespace

const wchar_t* LoadResString(ResStringSlot& slot, UINT id)
{
    if (const wchar_t* cached = slot.load(std::memory_order_acquire))
        return cached;

    // Per thread, so two threads loading different ids never see each
    // other's text.
    thread_local wchar_t buf[kLoadChars];
    HMODULE lang = g_hLangModule.load(std::memory_order_acquire);
    int count = LoadInto(lang, id, buf);
    if (count == 0 && lang != nullptr) {
        count = LoadInto(nullptr, id, buf);
    } else if (lang != nullptr) {
        // Texts are used as formats: a translation whose conversions differ
        // from the program's own would read arguments that are not there.
        thread_local wchar_t own[kLoadChars];
        if (LoadInto(nullptr, id, own) > 0 && !SameConversions(buf, own)) {
            DHLog::Instance().Print(0x04, 2, false,
                                    "The language package's text %u does not match the program's; "
                                    "the program's own text is used.\n",
                                    id);
            count = static_cast<int>(wcsnlen(own, kLoadChars - 1));
            wmemcpy(buf, own, count + 1);
        }
    }

    auto* text = static_cast<wchar_t*>(std::malloc((count + 1) * sizeof(wchar_t)));
    if (text == nullptr)
        return L"";  // not cached: the next call tries again
    wmemcpy(text, buf, count);
    text[count] = L'\0';

    const wchar_t* expected = nullptr;
    if (!slot.compare_exchange_strong(expected, text, std::memory_order_acq_rel)) {
        std::free(text);  // another thread filled the slot first
        return expected;
    }
    return text;
}

const wchar_t* LoadResStringById(UINT id)
{
    static std::mutex lock;
    static std::map<UINT, ResStringSlot> slots;
    ResStringSlot* slot;
    {
        std::lock_guard<std::mutex> l(lock);
        slot = &slots[id];
    }
    return LoadResString(*slot, id);
}
