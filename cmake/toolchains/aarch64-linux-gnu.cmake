# Cross build for 64-bit ARM Linux with Debian's g++-aarch64-linux-gnu:
#   cmake -S . -B build-aarch64 -DCMAKE_BUILD_TYPE=Release \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/aarch64-linux-gnu.cmake
# The player library and xmplay build; parts whose libraries the target lacks
# (SDL2, GL, GoogleTest, benchmark, X11) drop out. Programs run under
# qemu-aarch64 when it is installed.
set(KORVANTI_CROSS_TRIPLE aarch64-linux-gnu)
set(KORVANTI_CROSS_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
