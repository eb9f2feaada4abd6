// Removal of a folder of the user's Start-menu programs.
#pragma once

// Deletes "<Start menu programs>\<name>" with everything in it, without
// asking. Returns true when the folder existed and was handed to the shell for
// deletion; a missing folder, or a file of that name, is left alone.
bool DeleteProgramsFolder(const char* name);
