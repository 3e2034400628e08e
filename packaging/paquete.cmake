# The Debian package: `cpack -G DEB` in a build folder (scripts/package does
# it all) writes quelvaren_<version>_<arch>.deb with the program, its desktop
# entry and icons (installed by app/ and about/), the AppStream metadata, a
# manual page, and the changelog and copyright that Debian wants in
# /usr/share/doc/quelvaren; for administrators, an example policy and the
# Group Policy templates there, and a start in every session (a systemd user
# unit and an XDG autostart entry) that nothing enables.

set(QUELVAREN_AUTOR "El equipo de Quelvaren")
# The addresses (QUELVAREN_PAGINA, QUELVAREN_URL_FALLOS, QUELVAREN_URL_CAPTURAS,
# QUELVAREN_CORREO) are set in the top CMakeLists.txt; each one left empty
# leaves out what would carry it.
if(QUELVAREN_CORREO)
    set(QUELVAREN_MANTENEDOR "${QUELVAREN_AUTOR} <${QUELVAREN_CORREO}>")
else()
    set(QUELVAREN_MANTENEDOR "${QUELVAREN_AUTOR}")
endif()
# The day this version was published, for the changelog and the metadata.
set(QUELVAREN_FECHA_VERSION "2026-12-07")
set(QUELVAREN_ID_APPSTREAM "io.github.quelvaren.Quelvaren")

string(SUBSTRING "${QUELVAREN_FECHA_VERSION}" 0 4 QUELVAREN_ANIO_VERSION)
execute_process(COMMAND date -u -R -d "${QUELVAREN_FECHA_VERSION} 12:00"
                OUTPUT_VARIABLE QUELVAREN_FECHA_VERSION_RFC
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)

# The metadata's optional elements, each only with its address.
set(QUELVAREN_XML_DIRECCIONES "")
foreach(par "homepage;QUELVAREN_PAGINA" "bugtracker;QUELVAREN_URL_FALLOS")
    list(GET par 0 tipo)
    list(GET par 1 direccion)
    if(${direccion})
        string(REPLACE "&" "&amp;" valor "${${direccion}}")
        string(APPEND QUELVAREN_XML_DIRECCIONES "\n  <url type=\"${tipo}\">${valor}</url>")
    endif()
endforeach()
if(QUELVAREN_URL_CAPTURAS)
    string(REPLACE "&" "&amp;" valor "${QUELVAREN_URL_CAPTURAS}")
    string(APPEND QUELVAREN_XML_DIRECCIONES "
  <screenshots>
    <screenshot type=\"default\">
      <caption>The main window: the level, its scroll bar and the control button</caption>
      <caption xml:lang=\"es\">La ventana principal: el valor, su barra de desplazamiento y el botón de control</caption>
      <image>${valor}/ventana-principal.png</image>
    </screenshot>
  </screenshots>")
endif()
if(QUELVAREN_CORREO)
    string(APPEND QUELVAREN_XML_DIRECCIONES "\n  <update_contact>${QUELVAREN_CORREO}</update_contact>")
endif()
# The copyright file's header names the contact and the source only when known
# (both are optional in that format), and its licence says where to write.
set(QUELVAREN_COPYRIGHT_DIRECCIONES "")
set(QUELVAREN_COPYRIGHT_ESCRIBIR "")
if(QUELVAREN_CORREO)
    string(APPEND QUELVAREN_COPYRIGHT_DIRECCIONES "\nUpstream-Contact: ${QUELVAREN_MANTENEDOR}")
    set(QUELVAREN_COPYRIGHT_ESCRIBIR
        "\n Write to ${QUELVAREN_CORREO} about using or sharing it.")
endif()
if(QUELVAREN_PAGINA)
    string(APPEND QUELVAREN_COPYRIGHT_DIRECCIONES "\nSource: ${QUELVAREN_PAGINA}")
endif()

set(paquete_generado ${CMAKE_BINARY_DIR}/paquete)
configure_file(${CMAKE_CURRENT_LIST_DIR}/${QUELVAREN_ID_APPSTREAM}.metainfo.xml.in
               ${paquete_generado}/${QUELVAREN_ID_APPSTREAM}.metainfo.xml @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/copyright.in ${paquete_generado}/copyright @ONLY)
# Debian wants the changelog and the manual page compressed at the highest
# level and without a time stamp (-n), so that the same sources give the same
# package.
foreach(documento changelog quelvaren.1)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/${documento}.in ${paquete_generado}/${documento} @ONLY)
    execute_process(COMMAND gzip -9 -n -c ${paquete_generado}/${documento}
                    OUTPUT_FILE ${paquete_generado}/${documento}.gz COMMAND_ERROR_IS_FATAL ANY)
endforeach()

include(GNUInstallDirs)
install(FILES ${paquete_generado}/${QUELVAREN_ID_APPSTREAM}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${paquete_generado}/copyright ${paquete_generado}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quelvaren)
install(FILES ${paquete_generado}/quelvaren.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The administrator's policy: an example file and the Group Policy templates,
# laid out as PolicyDefinitions.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/politica/politica.conf
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quelvaren/examples)
install(DIRECTORY ${CMAKE_CURRENT_LIST_DIR}/politica/PolicyDefinitions
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quelvaren)
# Started in every session only once an administrator enables it (README):
# the unit where systemd runs the session, the autostart entry elsewhere. The
# entry stays out of /etc/xdg/autostart, which would start it for everyone.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/arranque/quelvaren.service DESTINATION lib/systemd/user)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/arranque/quelvaren.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/quelvaren/autostart)
# Debian wants an e-mail address for the maintainer, in the control file and in
# the changelog; a build that names none gives the authors' name alone (and an
# empty <> in the changelog), and tells lintian so.
if(NOT QUELVAREN_CORREO)
    file(WRITE ${paquete_generado}/lintian
         "quelvaren: malformed-contact Maintainer *\n"
         "quelvaren: bogus-mail-host-in-debian-changelog *\n")
    install(FILES ${paquete_generado}/lintian DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
            RENAME quelvaren)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quelvaren)
set(CPACK_PACKAGE_VENDOR "${QUELVAREN_AUTOR}")
set(CPACK_PACKAGE_CONTACT "${QUELVAREN_MANTENEDOR}")
if(QUELVAREN_PAGINA)
    set(CPACK_PACKAGE_HOMEPAGE_URL "${QUELVAREN_PAGINA}")
endif()
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "holds the audio output volume at a chosen level")
set(CPACK_PACKAGE_DESCRIPTION
    "Quelvaren holds the volume of the default audio output device at a level
you choose. While control is active it watches the device and undoes at once
(within a few milliseconds) whatever another program, or the user, does to its
volume; it also writes the level back every two seconds.
.
It lives as a tray icon; its window and configuration are guarded by an access
password. The user interface is in Spanish. The level is written through
libpulse, to PulseAudio or to PipeWire's pulse server.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the binary links (dpkg-shlibdeps), and what it loads at run
# time: Qt's own Spanish texts for its standard buttons and dialogs, and the
# stand-ins for the Windows fonts the windows were drawn with.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n, fonts-comic-neue, fonts-dejavu-core, fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# `make package_source`: the sources without the build folders.
set(CPACK_SOURCE_GENERATOR TXZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git$" "/\\\\.git/" "/\\\\.cache/" "/build[^/]*/")
include(CPack)
