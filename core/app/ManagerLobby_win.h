#pragma once
// The lobby's view of the manager.
#include "meeting/LobbyContext.h"

#include <memory>

class CManager;

std::shared_ptr<LobbyContext> MakeLobbyContext(CManager& manager);
