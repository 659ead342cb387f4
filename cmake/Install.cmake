# What a user installs: the three programs, their manual pages, the Arduino
# library's zip, the README with its pictures, the example score, the
# changelog and copyright; and the Debian package that carries them.
include(GNUInstallDirs)

install(TARGETS arvonic notepack arvplay RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The compiler's notes and version strings are of no use to a user; Debian's
# own packages drop them as well.
install(CODE "foreach(program arvonic notepack arvplay)
  execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment --remove-section=.note
                  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\"
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()")

# Manual pages are installed compressed, as Debian keeps them.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(man_pages)
foreach(program arvonic notepack arvplay)
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

# The changelog, compressed as well; its first entry is the version packaged.
file(STRINGS docs/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^${PROJECT_NAME} \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "docs/changelog: its first entry must be version ${PROJECT_VERSION}, not: ${changelog_head}")
endif()
set(changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(
  OUTPUT ${changelog}
  COMMAND ${GZIP_PROGRAM} -9nc ${PROJECT_SOURCE_DIR}/docs/changelog > ${changelog}
  DEPENDS ${PROJECT_SOURCE_DIR}/docs/changelog
  VERBATIM)
add_custom_target(changelog ALL DEPENDS ${changelog})

install(FILES README.md ${changelog} docs/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The README shows these pictures by their paths in the source tree.
install(FILES docs/notepack-window.png docs/piano-roll.png DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
install(FILES examples/score.xml DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
# The Arduino library, as the IDE's "Add .ZIP Library" takes it.
install(FILES ${CMAKE_BINARY_DIR}/ArvonicPlay-${PROJECT_VERSION}.zip DESTINATION ${CMAKE_INSTALL_DATADIR}/arvonic)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME arvonic)
set(CPACK_PACKAGE_VENDOR "the arvonic authors")
# SPDX-License-Identifier of the whole package, and its text.
set(CPACK_RPM_PACKAGE_LICENSE MIT)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# There is no public contact address yet: the reserved .invalid domain says so
# as plainly as localhost did, in a form the package tools accept.
set(CPACK_PACKAGE_CONTACT "the arvonic authors <arvonic@arvonic.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "convert score exports into PLAY music strings for microcontroller sketches")
set(CPACK_PACKAGE_DESCRIPTION
    "arvonic reads a MusicXML 4.0 score exported one element per line and writes
its melody as a header file holding a PROGMEM array of a PLAY music string,
and as a program file of PLAY statements to check the melody by ear.
notepack converts score.xml into tarvel.h with one length character per note.
arvplay plays such a header, program file or PLAY string, or writes its sound
to a file. The Arduino library ArvonicPlay, packed for the Arduino IDE, plays
the header on a board.")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# notepack loads SDL2 only when it opens its desktop window, so shlibdeps does
# not see it. Recommended, not suggested: apt installs it by default, and the
# window is how notepack shows its progress on a desktop; a server or a script
# runs without it (terminal or stream).
if(ARVONIC_DESKTOP_WINDOW)
  # notepack's window loads SDL2 and reads Unifont's glyphs when it opens.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libsdl2-2.0-0 (>= 2.0.22), unifont")
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
