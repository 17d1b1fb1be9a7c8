# What `cmake --install` puts where (the GNU layout: bin/, share/man/,
# share/doc/glimmark/, ...) and the Debian packages `make package` builds
# from it: `glimmark`, the command (component cli); `glimmark-video`, the
# video module that records MP4, Matroska, WebM and GIF through FFmpeg's
# libraries (component video), which `glimmark` recommends, so that the
# command alone needs none of them; and `glimmark-studio`, the studio
# (component studio). The studio's package depends on the command's, which
# holds the help page and the examples it opens. `python3-glimmark`, the
# Python module (component python), stands on its own.

set(GLIMMARK_PACKAGE_MAINTAINER "The Glimmark developers <glimmark@example.org>"
    CACHE STRING "Maintainer named in the Debian packages")

# Man pages and Debian's changelogs go in gzipped, as Debian wants them.
find_program(GZIP_PROGRAM gzip)
function(gmk_gzipped source output)
  if(GZIP_PROGRAM)
    execute_process(COMMAND ${GZIP_PROGRAM} -9nc ${source} OUTPUT_FILE ${output}
                    COMMAND_ERROR_IS_FATAL ANY)
  else()
    file(ARCHIVE_CREATE OUTPUT ${output} PATHS ${source} FORMAT raw COMPRESSION GZip)
  endif()
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
endfunction()
set(gmk_dist ${CMAKE_BINARY_DIR}/dist)
file(MAKE_DIRECTORY ${gmk_dist})

# The command, its man page, completion, the help page, the examples.
install(TARGETS glimmark RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cli)
# The video encoder module (FFmpeg's libraries), loaded from the program's
# folder's ../GLIMMARK_MODULEDIR when a recording needs it.
if(TARGET glimmark_ffmpeg)
  install(TARGETS glimmark_ffmpeg LIBRARY DESTINATION ${GLIMMARK_MODULEDIR} COMPONENT video)
endif()
gmk_gzipped(${CMAKE_SOURCE_DIR}/docs/glimmark.1 ${gmk_dist}/glimmark.1.gz)
install(FILES ${gmk_dist}/glimmark.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT cli)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/glimmark.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME glimmark
        COMPONENT cli)
install(FILES ${CMAKE_SOURCE_DIR}/docs/gmkhelp.htm DESTINATION ${GLIMMARK_DOCDIR} COMPONENT cli)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION ${GLIMMARK_DOCDIR}/examples
        COMPONENT cli)
# The render farm recipes (README.md, "Render farms"), run from where they are
# or copied beside a cluster's job files.
install(PROGRAMS ${CMAKE_SOURCE_DIR}/scripts/farm/parallel-frames.sh
        ${CMAKE_SOURCE_DIR}/scripts/farm/parallel-rows.sh
        ${CMAKE_SOURCE_DIR}/scripts/farm/slurm-frames.sbatch
        DESTINATION ${CMAKE_INSTALL_DATADIR}/glimmark/farm COMPONENT cli)
# The licence as it is; the packages carry it as Debian's copyright file.
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${GLIMMARK_DOCDIR} COMPONENT license)

if(TARGET glimmark-studio)
  install(TARGETS glimmark-studio RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT studio)
  gmk_gzipped(${CMAKE_SOURCE_DIR}/docs/glimmark-studio.1 ${gmk_dist}/glimmark-studio.1.gz)
  install(FILES ${gmk_dist}/glimmark-studio.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT studio)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/glimmark.bash-completion
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
          RENAME glimmark-studio COMPONENT studio)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/glimmark-studio.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT studio)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/glimmark.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages COMPONENT studio)
  install(FILES ${CMAKE_SOURCE_DIR}/app/resources/glimmark.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
          RENAME glimmark-studio.svg COMPONENT studio)
endif()

