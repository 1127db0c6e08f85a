# The documents every installation carries, and the packages CPack makes:
#   native build:  cpack -G DEB   one Debian package per component
#   cross build:   cpack -G ZIP   the Windows archive (Corvalin.aex, the
#                                 Win64 OpenFX bundle, license, install text)
#
# A Debian package per host rather than one: a render node that runs the
# filter under ffmpeg should not pull in OpenImageIO, a compositor's
# workstation that only wants the OpenFX plug-in should not pull in Python
# and NumPy, and the GEGL operation should not pull in GIMP, whose batch
# plug-in is a package of its own.
set(corvalin_packaging ${CMAKE_SOURCE_DIR}/cmake/packaging)
set(corvalin_generated ${CMAKE_BINARY_DIR}/packaging)

set(CPACK_PACKAGE_NAME corvalin)
set(CPACK_PACKAGE_VENDOR "The Corvalin authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_CHECKSUM SHA256)

if(WIN32)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "smooths the jagged edges of flat-colour images")
  # Windows readers expect CRLF lines.
  configure_file(${corvalin_packaging}/INSTALL.txt.in ${corvalin_generated}/INSTALL.txt @ONLY
                 NEWLINE_STYLE CRLF)
  file(READ ${CMAKE_SOURCE_DIR}/LICENSE corvalin_license)
  string(REPLACE "\n" "\r\n" corvalin_license "${corvalin_license}")
  file(WRITE ${corvalin_generated}/LICENSE.txt "${corvalin_license}")
  install(FILES ${corvalin_generated}/LICENSE.txt ${corvalin_generated}/INSTALL.txt
          DESTINATION . COMPONENT ae)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME Corvalin-${PROJECT_VERSION}-win64)
  set(CPACK_COMPONENTS_ALL ae ofx)
  include(CPack)
  return()
endif()

# README, license and changelog of the command's package; each other package
# has its own copyright and changelog, as Debian asks of every package.
file(STRINGS ${CMAKE_SOURCE_DIR}/LICENSE corvalin_license_lines)
set(CORVALIN_LICENSE_BODY "")
set(corvalin_in_terms FALSE)
foreach(line IN LISTS corvalin_license_lines)
  if(line MATCHES "^Redistribution")
    set(corvalin_in_terms TRUE)
  endif()
  if(NOT corvalin_in_terms)
    continue()
  endif()
  if(line STREQUAL "")
    string(APPEND CORVALIN_LICENSE_BODY " .\n")
  else()
    string(APPEND CORVALIN_LICENSE_BODY " ${line}\n")
  endif()
endforeach()
string(REGEX REPLACE "\n$" "" CORVALIN_LICENSE_BODY "${CORVALIN_LICENSE_BODY}")
configure_file(${corvalin_packaging}/copyright.in ${corvalin_generated}/copyright @ONLY)

# The components this build makes (the frei0r filter and the Python module
# need their own headers): each becomes a package.
get_property(corvalin_components GLOBAL PROPERTY CORVALIN_COMPONENTS)
set(corvalin_cli_package corvalin)
set(corvalin_frei0r_package corvalin-frei0r)
set(corvalin_ofx_package corvalin-ofx)
set(corvalin_python_package python3-corvalin)
set(corvalin_gegl_package corvalin-gegl)
set(corvalin_gimp_package corvalin-gimp)
find_program(CORVALIN_GZIP gzip REQUIRED)
foreach(component IN LISTS corvalin_components)
  set(corvalin_package ${corvalin_${component}_package})
  set(dir ${corvalin_generated}/${corvalin_package})
  configure_file(${corvalin_packaging}/changelog.in ${dir}/changelog @ONLY)
  # gzip -n: no name or time stamp, so that the package is reproducible.
  execute_process(COMMAND ${CORVALIN_GZIP} -9nf ${dir}/changelog COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${corvalin_generated}/copyright ${dir}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${corvalin_package} COMPONENT ${component})
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/CHANGELOG.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/corvalin COMPONENT cli)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${corvalin_components})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Corvalin authors <authors@corvalin.org>")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Each package's description starts with its own synopsis line.
# Dependencies come from the binaries (dpkg-shlibdeps), not from a list.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(corvalin_long_description
    "Corvalin smooths the jagged, stair-stepped edges of flat-colour images:\ncel animation, line art and keyed graphics. It measures each stair step\nalong an edge and blends the pixels along it with graded coverage weights;\nflat regions pass through unchanged. Its output is defined bit for bit,\nthe same in every host.")

set(CPACK_DEBIAN_CLI_PACKAGE_NAME corvalin)
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_CLI_DESCRIPTION
    "edge smoother for flat-colour images - command line\n${corvalin_long_description}\n.\nThis package holds the corvalin command, which renders PNG, TIFF, TGA and\nOpenEXR images and image sequences, and its render farm job for Slurm\n(corvalin-submit).")

set(CPACK_DEBIAN_FREI0R_PACKAGE_NAME corvalin-frei0r)
set(CPACK_DEBIAN_FREI0R_PACKAGE_SECTION video)
set(CPACK_DEBIAN_FREI0R_DESCRIPTION
    "edge smoother for flat-colour images - frei0r filter\n${corvalin_long_description}\n.\nThis package holds the frei0r filter corvalin, for ffmpeg, MLT (melt,\nShotcut, Kdenlive) and GStreamer.")

set(CPACK_DEBIAN_OFX_PACKAGE_NAME corvalin-ofx)
set(CPACK_DEBIAN_OFX_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_OFX_DESCRIPTION
    "edge smoother for flat-colour images - OpenFX plug-in\n${corvalin_long_description}\n.\nThis package holds the OpenFX plug-in bundle, installed in /usr/OFX/Plugins\nwhere OpenFX hosts look for it.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-corvalin)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
# The extension links no libpython: the interpreter version it was built for
# and NumPy cannot be read from the binary.
get_property(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS GLOBAL PROPERTY CORVALIN_PYTHON_DEPENDS)
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA ${corvalin_packaging}/python3-corvalin/prerm)
set(CPACK_DEBIAN_PYTHON_DESCRIPTION
    "edge smoother for flat-colour images - Python module\n${corvalin_long_description}\n.\nThis package holds the Python module corvalin, which renders NumPy arrays.")

set(CPACK_DEBIAN_GEGL_PACKAGE_NAME corvalin-gegl)
set(CPACK_DEBIAN_GEGL_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_GEGL_DESCRIPTION
    "edge smoother for flat-colour images - GEGL operation\n${corvalin_long_description}\n.\nThis package holds the GEGL operation corvalin:smooth-edges, in GEGL's\nplug-in folder, for GIMP (Tools > GEGL Operation in GIMP 2.10), the gegl\ncommand and GEGL's Python bindings.")

# The plug-in runs the operation: it needs this very version of it.
set(CPACK_DEBIAN_GIMP_PACKAGE_NAME corvalin-gimp)
set(CPACK_DEBIAN_GIMP_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_GIMP_PACKAGE_DEPENDS "corvalin-gegl (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_GIMP_DESCRIPTION
    "edge smoother for flat-colour images - GIMP 2.10 batch procedure\n${corvalin_long_description}\n.\nThis package holds the GIMP 2.10 plug-in that gives Script-Fu and batch\nmode the procedure plug-in-corvalin-smooth-edges, which applies the GEGL\noperation corvalin:smooth-edges to a layer.")

include(CPack)
