#pragma once
// The host's keyboard for key injection: the layout's VkKeyScanW, the keys'
// GetAsyncKeyState, SendInput with the program's extra information, and
// Ctrl-Alt-Del through Task Manager.
#include "Customer/input/KeyInjection.h"

#include <memory>

std::unique_ptr<KeyboardSystem> CreateWindowsKeyboard();
