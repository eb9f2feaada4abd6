#pragma once
// Media-type format identifiers the writer's media types carry; mingw-w64
// declares them in no library, so the program defines them (WmFormats_win.cpp
// also defines the Windows Media interface and media-type identifiers).
#include <windows.h>

extern const GUID kFormatVideoInfo;     // FORMAT_VideoInfo: a VIDEOINFOHEADER
extern const GUID kFormatWaveFormatEx;  // FORMAT_WaveFormatEx: a WAVEFORMATEX
