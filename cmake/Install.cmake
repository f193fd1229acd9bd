# What an installation holds (cmake --install) and the Debian package made of
# it (cpack -G DEB, or the "package" target). Build the package with the
# prefix it installs to, so that the program knows its own bin folder:
#   cmake -S . -B build-deb -DCMAKE_INSTALL_PREFIX=/usr ... && cmake --build build-deb --target package

# The latest entry of packaging/changelog names the release: its version must
# be the project's, and its date is the release date everywhere else.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog _qb_heading LIMIT_COUNT 1)
if(NOT _qb_heading MATCHES "^quillbox \\(([^)]+)\\) ")
  message(FATAL_ERROR "packaging/changelog does not start with a 'quillbox (<version>) ...' entry")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog's latest entry is ${CMAKE_MATCH_1}, the project is "
    "${PROJECT_VERSION}: add an entry for the new version")
endif()
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog _qb_trailer REGEX "^ -- " LIMIT_COUNT 1)
if(NOT _qb_trailer MATCHES ", ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
  message(FATAL_ERROR "packaging/changelog: no date in the latest entry's trailer line")
endif()
set(_qb_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND _qb_months "${CMAKE_MATCH_2}" _qb_month)
math(EXPR _qb_month "${_qb_month} + 1" OUTPUT_FORMAT DECIMAL)
if(_qb_month LESS 10)
  set(_qb_month "0${_qb_month}")
endif()
set(QUILLBOX_RELEASE_DATE "${CMAKE_MATCH_3}-${_qb_month}-${CMAKE_MATCH_1}")

set(QUILLBOX_APPSTREAM_ID "invalid.quillbox.Quillbox")
set(QUILLBOX_SCREENSHOT_URL "https://quillbox.invalid/screenshots/" CACHE STRING
  "Where the pictures of docs/ are published, for the AppStream metadata (ends with /)")

# Generated files: the icon at fixed sizes, the AppStream metadata, the
# manual page and the changelog, compressed the way Debian wants them.
set(_qb_out ${PROJECT_BINARY_DIR}/install)
add_executable(quillbox_rendericon packaging/rendericon.cpp)
target_link_libraries(quillbox_rendericon PRIVATE Qt6::Gui Qt6::Svg)
set(_qb_generated)
foreach(size 48 256)
  set(_png ${_qb_out}/icons/${size}x${size}/quillbox.png)
  add_custom_command(OUTPUT ${_png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_qb_out}/icons/${size}x${size}
    # Leak reports of a sanitized build would only be about the toolkit.
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen
            $<TARGET_FILE:quillbox_rendericon> ${PROJECT_SOURCE_DIR}/resources/quillbox.svg ${size} ${_png}
    DEPENDS quillbox_rendericon ${PROJECT_SOURCE_DIR}/resources/quillbox.svg
    VERBATIM)
  list(APPEND _qb_generated ${_png})
  install(FILES ${_png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

configure_file(resources/quillbox.metainfo.xml.in ${_qb_out}/${QUILLBOX_APPSTREAM_ID}.metainfo.xml @ONLY)
configure_file(docs/quillbox.1.in ${_qb_out}/quillbox.1 @ONLY)
configure_file(packaging/changelog ${_qb_out}/changelog COPYONLY)
configure_file(packaging/quillbox-headless@.service.in ${_qb_out}/quillbox-headless@.service @ONLY)
foreach(plain quillbox.1 changelog)
  add_custom_command(OUTPUT ${_qb_out}/${plain}.gz
    COMMAND gzip -9nkf ${_qb_out}/${plain}
    DEPENDS ${_qb_out}/${plain}
    VERBATIM)
  list(APPEND _qb_generated ${_qb_out}/${plain}.gz)
endforeach()
add_custom_target(quillbox_install_files ALL DEPENDS ${_qb_generated})

set(_qb_doc ${CMAKE_INSTALL_DATADIR}/doc/quillbox)
install(TARGETS quillbox RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES resources/quillbox.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES resources/quillbox.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${_qb_out}/${QUILLBOX_APPSTREAM_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${_qb_out}/quillbox.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md packaging/copyright ${_qb_out}/changelog.gz DESTINATION ${_qb_doc})
# The service without a window, one instance per port (quillbox-headless@9100):
# where systemd looks for the units of packages under the prefix.
install(FILES ${_qb_out}/quillbox-headless@.service DESTINATION lib/systemd/system)

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillbox)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "Quillbox Software <support@quillbox.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "print-to-screen utility for raw print jobs sent over TCP")
set(CPACK_PACKAGE_DESCRIPTION
  "Quillbox shows the print jobs that programs and devices send as raw text to
one TCP port on the screen, each job as a report in its window, at once and
byte for byte. It is meant for legacy systems, point-of-sale terminals and
laboratory devices that can only print, and for developers testing printing
code.

Reports can be filtered by the user's rules, raise a sound and a flashing
colour, be kept as audit files with a window to browse them, and be saved,
copied and printed.

It also runs without a window or display (quillbox --headless), logging a
line per report: as a systemd service, one instance per port, or in a test
script that prints through it and compares what arrived.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded as a plug-in, so the binary's own dependencies do not show it: the
# program's icon, in its windows and its about box, is an SVG picture.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "sound-theme-freedesktop, adwaita-icon-theme")
include(CPack)
