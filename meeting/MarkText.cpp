#include "meeting/MarkText.h"

#include "meeting/ChatFrame.h"

std::string BuildMarkText(int x, int y, std::string_view nameUtf8)
{
    if (nameUtf8.empty())
        return {};
    std::string out = std::to_string(x) + "," + std::to_string(y) + "\r\n";
    out.append(nameUtf8);
    out += "\r\n";
    return out;
}

std::optional<int> ReadMarkCoordinate(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 6)
        return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > kMarkMaxCoordinate)
        return std::nullopt;
    return negative ? -value : value;
}

std::optional<MarkPoint> ParseMarkText(std::string_view text)
{
    const size_t first = text.find("\r\n");
    if (first == std::string_view::npos)
        return std::nullopt;
    const size_t second = text.find("\r\n", first + 2);
    if (second == std::string_view::npos)
        return std::nullopt;
    const std::string_view point = text.substr(0, first);
    const std::string_view name = text.substr(first + 2, second - first - 2);
    if (name.empty())
        return std::nullopt;
    const size_t comma = point.find(',');
    const std::optional<int> x = ReadMarkCoordinate(point.substr(0, comma));
    const std::optional<int> y =
        comma == std::string_view::npos ? std::optional<int>(0) : ReadMarkCoordinate(point.substr(comma + 1));
    if (!x || !y)
        return std::nullopt;
    MarkPoint out;
    out.x = *x;
    out.y = *y;
    out.name.assign(CutUtf8ToUnits(name, kMarkMaxNameUnits));
    return out;
}

std::vector<PixelRun> OpaqueRuns(const uint32_t* pixels, int width, int height)
{
    std::vector<PixelRun> runs;
    for (int y = 0; y < height; ++y) {
        const uint32_t* row = pixels + static_cast<size_t>(y) * width;
        int x = 0;
        while (x < width) {
            while (x < width && (row[x] & 0xFFFFFF) == 0xFF0000)
                ++x;
            const int start = x;
            while (x < width && (row[x] & 0xFFFFFF) != 0xFF0000)
                ++x;
            if (x > start)
                runs.push_back({start, y, x - start});
        }
    }
    return runs;
}
