# Image file reading and writing for the texture extension functions (Debian libstb-dev).
find_library(FOOTLIGHT_STB_LIBRARY NAMES stb REQUIRED)
target_link_libraries(footlight_platform PUBLIC ${FOOTLIGHT_STB_LIBRARY})
