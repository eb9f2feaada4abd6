// The display and protocol options of one viewing session. The GUI copies its
// display record in when the connection is made and takes it back when the
// session ends; nothing else changes them.
#pragma once

namespace viewer {

struct ViewerOptions {
    // Row of the client pixel-format table (ClientFormatFor); 1 is the
    // product's 8-bit format.
    int colourDepth = 1;
    int preferredEncoding = 16;
    bool scaling = false;
    bool fitToWindow = true;
    double scaleNum = 100.0;
    double scaleDen = 100.0;
    bool useCompressLevel = true;
    int compressLevel = 6;
    bool useJpegQuality = true;
    int jpegQuality = 6;
    bool requestCursorShapes = true;
    bool ignoreCursorShapes = false;
    int serverScale = 1;
    bool cacheEncoding = false;
    // Which standard encodings 0..16 may be requested.
    bool useEncoding[17] = {true, true, true, false, true, true, true, true, true,
                            true, false, false, false, false, false, false, true};
};

} // namespace viewer
