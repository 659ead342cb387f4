# What a user installs: the two programs, their manual pages, the README and the
# example score; and the Debian package that carries them.
include(GNUInstallDirs)

install(TARGETS arvonic notepack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual pages are installed compressed, as Debian keeps them.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(man_pages)
foreach(program arvonic notepack)
  set(page ${CMAKE_CURRENT_BINARY_DIR}/man/${program}.1.gz)
  add_custom_command(
    OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
    COMMAND ${GZIP_PROGRAM} -9nc ${PROJECT_SOURCE_DIR}/${program}/${program}.1 > ${page}
    DEPENDS ${PROJECT_SOURCE_DIR}/${program}/${program}.1
    VERBATIM)
  list(APPEND man_pages ${page})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES examples/score.xml DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME arvonic)
set(CPACK_PACKAGE_VENDOR "the arvonic authors")
set(CPACK_PACKAGE_CONTACT "the arvonic authors <arvonic@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "convert score exports into PLAY music strings for microcontroller sketches")
set(CPACK_PACKAGE_DESCRIPTION
    "arvonic reads a MusicXML 4.0 score exported one element per line and writes
its melody as a header file holding a PROGMEM array of a PLAY music string,
and as a program file of PLAY statements to check the melody by ear.
notepack converts score.xml into tarvel.h with one length character per note.")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# notepack loads SDL2 only when it opens its desktop window, so shlibdeps does
# not see it. Recommended, not suggested: apt installs it by default, and the
# window is how notepack shows its progress on a desktop; a server or a script
# runs without it (terminal or stream).
if(ARVONIC_DESKTOP_WINDOW)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libsdl2-2.0-0 (>= 2.0.22)")
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
