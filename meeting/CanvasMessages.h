#pragma once
// The canvas messages that keep annotation and whiteboard in step between
// participants: the drawing-tool record, the three message records, their
// texts and the parsers for received texts.
//
// A message is lines ending "\r\n". The first is a five-character prefix and
// the message's number; every other line is an eleven-character key (its
// colon included) and a value. Received texts come from the network: every
// integer goes through a saturating reader and every line is bounded by the
// text it was found in.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// What a canvas is, and so which prefix its messages carry.
enum CanvasKind : int {
    kCanvasClosed = -1,
    kCanvasWhiteboardOwner = 0,
    kCanvasWhiteboardViewer = 1,
    kCanvasAnnotationOwner = 2,
    kCanvasAnnotationViewer = 3,
};

enum CanvasToolType : int {
    kToolSelect = 0,
    kToolEraser = 1,
    kToolPen = 2,
    kToolHighlighter = 3,
    kToolLine = 4,
    kToolRectangle = 5,
    kToolEllipse = 6,
    kToolText = 7,
    kToolCount = 8,
};

// Bits of CTool::controlMask: the toolbar options a tool offers.
enum CanvasToolOption : int {
    kOptionWidth = 1,
    kOptionAlpha = 2,
    kOptionForeground = 4,
    kOptionBackground = 8,
    kOptionFont = 16,
};

// Bits of CTool::fontStyle.
enum CanvasFontStyle : int { kFontBold = 1, kFontItalic = 2, kFontUnderline = 4 };

// Numbers of the messages.
enum CanvasShapeNumber : int { kShapeSettings = -1, kShapePress = 0, kShapeRelease = 1, kShapeMove = 6 };
enum CanvasControlCommand : int {
    kControlToolChanged = 0,
    kControlClosed = 1,
    kControlClearAll = 2,
    kControlWhiteboardOpen = 3,
    kControlAnnotationOpen = 4,
    kControlStateRequest = 5,
    kControlFrameResized = 11,
    kControlScrollX = 12,
    kControlScrollY = 13,
};
enum CanvasTextNumber : int { kTextPreview = 0, kTextFinished = 1 };

// Canvas sizes a message may set; anything outside leaves the canvas as it is.
constexpr int kCanvasSizeMax = 8192;
bool CanvasSizeValid(int width, int height);

// The settings of one drawing tool.
struct CTool {
    CTool() { SetType(kToolSelect); }
    // Resets every setting, then applies the type's own (types 0-7; any
    // other type keeps the reset values).
    void SetType(int type);

    int type = 0;
    int width = 0;
    int alpha = 255;
    int32_t foreground = 0;        // 0x00BBGGRR
    int32_t background = 0xFFFFFF; // 0x00BBGGRR
    int foregroundNone = 0;
    int backgroundNone = 1;
    std::wstring fontFamily;
    int fontSize = 0;
    int fontStyle = 0;
    int controlMask = kOptionWidth;
};

struct CanvasShapeRecord {
    int number = 0;
    int stageLeft = 0, stageTop = 0, stageRight = 0, stageBottom = 0;
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    int toolType = 0;
    int width = 0;
    int alpha = 0;
    int32_t foreground = 0;
    int32_t background = 0;
    int foregroundNone = 0;
    int backgroundNone = 0;
    std::wstring fontFamily;
    int fontSize = 0;
    int fontStyle = 0;
    bool operator==(const CanvasShapeRecord& o) const;
};

struct CanvasControlRecord {
    int command = 0;
    int codes[4] = {0, 0, 0, 0};
    bool operator==(const CanvasControlRecord& o) const;
};

struct CanvasTextRecord {
    int number = 0;
    int x = 0, y = 0;
    std::wstring text;
    bool operator==(const CanvasTextRecord& o) const;
};

// The longest message text a packet carries (its length field holds the
// text plus its NUL).
constexpr size_t kCanvasMessageMax = 0xFFFF - 1;
// The longest text the text tool takes: its message, at three UTF-8 bytes a
// character and with its longest header and point line, stays within one
// packet.
constexpr size_t kCanvasTextMaxChars = (kCanvasMessageMax - 64) / 3;

// Reads a decimal integer the way the peers print it: optional blanks, an
// optional sign, digits; whatever follows is ignored and no digits give 0.
// Values beyond 32 bits saturate at INT32_MIN or INT32_MAX.
int ReadCanvasInt(std::string_view text);

class CMsgHandler {
public:
    virtual ~CMsgHandler() = default;

    // Sending and repainting belong to the messager of a live canvas.
    virtual void SendShape(const CanvasShapeRecord&, int /*kind*/) {}
    virtual void SendControl(const CanvasControlRecord&, int /*kind*/) {}
    virtual void SendText(const CanvasTextRecord&, int /*kind*/) {}
    virtual void Refresh() {}

    // Append the message text for a canvas of the given kind. A shape or text
    // from a canvas that is not an owner builds nothing: only owners draw.
    static void BuildShape(const CanvasShapeRecord& r, std::string& out, int kind);
    static void BuildControl(const CanvasControlRecord& r, std::string& out, int kind);
    static void BuildText(const CanvasTextRecord& r, std::string& out, int kind);

    // Fill the record from a received text; 1 on success, 0 otherwise. A
    // shape keeps whatever the record held for every key the text lacks.
    static int ParseShape(std::string_view message, CanvasShapeRecord& r);
    static int ParseControl(std::string_view message, CanvasControlRecord& r);
    static int ParseText(std::string_view message, CanvasTextRecord& r);

    // Number, points, the stage (0, 0, width, height of the drawing window;
    // all 0 without one) and the tool's settings.
    static void FillShapeRecord(CanvasShapeRecord& r, int number, int stageWidth, int stageHeight, int x1, int y1,
                                int x2, int y2, const CTool& tool);
};
