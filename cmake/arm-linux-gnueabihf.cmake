# Cross-compiles the command-line programs for a 32-bit ARM board with
# Debian's gcc-arm-linux-gnueabihf / g++-arm-linux-gnueabihf:
#   cmake -S . -B build-arm -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabihf.cmake
# The programs link statically, so they run on any board root file system.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

set(CMAKE_FIND_ROOT_PATH /usr/arm-linux-gnueabihf)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Only the programs run on the board: no host model, panel, sanitizers or
# virtual board there.
set(SENSORKIT_HOST OFF CACHE BOOL "")
set(SENSORKIT_PANEL OFF CACHE BOOL "")
set(SENSORKIT_SANITIZE OFF CACHE BOOL "")
set(SENSORKIT_BOARD OFF CACHE BOOL "")
