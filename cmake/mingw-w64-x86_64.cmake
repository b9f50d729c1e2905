# Cross-compiles 64-bit Windows executables with mingw-w64 (POSIX thread model,
# so that std::thread, std::mutex and std::future are available).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KELM_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${KELM_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELM_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${KELM_MINGW_PREFIX}-windres)
set(CMAKE_AR           ${KELM_MINGW_PREFIX}-ar)
set(CMAKE_RANLIB       ${KELM_MINGW_PREFIX}-ranlib)

set(CMAKE_FIND_ROOT_PATH /usr/${KELM_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
