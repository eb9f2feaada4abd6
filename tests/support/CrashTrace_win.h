// A test program that crashes prints where (the exception, then each frame
// as "module+offset" for x86_64-w64-mingw32-addr2line) and ends at once,
// rather than waiting for a debugger until the test's time-out.
#pragma once

#include "tests/support/CodePlace_win.h"

#include <windows.h>

#include <cstdio>

namespace crashtrace {

inline void PrintFrame(int index, DWORD64 pc)
{
    fprintf(stderr, "  %2d %s\n", index, CodePlace(reinterpret_cast<const void*>(pc)).c_str());
}

inline LONG WINAPI Filter(EXCEPTION_POINTERS* pointers)
{
    const EXCEPTION_RECORD& e = *pointers->ExceptionRecord;
    fprintf(stderr, "crash: exception 0x%08lx at %p in thread %04lx (info %llx %llx)\n",
            static_cast<unsigned long>(e.ExceptionCode), e.ExceptionAddress,
            static_cast<unsigned long>(GetCurrentThreadId()),
            static_cast<unsigned long long>(e.NumberParameters > 0 ? e.ExceptionInformation[0] : 0),
            static_cast<unsigned long long>(e.NumberParameters > 1 ? e.ExceptionInformation[1] : 0));
#if defined(_M_X64) || defined(__x86_64__)
    CONTEXT context = *pointers->ContextRecord;
    for (int i = 0; i < 48 && context.Rip; ++i) {
        PrintFrame(i, context.Rip);
        DWORD64 imageBase = 0;
        PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr);
        if (!function) {
            // A leaf function: its return address is on top of the stack.
            context.Rip = *reinterpret_cast<DWORD64*>(context.Rsp);
            context.Rsp += 8;
            continue;
        }
        PVOID handlerData = nullptr;
        DWORD64 establisher = 0;
        RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, context.Rip, function, &context, &handlerData, &establisher,
                         nullptr);
    }
#endif
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

// Installed once per program by the first file that includes this.
inline const bool installed = (SetUnhandledExceptionFilter(Filter), true);

} // namespace crashtrace
