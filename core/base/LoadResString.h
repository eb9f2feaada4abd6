// Texts of the string table, taken from the language module when it has them.
#pragma once

#include <windows.h>

#include <atomic>

// Loaded language module (resources only); null: the program's own texts.
// Set and cleared by the language-package code on the main thread, read by
// every thread that loads a text.
extern std::atomic<HMODULE> g_hLangModule;

// One per asking place: `static ResStringSlot s; LoadResString(s, IDS_X);`
using ResStringSlot = std::atomic<const wchar_t*>;

// Returns the text of string `id`, loaded once into `slot` and kept for the
// whole run (never freed by the caller). The language module's text wins; an
// id it lacks, or an empty text there, falls back to the program's own table.
// Texts are cut at 511 characters; an id found nowhere gives "". Safe from
// any thread: a slot only ever holds the text of its own id.
const wchar_t* LoadResString(ResStringSlot& slot, UINT id);

// The same with a slot of its own for each id, for code that loads many
// texts by id (safe from any thread).
const wchar_t* LoadResStringById(UINT id);
