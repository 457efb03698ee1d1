# Cross build for IBM Z Linux (s390x, a big-endian processor) with Debian's
# g++-s390x-linux-gnu:
#   cmake -S . -B build-s390x -DCMAKE_BUILD_TYPE=Release \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/s390x-linux-gnu.cmake
# As for aarch64: the player library and xmplay, run under qemu-s390x.
set(KORVANTI_CROSS_TRIPLE s390x-linux-gnu)
set(KORVANTI_CROSS_QEMU qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
