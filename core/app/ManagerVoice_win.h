#pragma once
// The voice's view of the manager (ManagerVoice_win.cpp).
#include <memory>

class CManager;
class VoiceContext;

std::unique_ptr<VoiceContext> MakeVoiceContext(CManager& manager);
