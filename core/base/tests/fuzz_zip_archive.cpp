// The zip reader and the entry name rule over arbitrary bytes: the input is
// an archive; every entry is read and unpacked into a scratch folder, and
// nothing may land beside it.
#include "core/base/ZipArchive.h"
#include "core/base/ZipEntryName.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SafeEntryPath(std::string_view(reinterpret_cast<const char*>(data), size), '/');

    ZipArchive zip;
    if (zip.OpenBytes(std::vector<char>(data, data + size)) != kZipOk)
        return 0;
    static const fs::path root = fs::temp_directory_path() / ("corvisk_zip_fuzz_" + std::to_string(getpid()));
    const fs::path target = root / "target";
    ExtractAll(zip, target.u8string());
    for (auto& e : fs::directory_iterator(root))
        if (e.path() != target)
            std::abort();  // something was written beside the target folder
    fs::remove_all(target);
    return 0;
}
