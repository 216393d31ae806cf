# Linux arm64, run under qemu-user:
#   cmake -B build-arm64 --toolchain cmake/aarch64-linux-gnu.cmake
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(tarnvil_triplet aarch64-linux-gnu)
set(tarnvil_qemu qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
