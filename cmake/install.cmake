# Install rules, the shared library, pkg-config and CMake package files, the
# desktop entry with its icons, and the Debian package (cpack -G DEB).
# Included from the top-level CMakeLists.txt after every target is defined.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

include(${PROJECT_SOURCE_DIR}/cli/cli.cmake)

# The library as a shared object too, from the static library's objects
# (compiled position-independent for that). Only the public C API is
# exported; the stages stay internal.
set_target_properties(vantor PROPERTIES POSITION_INDEPENDENT_CODE ON EXPORT_NAME vantor_static)
target_include_directories(vantor PUBLIC $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
add_library(vantor_shared SHARED $<TARGET_OBJECTS:vantor>)
target_include_directories(vantor_shared PUBLIC
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_link_libraries(vantor_shared PRIVATE JPEG::JPEG GIF::GIF PNG::PNG TIFF::TIFF PkgConfig::WEBP)
if(VANTOR_PDF)
  target_link_libraries(vantor_shared PRIVATE PkgConfig::POPPLER_CPP)
  set(VANTOR_PC_PDF poppler-cpp)
endif()
set_target_properties(vantor_shared PROPERTIES
  OUTPUT_NAME vantor
  EXPORT_NAME vantor
  VERSION ${PROJECT_VERSION}
  SOVERSION ${PROJECT_VERSION_MAJOR}
  LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/vantor-exports.map)
target_link_options(vantor_shared PRIVATE
  -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/vantor-exports.map)

# Install components, one Debian package each: "runtime" (the command-line
# reader and its manual page), "gui" (the dialog, its manual page, desktop
# entry and icons), "lib" (the shared object) and "dev" (headers, static
# library, the .so link, pkg-config and CMake files). The programs link the
# library statically, so a server needs neither Qt nor the shared object.
install(TARGETS vantor_shared EXPORT VantorTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT lib NAMELINK_COMPONENT dev
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS vantor EXPORT VantorTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/vantor
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev
  FILES_MATCHING PATTERN "*.h" PATTERN "*.hpp")

# CMake package: find_package(Vantor) gives Vantor::vantor (shared) and
# Vantor::vantor_static.
set(VANTOR_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Vantor)
install(EXPORT VantorTargets NAMESPACE Vantor:: DESTINATION ${VANTOR_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/packaging/VantorConfig.cmake.in
  ${PROJECT_BINARY_DIR}/VantorConfig.cmake
  INSTALL_DESTINATION ${VANTOR_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VantorConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VantorConfig.cmake ${PROJECT_BINARY_DIR}/VantorConfigVersion.cmake
  DESTINATION ${VANTOR_CMAKE_DIR} COMPONENT dev)

# pkg-config: the prefix is found from the .pc file's own place, so the
# installed tree can be moved (cmake --install --prefix, packages).
set(VANTOR_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH VANTOR_PC_TO_PREFIX /prefix/${VANTOR_PC_DIR} /prefix)
string(REGEX REPLACE "/$" "" VANTOR_PC_TO_PREFIX "${VANTOR_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/packaging/vantor.pc.in ${PROJECT_BINARY_DIR}/vantor.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vantor.pc DESTINATION ${VANTOR_PC_DIR} COMPONENT dev)

# Manual pages, compressed as Debian keeps them (-n: no name or time in the
# header, so that the file is the same on every build).
set(VANTOR_MAN_PAGES vantor)
if(TARGET vantor-gui)
  list(APPEND VANTOR_MAN_PAGES vantor-gui)
endif()
foreach(page IN LISTS VANTOR_MAN_PAGES)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/man/${page}.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/docs/${page}.1 > ${PROJECT_BINARY_DIR}/man/${page}.1.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/${page}.1
    COMMENT "Compressing the manual page ${page}(1)")
  list(APPEND VANTOR_MAN_FILES ${PROJECT_BINARY_DIR}/man/${page}.1.gz)
endforeach()
add_custom_target(vantor-man-pages ALL DEPENDS ${VANTOR_MAN_FILES})

# Each package carries the copyright file in its documentation folder.
set(VANTOR_PACKAGES runtime:vantor lib:libvantor1 dev:libvantor-dev)
if(TARGET vantor-gui)
  list(APPEND VANTOR_PACKAGES gui:vantor-gui)
endif()
if(TARGET vantor_python)
  list(APPEND VANTOR_PACKAGES python:python3-vantor)
endif()
foreach(component_package IN LISTS VANTOR_PACKAGES)
  string(REPLACE ":" ";" pair ${component_package})
  list(GET pair 0 component)
  list(GET pair 1 package)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package}
    COMPONENT ${component})
endforeach()

# Programs and manual pages.
install(TARGETS vantor-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(FILES ${PROJECT_BINARY_DIR}/man/vantor.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)

if(TARGET vantor-gui)
  install(TARGETS vantor-gui RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT gui)
  install(FILES ${PROJECT_BINARY_DIR}/man/vantor-gui.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT gui)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/vantor-gui.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT gui)

  # The dialog's own icon, drawn by its code, saved as PNG files for the
  # desktop's icon theme.
  set(VANTOR_ICON_SIZES 16 24 32 48 64 128 256)
  add_executable(vantor-icon-export ${PROJECT_SOURCE_DIR}/packaging/icon_export.cpp)
  target_link_libraries(vantor-icon-export PRIVATE vantor_gui)
  set(VANTOR_ICON_FILES)
  foreach(size IN LISTS VANTOR_ICON_SIZES)
    list(APPEND VANTOR_ICON_FILES ${PROJECT_BINARY_DIR}/icons/${size}/vantor-gui.png)
  endforeach()
  add_custom_command(OUTPUT ${VANTOR_ICON_FILES}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
      $<TARGET_FILE:vantor-icon-export> ${PROJECT_BINARY_DIR}/icons ${VANTOR_ICON_SIZES}
    DEPENDS vantor-icon-export
    COMMENT "Saving the vantor-gui icon as PNG files")
  add_custom_target(vantor-icons ALL DEPENDS ${VANTOR_ICON_FILES})
  foreach(size IN LISTS VANTOR_ICON_SIZES)
    install(FILES ${PROJECT_BINARY_DIR}/icons/${size}/vantor-gui.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps COMPONENT gui)
  endforeach()
endif()

# Debian packages, built offline with cpack -G DEB --config CPackConfig.cmake
# in the build directory: vantor (the command-line reader), vantor-gui (the
# dialog), libvantor1 (the shared library), libvantor-dev and, when the
# Python module is built, python3-vantor. Library dependencies are found by
# dpkg-shlibdeps from the binaries.
set(CPACK_PACKAGE_NAME vantor)
set(CPACK_PACKAGE_VENDOR "The Vantor developers")
set(CPACK_PACKAGE_CONTACT "Vantor developers <vantor@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "QR Code reader for photos and scans")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime lib dev)
if(TARGET vantor-gui)
  list(APPEND CPACK_COMPONENTS_ALL gui)
endif()
if(TARGET vantor_python)
  list(APPEND CPACK_COMPONENTS_ALL python)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME vantor)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
  "QR Code reader for photos and scans\n The command-line reader vantor reads the text of QR Code, Micro QR, rMQR\n and QR Code Model 1 symbols out of JPEG, PNG, GIF, BMP, TIFF, WebP or\n Netpbm images.")
# FFmpeg's libraries are loaded when a video is first opened, so
# dpkg-shlibdeps does not see them: the packages that read videos name them,
# by the major versions built against.
set(VANTOR_VIDEO_DEPENDS "")
if(VANTOR_VIDEO)
  foreach(library avformat avcodec swscale avutil)
    string(REGEX MATCH "^[0-9]+" major "${FFMPEG_lib${library}_VERSION}")
    list(APPEND VANTOR_VIDEO_DEPENDS "lib${library}${major}")
  endforeach()
  list(JOIN VANTOR_VIDEO_DEPENDS ", " VANTOR_VIDEO_DEPENDS)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "${VANTOR_VIDEO_DEPENDS}")
  set(VANTOR_VIDEO_DEPENDS ", ${VANTOR_VIDEO_DEPENDS}")
