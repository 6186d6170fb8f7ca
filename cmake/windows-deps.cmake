# Output folders and third-party libraries of the Windows build.
# Boost.Program_options comes from scripts/build-boost-mingw.sh (Debian ships
# no MinGW build of it); stb_image is compiled from Debian's header.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
# zarn.dll, not libzarn.dll: the name the tool imports and users drop in.
set(CMAKE_SHARED_LIBRARY_PREFIX "")

set(ZARN_MINGW_BOOST_DIR ${CMAKE_BINARY_DIR}/boost CACHE PATH
    "Output of scripts/build-boost-mingw.sh")
set(ZARN_MINGW_BOOST_LIBRARY ${ZARN_MINGW_BOOST_DIR}/lib/libboost_program_options.a)
if(NOT EXISTS ${ZARN_MINGW_BOOST_LIBRARY})
    message(FATAL_ERROR "${ZARN_MINGW_BOOST_LIBRARY} is missing: run "
                        "scripts/build-boost-mingw.sh ${CMAKE_BINARY_DIR} first (make windows does)")
endif()
add_library(Boost::program_options STATIC IMPORTED)
set_target_properties(Boost::program_options PROPERTIES
    IMPORTED_LOCATION ${ZARN_MINGW_BOOST_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${ZARN_MINGW_BOOST_DIR}/include
    INTERFACE_COMPILE_DEFINITIONS BOOST_ALL_NO_LIB)

# The header is architecture-independent; only its implementation is built here.
find_path(STB_INCLUDE_DIR stb_image.h PATHS /usr/include/stb NO_CMAKE_FIND_ROOT_PATH REQUIRED)
add_library(stb STATIC ${CMAKE_SOURCE_DIR}/enroll/stb_image_impl.c)
target_include_directories(stb SYSTEM PUBLIC ${STB_INCLUDE_DIR})
# Third-party code: its warnings are not ours to fix.
target_compile_options(stb PRIVATE -w)

find_package(Threads REQUIRED)

# The MinGW math header keeps M_PI behind this in strict C++17 mode.
add_compile_definitions(_USE_MATH_DEFINES)
