# Compiler settings shared by every target of the project.
add_compile_options(-Wall -Wextra -Wno-unused-parameter)

if(CORVISK_WINDOWS)
  # Unicode Win32 entry points, Windows 7 API level and no min/max macros.
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                          _WIN32_WINNT=0x0601 WINVER=0x0601)
  # Everything static: no mingw runtime DLLs have to travel with the programs.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

if(CORVISK_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(CORVISK_TSAN)
  if(CORVISK_SANITIZE)
    message(FATAL_ERROR "ThreadSanitizer cannot be combined with AddressSanitizer")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

if(CORVISK_FUZZ)
  # Coverage instrumentation for every library, so libFuzzer sees the code it
  # drives and not only the harness.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
