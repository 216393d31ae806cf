# Linux on 32-bit x86, run under qemu-user:
#   cmake -B build-i686 --toolchain cmake/i686-linux-gnu.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(tarnvil_triplet i686-linux-gnu)
set(tarnvil_qemu qemu-i386)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
