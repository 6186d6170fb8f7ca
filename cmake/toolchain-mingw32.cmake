# Cross-compiles the tool and its engines for 32-bit Windows with Debian's
# MinGW-w64 (the posix-threads variant, for std::thread). The runtime is linked
# statically so that users get two files: zarn-cli.exe and zarn.dll.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(ZARN_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${ZARN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZARN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZARN_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZARN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# SSE2 (every CPU Windows still runs on has it) so the engine's vector code
# builds and floats round as on x86-64. Windows only keeps the stack 4-byte
# aligned across calls into our code, so functions that spill SSE registers
# realign it themselves.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")

# -static also pulls in winpthread as a static library.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
