#pragma once
// Where CenterInWorkArea puts a window: no larger than the work area, centred
// in it (halves rounded toward zero).
struct PlacementRect {
    int left, top, right, bottom;
};

PlacementRect CenteredInWorkArea(const PlacementRect& work, int width, int height);
