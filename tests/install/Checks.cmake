# Helpers of the installation checks.

string(REPLACE "," ";" ICON_SIZES "${ICON_SIZES}")

function(fail)
    string(JOIN "" message ${ARGN})
    message(FATAL_ERROR "${message}")
endfunction()

# Runs a command; fails with its output unless it succeeds. The output is
# returned in `out_var` when given.
function(run_checked out_var)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out
                    ERROR_VARIABLE err)
    if(NOT result EQUAL 0)
        fail("command failed (${result}): ${ARGN}\n${out}\n${err}")
    endif()
    if(out_var)
        set(${out_var} "${out}" PARENT_SCOPE)
    endif()
endfunction()

# The files the program installs, relative to the prefix.
function(expected_files out_var)
    set(files
        share/applications/norvane.desktop
        share/metainfo/com.halvorix.norvane.metainfo.xml
        share/icons/hicolor/scalable/apps/norvane.svg
        share/man/man1/norvane.1
        share/bash-completion/completions/norvane)
    foreach(size IN LISTS ICON_SIZES)
        list(APPEND files share/icons/hicolor/${size}x${size}/apps/norvane.png)
    endforeach()
    if(EXPECT_PROGRAM)
        list(APPEND files bin/norvane libexec/norvane/norvane-share-lister)
    endif()
    set(${out_var} ${files} PARENT_SCOPE)
endfunction()

# Checks the installed files under `root` (a prefix): each present, the PNG
# icons of their sizes, the metainfo valid, the desktop entry starting the
# installed program with its icon.
function(check_tree root)
    expected_files(files)
    foreach(file IN LISTS files)
        if(NOT EXISTS ${root}/${file})
            fail("missing ${root}/${file}")
        endif()
    endforeach()
    foreach(size IN LISTS ICON_SIZES)
        run_checked(kind file -b ${root}/share/icons/hicolor/${size}x${size}/apps/norvane.png)
        if(NOT kind MATCHES "^PNG image data, ${size} x ${size}, 8-bit/color RGBA")
            fail("icon ${size}: ${kind}")
        endif()
    endforeach()
    run_checked("" appstreamcli validate --no-net
                ${root}/share/metainfo/com.halvorix.norvane.metainfo.xml)
    file(READ ${root}/share/metainfo/com.halvorix.norvane.metainfo.xml metainfo)
    if(NOT metainfo MATCHES "<launchable type=\"desktop-id\">norvane.desktop</launchable>")
        fail("metainfo does not launch norvane.desktop")
    endif()
    file(STRINGS ${root}/share/applications/norvane.desktop desktop)
    foreach(line "[Desktop Entry]" "Type=Application" "Exec=norvane %U" "Icon=norvane")
        if(NOT line IN_LIST desktop)
            fail("desktop entry lacks '${line}'")
        endif()
    endforeach()
    # The manual page renders without warnings; the completion is valid bash
    # and completes the scan types.
    execute_process(COMMAND env MANWIDTH=80 man --warnings -l ${root}/share/man/man1/norvane.1
                    RESULT_VARIABLE result OUTPUT_VARIABLE manual ERROR_VARIABLE warnings)
    if(NOT result EQUAL 0 OR NOT warnings STREQUAL "" OR NOT manual MATCHES "--scan")
        fail("manual page (${result}): ${warnings}\n${manual}")
    endif()
    run_checked(completion bash -c
        "source ${root}/share/bash-completion/completions/norvane && COMP_WORDS=(norvane --scan f) && COMP_CWORD=2 && _norvane && echo \"\${COMPREPLY[*]}\"")
    if(NOT completion STREQUAL "folders\n")
        fail("bash completion of '--scan f': '${completion}'")
    endif()
    if(EXPECT_PROGRAM)
        run_checked(kind file -b ${root}/bin/norvane)
        if(NOT kind MATCHES "^ELF .* executable")
            fail("bin/norvane is not an executable: ${kind}")
        endif()
    endif()
endfunction()
