# Linux arm64 with Debian's cross compiler, tested under qemu-user. The
# programs and tests are linked statically, so qemu needs no arm64 system.
#   cmake -B build-arm64 --toolchain cmake/aarch64-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
find_program(TARNVIL_QEMU NAMES qemu-aarch64 qemu-aarch64-static)
if(TARNVIL_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TARNVIL_QEMU})
endif()
