#pragma once
// The polling panels' view of the manager.
#include "extras/PollContext.h"

#include <memory>

class CManager;

std::unique_ptr<PollContext> MakePollContext(CManager& manager);