# Each package's copyright and changelog in its own doc folder; only the
# packages install them (a component install), not a plain `cmake --install`.
string(TIMESTAMP GLIMMARK_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(gmk_components cli)
if(TARGET glimmark_ffmpeg)
  list(APPEND gmk_components video)
endif()
if(TARGET glimmark-studio)
  list(APPEND gmk_components studio)
endif()
if(TARGET glimmark_python)
  list(APPEND gmk_components python)
endif()
foreach(component IN LISTS gmk_components)
  if(component STREQUAL "cli")
    set(DEB_PACKAGE glimmark)
  elseif(component STREQUAL "python")
    set(DEB_PACKAGE python3-glimmark)
  else()
    set(DEB_PACKAGE glimmark-${component})
  endif()
  configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in ${gmk_dist}/${DEB_PACKAGE}/changelog
                 @ONLY)
  gmk_gzipped(${gmk_dist}/${DEB_PACKAGE}/changelog ${gmk_dist}/${DEB_PACKAGE}/changelog.gz)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${gmk_dist}/${DEB_PACKAGE}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${DEB_PACKAGE} COMPONENT ${component}
          EXCLUDE_FROM_ALL)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME glimmark)
set(CPACK_PACKAGE_VENDOR "The Glimmark developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${GLIMMARK_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${gmk_components})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_CLI_PACKAGE_NAME glimmark)
set(CPACK_DEBIAN_CLI_DESCRIPTION
    "ray tracer with a scene language of its own\n\
Glimmark traces scenes written in its own plain-text language (spheres,\n\
boxes, cones, quadrics, surfaces of revolution, meshes, CSG, lights, a\n\
camera and materials) into PNG or PPM pictures, or into videos when the\n\
scene is animated: AVI (raw or Motion-JPEG) by itself, and MP4, Matroska,\n\
WebM and GIF with the package glimmark-video.\n\
.\n\
This package holds the command glimmark, the reference of the language,\n\
example scenes and the recipes that share a render among the machines of a\n\
farm (GNU parallel, Slurm) in /usr/share/glimmark/farm.")
set(CPACK_DEBIAN_CLI_PACKAGE_RECOMMENDS "glimmark-video (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_CLI_PACKAGE_SUGGESTS "parallel, slurm-client")
set(CPACK_DEBIAN_VIDEO_PACKAGE_NAME glimmark-video)
set(CPACK_DEBIAN_VIDEO_PACKAGE_DEPENDS "glimmark (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_VIDEO_DESCRIPTION
    "MP4, Matroska, WebM and GIF recordings for Glimmark\n\
Glimmark traces scenes written in its own plain-text language into\n\
pictures and videos; by itself it records AVI files.\n\
.\n\
This package holds the module through which glimmark record and the\n\
studio write H.264 and MPEG-4 in MP4 and Matroska, VP9 in WebM and\n\
Matroska, and animated GIF, with FFmpeg's libraries.")
set(CPACK_DEBIAN_STUDIO_PACKAGE_NAME glimmark-studio)
set(CPACK_DEBIAN_STUDIO_PACKAGE_DEPENDS "glimmark (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_STUDIO_DESCRIPTION
    "editor and on-screen tracer for Glimmark scenes\n\
Glimmark traces scenes written in its own plain-text language into\n\
pictures and videos.\n\
.\n\
This package holds glimmark-studio, a Qt editor for scene text with the\n\
tracer built in: it checks a scene, traces it pixel by pixel on screen,\n\
records animations and opens the language reference at a selected word.")
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-glimmark)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
if(GLIMMARK_PYTHON)
  # The module is built for this Python version alone.
  math(EXPR gmk_python_next "${Python3_VERSION_MINOR} + 1")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
      "python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}), python3 (<< ${Python3_VERSION_MAJOR}.${gmk_python_next}), python3-numpy")
endif()
set(CPACK_DEBIAN_PYTHON_DESCRIPTION
    "Glimmark ray tracer for Python\n\
Glimmark traces scenes written in its own plain-text language into\n\
pictures and videos.\n\
.\n\
This package holds the Python module glimmark: it checks scene texts and\n\
traces them into NumPy arrays (the picture, and per pixel the depth, the\n\
surface normal, the object hit and the colour before it becomes bytes),\n\
shows them in Jupyter notebooks and writes PNG and OpenEXR files.")
include(CPack)
