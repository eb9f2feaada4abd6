#include "meeting/CanvasMessages.h"

#include "core/base/TextConvert.h"

#include <climits>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kPrefixChars = 5;
constexpr size_t kKeyChars = 11;

constexpr char kStage[] = "Stage-----:";
constexpr char kPoint[] = "Point-----:";
constexpr char kTty[] = "Tty-------:";
constexpr char kWidth[] = "Width-----:";
constexpr char kAlpha[] = "Alpha-----:";
constexpr char kFrgclr[] = "Frgclr----:";
constexpr char kBkgclr[] = "Bkgclr----:";
constexpr char kFontFamily[] = "FontFamily:";
constexpr char kFontSize[] = "FontSize--:";
constexpr char kFontStyle[] = "FontStyle-:";
constexpr char kCtlCode[] = "CtlCode---:";
constexpr char kTextString[] = "TextString:";

// The lines of a message: each ends "\r\n"; text after the last one is not
// a line.
std::vector<std::string_view> Lines(std::string_view message)
{
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t end; (end = message.find("\r\n", start)) != std::string_view::npos; start = end + 2)
        lines.push_back(message.substr(start, end - start));
    return lines;
}

// The number of a header line: what follows its prefix.
int HeaderNumber(std::string_view line)
{
    return line.size() > kPrefixChars ? ReadCanvasInt(line.substr(kPrefixChars)) : 0;
}

// A keyed line's value when its key is `key`.
bool KeyValue(std::string_view line, const char* key, std::string_view& value)
{
    if (line.size() <= kKeyChars || line.compare(0, kKeyChars, key) != 0)
        return false;
    value = line.substr(kKeyChars);
    return true;
}

// Up to four comma-separated integers: each of the first three only when a
// comma follows it, the fourth the rest after the third comma.
void ReadFour(std::string_view value, int* a, int* b, int* c, int* d)
{
    int* targets[] = {a, b, c};
    for (int* target : targets) {
        const size_t comma = value.find(',');
        if (comma == std::string_view::npos)
            return;
        *target = ReadCanvasInt(value.substr(0, comma));
        value.remove_prefix(comma + 1);
    }
    *d = ReadCanvasInt(value);
}

void AppendLine(std::string& out, const char* key, int value)
{
    out += key;
    out += std::to_string(value);
    out += "\r\n";
}

void AppendFour(std::string& out, const char* key, int a, int b, int c, int d)
{
    out += key;
    out += std::to_string(a) + ',' + std::to_string(b) + ',' + std::to_string(c) + ',' + std::to_string(d);
    out += "\r\n";
}

void ReadColour(std::string_view value, int32_t& colour, int& none)
{
    const int v = ReadCanvasInt(value);
    if (v >= 0) {
        colour = v & 0x00FFFFFF;
        none = 0;
    } else {
        none = 1;
    }
}

} // namespace

bool CanvasSizeValid(int width, int height)
{
    return width >= 1 && width <= kCanvasSizeMax && height >= 1 && height <= kCanvasSizeMax;
}

void CTool::SetType(int t)
{
    type = t;
    width = 0;
    alpha = 255;
    foreground = 0x000000;
    background = 0xFFFFFF;
    foregroundNone = 0;
    backgroundNone = 1;
    fontFamily.clear();
    fontSize = 0;
    fontStyle = 0;
    controlMask = kOptionWidth;
    switch (t) {
    case kToolSelect: controlMask = 0; break;
    case kToolEraser: width = 20; controlMask = kOptionWidth; break;
    case kToolPen: width = 5; controlMask = kOptionWidth | kOptionForeground; break;
    case kToolHighlighter:
        width = 15;
        alpha = 128;
        foreground = 0x0000FF;
        controlMask = kOptionWidth | kOptionAlpha | kOptionForeground;
        break;
    case kToolLine: width = 10; controlMask = kOptionWidth | kOptionForeground; break;
    case kToolRectangle:
    case kToolEllipse:
        width = 5;
        controlMask = kOptionWidth | kOptionForeground | kOptionBackground;
        break;
    case kToolText:
        foreground = 0xFF0000;
        fontFamily = L"Arial";
        fontSize = 20;
        controlMask = kOptionForeground | kOptionFont;
        break;
    default: break;
    }
}

