# Image file reading and writing for the texture extension functions (Debian libstb-dev).
find_library(FOOTLIGHT_STB_LIBRARY NAMES stb REQUIRED)
target_link_libraries(footlight_platform PUBLIC ${FOOTLIGHT_STB_LIBRARY})
# The colour converter and the file sources of the video filter graph (Debian libswscale-dev,
# libavformat-dev, libavcodec-dev).
find_package(PkgConfig REQUIRED)
pkg_check_modules(FOOTLIGHT_SWSCALE REQUIRED IMPORTED_TARGET libswscale libavutil libavformat libavcodec libswresample)
target_link_libraries(footlight_platform PRIVATE PkgConfig::FOOTLIGHT_SWSCALE)
