#pragma once
// The viewer GUI's display options: the colour depth a connection asks for,
// the display record (scaling, fit to window, scale) that a connection takes
// when it is made, the local-cursor mode and the bar flags. A new GUI starts from these defaults (nothing is read back); the
// GUI writes the live display state to the user's settings when it goes.
struct ViewerDisplayRecord {
    bool scaling = false;
    bool fitToWindow = true;
    double scaleNum = 1.0;
    double scaleDen = 1.0;
};

struct ViewerOptionsStore {
    // The product asks for 8-bit colour (row 1 of the client formats).
    int colourDepth = 1;
    bool topBar = false;
    bool sideBar = false;
    // The pointer over the picture with control: 0 cursor 157, 1 cursor 156,
    // 2 the standard arrow.
    int localCursorMode = 1;
    // Clipboard text moves neither way (not saved).
    bool clipboardDisabled = false;
    ViewerDisplayRecord display;

    // Writes "ColorDepth", "Scaling", "ScaleNum", "ScaleDen", "TopBar" and
    // "SideBar" as DWORDs under the settings' "Options" key (scales
    // truncated). False when a value could not be written.
    bool Save() const;
};