int ReadCanvasInt(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        return static_cast<int>(-value);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

bool CanvasShapeRecord::operator==(const CanvasShapeRecord& o) const
{
    return number == o.number && stageLeft == o.stageLeft && stageTop == o.stageTop &&
           stageRight == o.stageRight && stageBottom == o.stageBottom && x1 == o.x1 && y1 == o.y1 &&
           x2 == o.x2 && y2 == o.y2 && toolType == o.toolType && width == o.width && alpha == o.alpha &&
           foreground == o.foreground && background == o.background && foregroundNone == o.foregroundNone &&
           backgroundNone == o.backgroundNone && fontFamily == o.fontFamily && fontSize == o.fontSize &&
           fontStyle == o.fontStyle;
}

bool CanvasControlRecord::operator==(const CanvasControlRecord& o) const
{
    return command == o.command && std::memcmp(codes, o.codes, sizeof codes) == 0;
}

bool CanvasTextRecord::operator==(const CanvasTextRecord& o) const
{
    return number == o.number && x == o.x && y == o.y && text == o.text;
}

void CMsgHandler::BuildShape(const CanvasShapeRecord& r, std::string& out, int kind)
{
    if (kind == kCanvasAnnotationOwner)
        out += "MEMA:";
    else if (kind == kCanvasWhiteboardOwner)
        out += "MEWB:";
    else
        return;
    out += std::to_string(r.number) + "\r\n";
    AppendFour(out, kStage, r.stageLeft, r.stageTop, r.stageRight, r.stageBottom);
    AppendFour(out, kPoint, r.x1, r.y1, r.x2, r.y2);
    AppendLine(out, kTty, r.toolType);
    AppendLine(out, kWidth, r.width);
    AppendLine(out, kAlpha, r.alpha);
    AppendLine(out, kFrgclr, r.foregroundNone ? -1 : r.foreground);
    AppendLine(out, kBkgclr, r.backgroundNone ? -1 : r.background);
    out += kFontFamily;
    out += WideToAnsi(r.fontFamily, kCodePageAnsi);
    out += "\r\n";
    AppendLine(out, kFontSize, r.fontSize);
    AppendLine(out, kFontStyle, r.fontStyle);
}

void CMsgHandler::BuildControl(const CanvasControlRecord& r, std::string& out, int kind)
{
    out += kind == kCanvasAnnotationOwner ? "CEMA:" : kind == kCanvasWhiteboardOwner ? "CEWB:" : "EVBH:";
    out += std::to_string(r.command) + "\r\n";
    for (int code : r.codes)
        AppendLine(out, kCtlCode, code);
}

void CMsgHandler::BuildText(const CanvasTextRecord& r, std::string& out, int kind)
{
    if (kind == kCanvasAnnotationOwner)
        out += "TIMA:";
    else if (kind == kCanvasWhiteboardOwner)
        out += "TIWB:";
    else
        return;
    out += std::to_string(r.number) + "\r\n";
    out += kPoint;
    out += std::to_string(r.x) + ',' + std::to_string(r.y) + "\r\n";
    out += kTextString;
    out += WideToAnsi(r.text, kCodePageUtf8);
    out += "\r\n";
}

int CMsgHandler::ParseShape(std::string_view message, CanvasShapeRecord& r)
{
    const std::vector<std::string_view> lines = Lines(message);
    if (lines.empty())
        return 0;
    r.number = HeaderNumber(lines[0]);
    bool toolSeen = false;
    std::string_view v;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (KeyValue(line, kStage, v)) {
            ReadFour(v, &r.stageLeft, &r.stageTop, &r.stageRight, &r.stageBottom);
        } else if (KeyValue(line, kPoint, v)) {
            ReadFour(v, &r.x1, &r.y1, &r.x2, &r.y2);
        } else if (KeyValue(line, kTty, v)) {
            // Only a drawing tool's type is taken: the receiver indexes its
            // stored tools with it.
            const int type = ReadCanvasInt(v);
            if (type >= kToolEraser && type <= kToolText) {
                r.toolType = type;
                toolSeen = true;
            }
        } else if (KeyValue(line, kWidth, v)) {
            r.width = ReadCanvasInt(v);
        } else if (KeyValue(line, kAlpha, v)) {
            r.alpha = ReadCanvasInt(v);
        } else if (KeyValue(line, kFrgclr, v)) {
            ReadColour(v, r.foreground, r.foregroundNone);
        } else if (KeyValue(line, kBkgclr, v)) {
            ReadColour(v, r.background, r.backgroundNone);
        } else if (KeyValue(line, kFontFamily, v)) {
            r.fontFamily = AnsiToWide(std::string(v), kCodePageAnsi);
        } else if (KeyValue(line, kFontSize, v)) {
            r.fontSize = ReadCanvasInt(v);
        } else if (KeyValue(line, kFontStyle, v)) {
            r.fontStyle = ReadCanvasInt(v);
        }
    }
    return toolSeen ? 1 : 0;
}

