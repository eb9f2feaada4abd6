#pragma once
// The engine's files on a Windows disk: read and written at an offset, a
// chunk at a time (never held whole), removed by their exact path.
#include "extras/FileShareEngine.h"

class FileShareDisk : public fileshare::FileStore {
public:
    std::unique_ptr<fileshare::SourceFile> OpenSource(const std::string& path) override;
    std::unique_ptr<fileshare::TargetFile> CreateTarget(const std::string& path) override;
    bool Remove(const std::string& path) override;
};
