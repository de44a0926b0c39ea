# Installation in the standard places, and the Debian package made from it with CPack.
include(GNUInstallDirs)

install(TARGETS veruziva veruziva-demo veruziva-meter RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The programs look for the guide in ../share/veruziva beside their folder.
install(FILES docs/Veruziva.hlp DESTINATION ${CMAKE_INSTALL_DATADIR}/veruziva)
install(FILES packaging/org.zoruzoz.Veruziva.desktop packaging/org.zoruzoz.Veruziva.Demo.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/org.zoruzoz.Veruziva.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES packaging/org.zoruzoz.Veruziva.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES README.md packaging/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/veruziva)

# Manual pages, compressed as Debian wants them; the demo's page refers to the program's.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(man_pages)
foreach(page veruziva veruziva-meter)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.1.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
        COMMAND ${GZIP_PROGRAM} -9nc ${PROJECT_SOURCE_DIR}/docs/${page}.1 > ${CMAKE_BINARY_DIR}/man/${page}.1.gz
        DEPENDS ${PROJECT_SOURCE_DIR}/docs/${page}.1 VERBATIM)
    list(APPEND man_pages ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
endforeach()
# Written only when it changes, so that a configure step does not make the page anew.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/man/veruziva-demo.1 CONTENT ".so man1/veruziva.1\n")
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/veruziva-demo.1.gz
    COMMAND ${GZIP_PROGRAM} -9nc ${CMAKE_BINARY_DIR}/man/veruziva-demo.1 > ${CMAKE_BINARY_DIR}/man/veruziva-demo.1.gz
    DEPENDS ${CMAKE_BINARY_DIR}/man/veruziva-demo.1 VERBATIM)
list(APPEND man_pages ${CMAKE_BINARY_DIR}/man/veruziva-demo.1.gz)
add_custom_target(veruziva_man ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME veruziva)
set(CPACK_PACKAGE_VENDOR Zoruzoz)
set(CPACK_PACKAGE_CONTACT "Veruziva developers <veruziva@zoruzoz.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "sound-card oscilloscope and two-channel multimeter")
# The long description; CPack puts the summary above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Veruziva turns a PC sound card's stereo line input into a two-channel
oscilloscope and a two-channel multimeter: DC or AC readings in volts or
amperes through an external range board, a frequency counter and level bars,
with a calibration wizard and recording to WAV or to a text file of sampled
readings. veruziva-demo runs the instrument on a built-in signal generator;
veruziva-meter measures and records from the command line.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so not found among the libraries linked: the display plugin of Qt.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The readouts' faces, faces as narrow as the forms' one, and a proportional face for
# the menus, boxes and help (without it the default sans-serif can be a monospaced face).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dseg, fonts-liberation2, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "alsa-utils, pulseaudio | pipewire-pulse")
set(CPACK_STRIP_FILES ON)
include(CPack)
