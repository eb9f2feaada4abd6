// Decodes one JPEG image held in memory to 0x00RRGGBB colours with
// libjpeg-turbo's default settings. The library's fatal errors and its
// warnings (corrupt or truncated data) return here as a failure with the
// library's message; they never end the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace decode {

class JpegImage {
public:
    // True when data is a 3-component JPEG of exactly w x h that decodes
    // cleanly; out then holds its w * h colours. Otherwise why says what failed.
    bool decode(const uint8_t* data, size_t size, int w, int h, std::vector<uint32_t>& out);
    const std::string& why() const { return m_why; }

private:
    std::string m_why;
};

} // namespace decode
