// The services the program runs with: the meeting transport over the
// appliance tunnels and the appliance requests over WinHTTP. The transport
// asks the appliance side for the proxy and the accepted certificate each
// time it opens a tunnel, so both follow what the requests use.
#include "core/app/LinkTransport_win.h"
#include "core/app/ProgramAppliance_win.h"

ManagerServices MakeProgramServices(CManager& manager)
{
    auto appliance = std::make_unique<ProgramAppliance>(manager);
    ProgramAppliance* requests = appliance.get();
    ManagerServices s;
    s.transport = std::make_unique<LinkTransport>(manager, [requests] {
        LinkTransport::Access access;
        access.proxy = requests->EffectiveProxy();
        access.acceptedThumbprint = requests->AcceptedThumbprint();
        return access;
    });
    s.appliance = std::move(appliance);
    return s;
}
