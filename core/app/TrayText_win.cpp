#include "core/app/TrayText_win.h"

#include "core/base/LoadResString.h"

#include <map>
#include <memory>
#include <mutex>

const wchar_t* TrayText(UINT id)
{
    static std::mutex lock;
    static std::map<UINT, std::unique_ptr<ResStringSlot>> slots;
    ResStringSlot* slot;
    {
        std::lock_guard<std::mutex> hold(lock);
        auto& entry = slots[id];
        if (!entry)
            entry = std::make_unique<ResStringSlot>(nullptr);
        slot = entry.get();
    }
    return LoadResString(*slot, id);
}
