// Paths of the build tree as a Windows program under Wine sees them: the host's
// root is drive Z:.
#pragma once

#include <string>

inline std::string HostToWinePath(std::string path)
{
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return "Z:" + path;
}
