# The programs install as one self-contained folder, <prefix>/lib/vendra: the console, the
# command-line tool (when it is built), the simulated controller, the example installation and
# the README. Kavro.ini goes beside them. <prefix>/bin links the two programs an operator starts;
# the desktop entry and the icon go where desktops look for them under <prefix>/share. The
# Debian package is the same install with the prefix /usr.
set(VENDRA_APP_DIR lib/vendra)

foreach(program vendra vendractl tally-sim)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${VENDRA_APP_DIR})
    endif()
endforeach()
foreach(program vendra vendractl)
    if(TARGET ${program})
        set(link ${CMAKE_CURRENT_BINARY_DIR}/bin-links/${program})
        file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/bin-links)
        file(CREATE_LINK ../${VENDRA_APP_DIR}/${program} ${link} SYMBOLIC)
        install(FILES ${link} DESTINATION bin)
    endif()
endforeach()
install(FILES scripts/demo/demo.vdk DESTINATION ${VENDRA_APP_DIR}/examples)
install(FILES packaging/Kavro.ini.example DESTINATION ${VENDRA_APP_DIR}/examples RENAME Kavro.ini)
install(FILES README.md DESTINATION ${VENDRA_APP_DIR})
install(FILES packaging/vendra.svg DESTINATION share/icons/hicolor/scalable/apps)
# The unattended service's unit: installed, never enabled by the package.
if(TARGET vendractl)
    install(FILES packaging/vendractl-serve.service DESTINATION lib/systemd/system)
endif()

# The desktop entry names the folder the programs are installed in, which is known only at
# install time (cmake --install --prefix, or the package's /usr).
install(CODE "
    set(VENDRA_INSTALL_DIR \"\${CMAKE_INSTALL_PREFIX}/${VENDRA_APP_DIR}\")
    set(VENDRA_ICON \"\${CMAKE_INSTALL_PREFIX}/share/icons/hicolor/scalable/apps/vendra.svg\")
    configure_file(\"${CMAKE_CURRENT_SOURCE_DIR}/packaging/vendra.desktop.in\"
                   \"${CMAKE_CURRENT_BINARY_DIR}/desktop/vendra.desktop\" @ONLY)
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/share/applications\" TYPE FILE
         FILES \"${CMAKE_CURRENT_BINARY_DIR}/desktop/vendra.desktop\")
")

# What a Debian package must carry besides the programs: its copyright and its changelog.
set(VENDRA_CONTACT "Vendra developers <dev@vendra.example>")
string(TIMESTAMP VENDRA_RELEASE_DATE "%a, %d %b %Y 00:00:00 +0000" UTC)
configure_file(packaging/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/doc/changelog @ONLY)
execute_process(COMMAND gzip -9 -n -f ${CMAKE_CURRENT_BINARY_DIR}/doc/changelog)
install(FILES packaging/copyright ${CMAKE_CURRENT_BINARY_DIR}/doc/changelog.gz
        DESTINATION share/doc/vendra)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vendra)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${VENDRA_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "operator's console for a serial-attached tally controller")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "The console shows the outputs and inputs of one tally installation, maps
outputs to inputs (or to the AND or OR of two) on the controller, reads the
controller's table back, saves and loads tally matrix files, tests outputs
and watches the input bits of a unit. A simulated controller is included
for practice without hardware.")
# Installed with DESTDIR, so that the prefix the install sees is /usr, not the staging folder.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
include(CPack)

# Manual pages made from the programs' --help at build time.
foreach(program vendra vendractl)
    if(TARGET ${program})
        set(page ${CMAKE_CURRENT_BINARY_DIR}/man/${program}.1.gz)
        add_custom_command(OUTPUT ${page}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
            COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ${CMAKE_COMMAND}
                    -DPROGRAM=$<TARGET_FILE:${program}> -DNAME=${program}
                    -DVERSION=${PROJECT_VERSION} -DOUT=${page}
                    -DHELP=$<IF:$<STREQUAL:${program},vendractl>,--manual,--help>
                    -P ${CMAKE_CURRENT_SOURCE_DIR}/packaging/man_page.cmake
            DEPENDS ${program} ${CMAKE_CURRENT_SOURCE_DIR}/packaging/man_page.cmake
            COMMENT "Manual page of ${program}")
        add_custom_target(${program}-man ALL DEPENDS ${page})
        install(FILES ${page} DESTINATION share/man/man1)
    endif()
endforeach()
