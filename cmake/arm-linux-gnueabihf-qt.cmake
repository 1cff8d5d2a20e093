# The ARM build with the panel: the programs as arm-linux-gnueabihf.cmake
# builds them (static), and sensor_panel linked against Debian's armhf Qt 5
# unpacked into a sysroot by scripts/armhf-sysroot:
#   cmake -S . -B build-arm-panel \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabihf-qt.cmake \
#     -DSENSORKIT_ARMHF_SYSROOT=$(scripts/armhf-sysroot)
# Debian ships no static Qt, so the panel is dynamic: it needs Debian's armhf
# Qt libraries on the board, or the root scripts/panel-rootfs collects.
set(SENSORKIT_PANEL ON CACHE BOOL "")
include(${CMAKE_CURRENT_LIST_DIR}/arm-linux-gnueabihf.cmake)

# The compiler keeps its own C library and headers (those of the cross
# toolchain, the same glibc 2.36 as Debian's armhf libc6): the sysroot is
# only searched for packages, so no CMAKE_SYSROOT.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES SENSORKIT_ARMHF_SYSROOT)
if(NOT SENSORKIT_ARMHF_SYSROOT OR NOT EXISTS ${SENSORKIT_ARMHF_SYSROOT}/usr/lib/arm-linux-gnueabihf/cmake/Qt5)
	message(FATAL_ERROR "arm-linux-gnueabihf-qt.cmake: give -DSENSORKIT_ARMHF_SYSROOT=$(scripts/armhf-sysroot) "
		"(got '${SENSORKIT_ARMHF_SYSROOT}', which holds no armhf Qt 5)")
endif()
list(APPEND CMAKE_FIND_ROOT_PATH ${SENSORKIT_ARMHF_SYSROOT})

# Qt's libraries name theirs (libpng, ICU, GLib...) by soname only.
foreach(dir lib/arm-linux-gnueabihf usr/lib/arm-linux-gnueabihf)
	string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -Wl,-rpath-link,${SENSORKIT_ARMHF_SYSROOT}/${dir}")
endforeach()
# The sysroot's path means nothing on the board, where the libraries are in
# the loader's own directories: no RUNPATH. A cache entry, which CMake's own
# (set later, to NO) would otherwise hide.
set(CMAKE_SKIP_RPATH ON CACHE BOOL "No RUNPATH in the board's programs")

# moc, uic and rcc run on the build machine: the host's, of the same Qt
# release (panel/CMakeLists.txt takes them from here).
set(SENSORKIT_QT_HOST_TOOLS /usr/lib/qt5/bin CACHE PATH "Qt 5's moc, uic and rcc for the build machine")
