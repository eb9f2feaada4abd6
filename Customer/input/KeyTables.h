#pragma once
// The host's key-injection tables: the keysym rows (built before WinMain) and
// the table of the host's OEM code page that the Alt-plus-digits path types
// from.
#include "Customer/input/KeyInjection.h"

// Builds the tables before any thread uses them (WinMain calls it first).
void BuildDeadKeyTable();
// The host's OEM code page in keysyms; built on first use.
const CodePageTable& HostCodePageTable();
