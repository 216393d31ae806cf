# Linux on s390x, big-endian, run under qemu-user:
#   cmake -B build-s390x --toolchain cmake/s390x-linux-gnu.cmake
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(tarnvil_triplet s390x-linux-gnu)
set(tarnvil_qemu qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
