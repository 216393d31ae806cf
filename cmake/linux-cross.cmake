# Shared by the Linux cross toolchains: Debian's cross compiler for
# ${tarnvil_triplet}, its headers and libraries under /usr/${tarnvil_triplet},
# and qemu-user to run what it builds. The programs and tests are linked
# statically, so qemu needs no system of the target.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${tarnvil_triplet}-gcc)
set(CMAKE_CXX_COMPILER ${tarnvil_triplet}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${tarnvil_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
find_program(TARNVIL_QEMU_${CMAKE_SYSTEM_PROCESSOR} NAMES ${tarnvil_qemu} ${tarnvil_qemu}-static)
if(TARNVIL_QEMU_${CMAKE_SYSTEM_PROCESSOR})
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TARNVIL_QEMU_${CMAKE_SYSTEM_PROCESSOR}})
endif()