endif()
set(CPACK_DEBIAN_GUI_PACKAGE_NAME vantor-gui)
# Its texts are Japanese: a face with their glyphs, or they show as boxes.
set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS "fonts-ipafont-gothic | fonts-noto-cjk | fonts-vlgothic")
set(CPACK_COMPONENT_GUI_DESCRIPTION
  "QR Code reader dialog\n The always-on-top dialog vantor-gui shows the text of the QR Code symbol in\n an image file dropped on it or named on its command line.")
set(CPACK_DEBIAN_LIB_PACKAGE_NAME libvantor1)
set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIB_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_COMPONENT_LIB_DESCRIPTION
  "QR Code reader library\n The shared Vantor library, which decodes QR Code symbols in grey pixels and\n reads image files.")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libvantor-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# The static library needs the image libraries at link time.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
  "libvantor1 (= ${PROJECT_VERSION}), libjpeg62-turbo-dev | libjpeg-dev, libgif-dev, libpng-dev, libtiff-dev, libwebp-dev")
set(CPACK_COMPONENT_DEV_DESCRIPTION
  "QR Code reader library: development files\n Headers, static library, pkg-config and CMake package files of the Vantor\n QR Code decoding library.")
# The module links the library statically, so it needs no other package of
# Vantor's; it is built for one Python version.
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-vantor)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "${VANTOR_PYTHON_DEPENDS}, python3-numpy${VANTOR_VIDEO_DEPENDS}")
set(CPACK_DEBIAN_PYTHON_PACKAGE_RECOMMENDS "python3-pil")
set(CPACK_DEBIAN_PYTHON_PACKAGE_SUGGESTS "python3-dask, python3-distributed, python3-pandas")
set(CPACK_COMPONENT_PYTHON_DESCRIPTION
  "QR Code reader for Python\n The vantor module decodes QR Code symbols from numpy arrays, Pillow images\n and image files, in threads and on Dask clusters; python3 -m vantor reads\n files from the command line.")
include(CPack)
