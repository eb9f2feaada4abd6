#pragma once
// Desktop visual effects that get in the way of screen sharing: menu fade and
// animation (off for the whole run), cursor shadow, drop shadow, tooltip
// animation and fade (off from the host's first sharing view). They act on
// the whole desktop session, so the user's values are saved and restored.
constexpr int kVisualEffectRows = 6;
constexpr int kEffectsColumnSaved = 1;
constexpr int kEffectsColumnApply = 3;

// Whether a change is announced to every top-level window (WM_SETTINGCHANGE).
// The crash filter must not: the broadcast waits on other programs' windows
// from inside a dying process.
enum class EffectsNotice { Broadcast, Silent };

// What applies one row: SystemParametersInfoA(set code, 0, value, flags).
// Replaceable so a test can see the flags each change goes out with (Wine
// broadcasts nothing for a change that is not written to the profile).
using EffectsWriter = int (*)(unsigned action, unsigned param, void* value, unsigned flags);
// Installs `writer` (null: the system's) and returns the one it replaces.
EffectsWriter SetEffectsWriter(EffectsWriter writer);

// Reads each row's current value into the saved column.
void SaveVisualEffects();
// Applies the chosen column to rows first..last (0 as last: the last row).
void RestoreVisualEffects(int first, int last, int column, EffectsNotice notice = EffectsNotice::Broadcast);
// True once SaveVisualEffects ran (the crash filter restores only then).
bool VisualEffectsSaved();
