// replaced by the first Win32 module
