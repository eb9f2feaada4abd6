#pragma once
// File sharing's view of the manager.
#include "extras/FileShareContext.h"

#include <memory>

class CManager;

std::unique_ptr<FileShareContext> MakeFileShareContext(CManager& manager);
