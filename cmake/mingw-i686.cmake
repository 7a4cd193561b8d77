# Cross toolchain: Debian's mingw-w64 i686 compilers build 32-bit Windows code.
# The posix thread model gives the test programs std::thread and std::mutex;
# vesker.DLL links no runtime at all, so the model does not reach it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(VESKER_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${VESKER_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VESKER_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${VESKER_TRIPLE}-windres)
set(CMAKE_AR           ${VESKER_TRIPLE}-ar)
set(CMAKE_RANLIB       ${VESKER_TRIPLE}-ranlib)
set(VESKER_DLLTOOL     ${VESKER_TRIPLE}-dlltool)
set(VESKER_OBJDUMP     ${VESKER_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${VESKER_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
