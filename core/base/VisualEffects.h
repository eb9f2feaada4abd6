#pragma once
// Desktop visual effects that get in the way of screen sharing: menu fade and
// animation (off for the whole run), cursor shadow, drop shadow, tooltip
// animation and fade (off from the host's first sharing view). They act on
// the whole desktop session, so the user's values are saved and restored.
constexpr int kVisualEffectRows = 6;
constexpr int kEffectsColumnSaved = 1;
constexpr int kEffectsColumnApply = 3;

// Reads each row's current value into the saved column.
void SaveVisualEffects();
// Applies the chosen column to rows first..last (0 as last: the last row).
void RestoreVisualEffects(int first, int last, int column);
// True once SaveVisualEffects ran (the crash filter restores only then).
bool VisualEffectsSaved();
