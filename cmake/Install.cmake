# Installation and packaging: the program, its desktop entry, its icon in
# the hicolor theme (scalable and rendered at the fixed sizes), its AppStream
# metainfo, its manual page and its bash completion; `cpack` (or the `package` target) builds a Debian
# package of the same files.

include(GNUInstallDirs)

set(NORVANE_ICON_SVG ${PROJECT_SOURCE_DIR}/resources/images/norvane.svg)
set(NORVANE_ICON_SIZES 16 22 24 32 48 64 128 256)
set(NORVANE_ICON_DIR ${PROJECT_BINARY_DIR}/icons/hicolor)

# The PNG icons are rendered from the SVG at build time.
add_executable(norvane_render_icon ${PROJECT_SOURCE_DIR}/packaging/render_icon.cpp)
target_link_libraries(norvane_render_icon PRIVATE Qt6::Gui Qt6::Svg)
set(NORVANE_ICON_PNGS)
foreach(size IN LISTS NORVANE_ICON_SIZES)
    list(APPEND NORVANE_ICON_PNGS ${NORVANE_ICON_DIR}/${size}x${size}/apps/norvane.png)
endforeach()
add_custom_command(
    OUTPUT ${NORVANE_ICON_PNGS}
    # Leak reports of a sanitized build, and thread reports about Qt's own
    # uninstrumented thread pool, would fail this short-lived tool.
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
            TSAN_OPTIONS=ignore_noninstrumented_modules=1
            $<TARGET_FILE:norvane_render_icon> ${NORVANE_ICON_SVG} ${NORVANE_ICON_DIR}
            ${NORVANE_ICON_SIZES}
    DEPENDS norvane_render_icon ${NORVANE_ICON_SVG}
    COMMENT "Rendering the program icon"
    VERBATIM)
add_custom_target(norvane_icons ALL DEPENDS ${NORVANE_ICON_PNGS})

if(TARGET norvane)
    install(TARGETS norvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    # The share listing processes' program, which the platform looks for
    # beside the executable, then here.
    install(TARGETS norvane-share-lister RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/norvane)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/norvane.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/com.halvorix.norvane.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${NORVANE_ICON_SVG}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size IN LISTS NORVANE_ICON_SIZES)
    install(FILES ${NORVANE_ICON_DIR}/${size}x${size}/apps/norvane.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/norvane.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/norvane.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME norvane)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME norvane)
set(CPACK_PACKAGE_VENDOR Halvorix)
set(CPACK_PACKAGE_CONTACT "Halvorix <norvane@halvorix.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "inventory the computers and shares of a Windows network")
set(CPACK_PACKAGE_DESCRIPTION
    "Norvane walks every workgroup and domain that NetBIOS browsing can see and lists every computer (name, IP address, group, comment, MAC address) or every shared folder or printer (name, group, comment). Lists can be sorted, saved as plain-text reports, searched, and computers pinged.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY norvane)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The scan store's SQLite driver; PostgreSQL's (libqt6sql6-psql) is only
# needed for a store on a server.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "ieee-data, libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libqt6sql6-psql")
# The dependencies come from shlibdeps, and ieee-data, whose registries name
# the vendors of MAC addresses; the SVG image and icon plugins ship in
# libqt6svg6, which the program links. The Wayland platform plugin is
# loaded at run time only (X11's comes with Qt's GUI library).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
include(CPack)
