# Cross-builds comsweep.exe for 64-bit Windows with mingw-w64 (the posix
# threads variant: std::thread and std::mutex need it).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Otherwise pkg-config answers with the Linux libraries.
set(PKG_CONFIG_EXECUTABLE ${triple}-pkg-config CACHE FILEPATH "pkg-config for the target")

# No mingw DLLs to ship: the runtime, libstdc++ and winpthreads go into the exe.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests run through Wine, by a wrapper that runs a program again when Wine
# failed to start it at all.
find_program(COMSWEEP_WINE wine)
if(COMSWEEP_WINE)
  get_filename_component(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/windows/under-wine
                         ABSOLUTE)
endif()
