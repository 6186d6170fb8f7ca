# `make install` (cmake --install): the two programs, the engine with its
# headers, and what lets other programs find the engine: a pkg-config file and
# a CMake package (find_package(zarn) gives zarn::zarn).
include(CMakePackageConfigHelpers)

# Debian wants man pages and changelogs compressed, reproducibly (-n: no name
# or time stamp inside); man reads them so from any prefix.
function(zarn_gzip source output)
    add_custom_command(OUTPUT ${output}
                       COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" gzip ${source} ${output}
                       DEPENDS ${source} VERBATIM)
    get_filename_component(name ${output} NAME)
    add_custom_target(gzip-${name} ALL DEPENDS ${output})
endfunction()

install(TARGETS zarn-cli zarn-match RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# libzarn.so.1.0.0 with libzarn.so.1 beside it, and libzarn.so: the name the tool
# imports and the one a linker looks for.
install(TARGETS zarn EXPORT zarnTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/enroll/include/zarn.h ${PROJECT_SOURCE_DIR}/engine/zarn_engine.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(ZARN_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/zarn)
install(EXPORT zarnTargets NAMESPACE zarn:: DESTINATION ${ZARN_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/packaging/zarnConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/packaging/zarnConfig.cmake
                              INSTALL_DESTINATION ${ZARN_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/packaging/zarnConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/packaging/zarnConfig.cmake
              ${CMAKE_BINARY_DIR}/packaging/zarnConfigVersion.cmake
        DESTINATION ${ZARN_CMAKE_DIR})

configure_file(${PROJECT_SOURCE_DIR}/packaging/zarn.pc.in ${CMAKE_BINARY_DIR}/packaging/zarn.pc
               @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/zarn.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The licence and the history of releases, where Debian looks for them.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
zarn_gzip(${PROJECT_SOURCE_DIR}/packaging/changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