int CMsgHandler::ParseControl(std::string_view message, CanvasControlRecord& r)
{
    const std::vector<std::string_view> lines = Lines(message);
    if (lines.empty())
        return 0;
    r.command = HeaderNumber(lines[0]);
    int filled = 0;
    std::string_view v;
    for (size_t i = 1; i < lines.size() && filled < 4; ++i) {
        if (KeyValue(lines[i], kCtlCode, v))
            r.codes[filled++] = ReadCanvasInt(v);
    }
    return filled == 4 ? 1 : 0;
}

int CMsgHandler::ParseText(std::string_view message, CanvasTextRecord& r)
{
    const size_t first = message.find("\r\n");
    if (first == std::string_view::npos)
        return 0;
    const size_t second = message.find("\r\n", first + 2);
    if (second == std::string_view::npos)
        return 0;
    // The text's key must be there in whole: a message that ends at its
    // second line end carries no text.
    const size_t textStart = second + 2 + kKeyChars;
    if (textStart > message.size())
        return 0;
    r.number = HeaderNumber(message.substr(0, first));
    std::string_view v;
    if (KeyValue(message.substr(first + 2, second - first - 2), kPoint, v)) {
        const size_t comma = v.find(',');
        if (comma == std::string_view::npos)
            return 0;
        r.x = ReadCanvasInt(v.substr(0, comma));
        r.y = ReadCanvasInt(v.substr(comma + 1));
    }
    std::string_view text = message.substr(textStart);
    // The line end that closes the message is not part of the text.
    if (text.size() >= 2 && text.substr(text.size() - 2) == "\r\n")
        text.remove_suffix(2);
    r.text = AnsiToWide(std::string(text), kCodePageUtf8);
    return 1;
}

void CMsgHandler::FillShapeRecord(CanvasShapeRecord& r, int number, int stageWidth, int stageHeight, int x1, int y1,
                                  int x2, int y2, const CTool& tool)
{
    r.number = number;
    r.x1 = x1;
    r.y1 = y1;
    r.x2 = x2;
    r.y2 = y2;
    r.stageLeft = 0;
    r.stageTop = 0;
    r.stageRight = stageWidth;
    r.stageBottom = stageHeight;
    r.toolType = tool.type;
    r.width = tool.width;
    r.alpha = tool.alpha;
    r.foreground = tool.foreground;
    r.background = tool.background;
    r.foregroundNone = tool.foregroundNone;
    r.backgroundNone = tool.backgroundNone;
    r.fontFamily = tool.fontFamily;
    r.fontSize = tool.fontSize;
    r.fontStyle = tool.fontStyle;
}
