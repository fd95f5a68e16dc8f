# Software centres offer the first release listed as the one being installed, so it must be the
# version the package is built from.
file(READ "${METAINFO}" text)
string(REGEX MATCH "<release version=\"([^\"]*)\"" found "${text}")
if(NOT CMAKE_MATCH_1 STREQUAL VERSION)
    message(FATAL_ERROR "${METAINFO} lists release '${CMAKE_MATCH_1}' first; the project is ${VERSION}")
endif()
