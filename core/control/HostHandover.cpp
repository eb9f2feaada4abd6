#include "core/control/HostHandover.h"

namespace {

ControlPacket Packet(uint8_t type, const std::string& name, uint32_t a, uint32_t b)
{
    ControlMessage m;
    m.type = type;
    m.name = name;
    m.value1 = a;
    m.value2 = b;
    return BuildControlMessage(m);
}

// Up to `tries` rounds of pause and refresh until done() holds.
template <class Done>
bool Poll(HandoverEnv& env, int tries, Done done)
{
    for (int i = 0; i < tries && !env.Cancelled(); ++i) {
        env.Pause(100);
        env.RefreshParticipants();
        if (done())
            return true;
    }
    return false;
}

} // namespace

bool RunHostHandover(HandoverEnv& env, const std::string& newHost)
{
    std::string host = env.CurrentHost();
    if (env.SharingState() == 2 && !host.empty()) {
        env.Send(Packet(PLP_SHARING_REQUEST, host, 2, 4));
        if (!Poll(env, 10, [&] { return env.SharingState() == 0; }) && !env.Cancelled()) {
            env.Send(Packet(PLP_SHARING_REQUEST, host, env.SharingState(), 0));
            Poll(env, 1, [] { return true; });
            env.Pause(100);
        }
    }
    if (env.Cancelled())
        return false;
    env.Send(Packet(PLP_SET_HOST, newHost, 0, 1));
    if (!Poll(env, 10, [&] { return env.CurrentHost() == newHost; }))
        return false;
    env.Send(Packet(PLP_SHARING_REQUEST, newHost, env.SharingState(), 1));
    return true;
}

void RunSharingRequest(HandoverEnv& env, const std::string& session)
{
    if (env.SharingState() == 2) {
        env.Send(Packet(PLP_SHARING_REQUEST, env.CurrentHost(), 2, 4));
        RunReadyWait(env);
    }
    if (!env.Cancelled())
        env.Send(Packet(PLP_SET_HOST, session, 1, 0));
}

bool RunReadyWait(HandoverEnv& env)
{
    env.CloseCanvases();
    env.Pause(100);
    env.RefreshParticipants();
    bool ready = false;
    for (int i = 0; i < 20 && !env.Cancelled(); ++i) {
        if (!ready)
            ready = env.AllParticipantsReady();
        if (ready && env.SharingState() == 0)
            return true;
        env.Pause(100);
    }
    if (!env.Cancelled())
        env.Send(Packet(PLP_SHARING_REQUEST, env.OwnSessionId(), env.SharingState(), 0));
    return false;
}
