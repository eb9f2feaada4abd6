// The program's platform for the sharing server: GDI capture, SendInput,
// the clipboard, input desktops and the "vnc server is created" event
// (WinHost_win.cpp, WinDesktop_win.cpp).
#pragma once

#include "Customer/session/HostDesktop.h"

#include <memory>

std::unique_ptr<HostPlatform> CreateWindowsHostPlatform();
std::unique_ptr<HostDesktop> CreateWindowsDesktop(HostPlatform* platform);
