#pragma once
// The chat's view of the manager.
#include "meeting/ChatContext.h"

#include <memory>

class CManager;

std::shared_ptr<ChatContext> MakeChatContext(CManager& manager);
