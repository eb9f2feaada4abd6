#pragma once
// The two entry points of the Windows Media writer library that the recorder
// needs. mingw-w64 has no import library for it, so the program loads it by
// name from the system folder; tests hand the recorder their own factories.
#include <windows.h>
#include <wmsdkidl.h>

#include <memory>

struct WmWriterBinding {
    using CreateProfileManagerFn = HRESULT(WINAPI*)(IWMProfileManager**);
    using CreateWriterFn = HRESULT(WINAPI*)(IUnknown*, IWMWriter**);
    CreateProfileManagerFn createProfileManager = nullptr;
    CreateWriterFn createWriter = nullptr;
    // Keeps the library loaded while any copy of the binding lives.
    std::shared_ptr<void> keepLoaded;

    bool Available() const { return createProfileManager && createWriter; }
};

// wmvcore.dll from the system folder; an empty binding when it or either
// entry point is missing.
WmWriterBinding LoadSystemWmWriter();
