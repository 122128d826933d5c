# What `cmake --install` lays out, and the Debian package made from it:
#   bin/leafstash
#   share/leafstash/LANG/                      language and help files
#   share/leafstash/extension/, leafstash.xpi  the browser extension
#   share/leafstash/native-messaging-hosts/    host manifests naming bin/leafstash
#   share/applications/leafstash.desktop, share/icons/hicolor/*/apps/leafstash.png
#   share/man/man1/leafstash.1.gz, share/doc/leafstash/
include(GNUInstallDirs)

install(TARGETS leafstash RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/LANG
        DESTINATION ${CMAKE_INSTALL_DATADIR}/leafstash)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/extension/
        DESTINATION ${CMAKE_INSTALL_DATADIR}/leafstash/extension
        FILES_MATCHING PATTERN "manifest.json" PATTERN "background.js" PATTERN "frame.js"
                       PATTERN "options.html" PATTERN "options.js"
                       PATTERN "messages.json" PATTERN "*.png")
install(FILES ${PROJECT_BINARY_DIR}/leafstash.xpi DESTINATION ${CMAKE_INSTALL_DATADIR}/leafstash)
install(FILES ${PROJECT_SOURCE_DIR}/resources/leafstash.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 32 128)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/leafstash-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME leafstash.png)
endforeach()

# The man page and the change log, compressed as Debian keeps them (-n: no
# name or time stamp, so the same sources give the same bytes).
set(packed_docs ${PROJECT_BINARY_DIR}/packed-docs)
add_custom_command(OUTPUT ${packed_docs}/leafstash.1.gz ${packed_docs}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${packed_docs}
  COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/resources/man/leafstash.1 > ${packed_docs}/leafstash.1.gz
  COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/resources/package/changelog > ${packed_docs}/changelog.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/resources/man/leafstash.1
          ${PROJECT_SOURCE_DIR}/resources/package/changelog
  VERBATIM)
add_custom_target(leafstash_packed_docs ALL
  DEPENDS ${packed_docs}/leafstash.1.gz ${packed_docs}/changelog.gz)
install(FILES ${packed_docs}/leafstash.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packed_docs}/changelog.gz ${PROJECT_SOURCE_DIR}/resources/package/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/leafstash)

# The host manifests name the program where it is installed, so they are
# written at install time, under the staging folder when there is one.
install(CODE "
  execute_process(
    COMMAND $<TARGET_FILE:leafstash-host-manifests>
            \${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/leafstash
            \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/leafstash/native-messaging-hosts
    RESULT_VARIABLE written)
  if(NOT written EQUAL 0)
    message(FATAL_ERROR \"The host manifests could not be written\")
  endif()
  message(STATUS \"Host manifests: \${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/leafstash/native-messaging-hosts\")
")

# The Debian package (scripts/package): leafstash_<version>_<arch>.deb,
# installing under /usr, its library dependencies found by dpkg-shlibdeps;
# installing it registers the host for every user, removing it unregisters.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME leafstash)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
set(CPACK_PACKAGE_VENDOR "Leafstash developers")
set(CPACK_PACKAGE_CONTACT "Leafstash developers <leafstash@leafstash.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keeps a web page for reading offline")
set(CPACK_PACKAGE_DESCRIPTION
  "Leafstash saves the page the browser shows, with its frames, pictures,
style sheets and scripts and the linked pages the user picks, into a folder,
and rewrites the links so that the copy reads without a network. A later save
into the same folder reuses what is already there. Pages are saved from the
browser's context menu (through the browser extension the package carries,
for Chromium, Google Chrome and Firefox) or with `leafstash save`.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://leafstash.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "chromium | firefox-esr")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/resources/package/postinst ${PROJECT_SOURCE_DIR}/resources/package/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
