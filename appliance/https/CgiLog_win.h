#pragma once
// The request lines go to the program's one logger.
#include "appliance/cgi/CgiLog.h"

// Writes each line to DHLog::Instance() (as wide text, so the UTF-8 of names
// survives whatever the ANSI code page is).
CgiLog::Writer DHLogWriter();
