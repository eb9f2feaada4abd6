#include "meeting/CtrlMenuLayout.h"

#include <algorithm>

std::vector<int> BarButtons(const BarRoles& roles)
{
    std::vector<int> ids;
    const bool viewer = roles.ownRole == 0;
    if (roles.callerRole == 1) {
        ids = {kBarInvite, kBarPolling};
    } else if (roles.callerRole == 2) {
        if (roles.assistPermission & kAssistInvite)
            ids.push_back(kBarInvite);
        if (roles.assistPermission & kAssistPolling)
            ids.push_back(kBarPolling);
    }
    if (viewer)
        ids.push_back(kBarViewer);
    for (int id : {kBarRecord, kBarChat, kBarLobby, kBarOptions, kBarAbout, kBarExit})
        ids.push_back(id);
    return ids;
}

int BarWidth(const BarRoles& roles)
{
    int width = 0;
    if (roles.callerRole == 1)
        width = roles.ownRole == 0 ? 408 : 358;
    else
        width = roles.ownRole == 0 ? 318 : 278;
    if (roles.callerRole == 2) {
        if (roles.assistPermission & kAssistPolling)
            width += 40;
        if (roles.assistPermission & kAssistInvite)
            width += 40;
    }
    const int buttons = static_cast<int>(BarButtons(roles).size());
    const int fits = kBarMargin + buttons * kButtonWidth + kBarMargin + kSmallButton + kBarMargin;
    return std::max(width, fits);
}

int ShownHeight(bool fullView)
{
    return fullView ? kBarHeight : kCompactHeight;
}

int HiddenTop(bool fullView)
{
    return fullView ? kBarStartTop : -(kCompactHeight - 6);
}

int SlideTick(int top, bool showing, bool fullView)
{
    if (showing)
        return std::min(top + kSlideStep, 0);
    return std::max(top - kSlideStep, HiddenTop(fullView));
}

std::wstring TurnMarquee(const std::wstring& text)
{
    if (text.size() < 2)
        return text;
    return text.substr(1) + text[0];
}
