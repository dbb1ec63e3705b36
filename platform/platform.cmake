# Image file reading and writing for the texture extension functions (Debian libstb-dev).
find_library(FOOTLIGHT_STB_LIBRARY NAMES stb REQUIRED)
target_link_libraries(footlight_platform PUBLIC ${FOOTLIGHT_STB_LIBRARY})
# The colour converter and the file sources of the video filter graph (Debian libswscale-dev,
# libavformat-dev, libavcodec-dev): only their headers here, the libraries themselves are
# opened when a media file first opens (dshow/media_libraries.h).
find_package(PkgConfig REQUIRED)
pkg_check_modules(FOOTLIGHT_SWSCALE REQUIRED libswscale libavutil libavformat libavcodec libswresample)
target_include_directories(footlight_platform PRIVATE ${FOOTLIGHT_SWSCALE_INCLUDE_DIRS})
target_compile_options(footlight_platform PRIVATE ${FOOTLIGHT_SWSCALE_CFLAGS_OTHER})
