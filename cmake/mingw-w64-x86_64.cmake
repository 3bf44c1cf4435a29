# 64-bit Windows with mingw-w64, posix thread model (std::thread, std::mutex and
# GoogleTest need it). Programs run under Wine where the build or CTest runs them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(NIVOLO_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${NIVOLO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NIVOLO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${NIVOLO_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${NIVOLO_MINGW_PREFIX}-objdump)

# Headers and libraries of the target only (zlib's static library among them).
set(CMAKE_FIND_ROOT_PATH /usr/${NIVOLO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Build tools (the resource packer) and test programs run through Wine.
find_program(NIVOLO_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NIVOLO_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${NIVOLO_WINE64})
endif()
