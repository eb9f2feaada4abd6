#pragma once
// Recording file names and the stored media folder value ("MediaFilePath",
// REG_BINARY): marker byte 0x80, the path as UTF-16LE, one zero byte. A value
// without the marker is an older form: the whole value is ANSI text.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

constexpr uint8_t kMediaPathMarker = 0x80;

// "GMT_%Y-%m-%d_%Hh%Mm%Ss.wmv" for a UTC time in seconds since 1970.
std::string RecordingFileNameForTime(int64_t unixSeconds);
// The n-th choice of a name that must not overwrite a file: n 0 is the name
// itself, n 1 and on insert "_2", "_3", ... before the extension.
std::string NumberedFileName(const std::string& name, unsigned n);

std::vector<uint8_t> EncodeMediaFilePath(const std::u16string& path);

struct MediaPathValue {
    bool isUtf16 = false;
    std::u16string utf16;  // when isUtf16
    std::string ansi;      // the older form, to convert with the ANSI code page
};
// Reads either form; a marked value takes (length - 1) / 2 characters, ends
// at its first zero character and needs no terminator of its own. Empty
// input gives nothing.
std::optional<MediaPathValue> DecodeMediaFilePath(const uint8_t* data, size_t length);
