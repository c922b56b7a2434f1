# Fails when a library's sources include a header of a library above it.
# Run in script mode: cmake -DSOURCE_DIR=<src> -DSTAMP=<file> -P this file.
#
# Each rule: a folder under src/, the folders inside it that are libraries
# of their own (checked by their own rules), and the include prefixes its
# files may not use.
cmake_policy(SET CMP0007 NEW)
set(rules
    "core|threading,store|threading/ mainwindow/ widgets/ dialogs/ models/ linux/ cli/ store/"
    "core/store||threading/ mainwindow/ widgets/ dialogs/ models/ linux/ cli/"
    "core/threading||mainwindow/ widgets/ dialogs/ models/ linux/ cli/ store/"
    "codecs||threading/ mainwindow/ widgets/ dialogs/ models/ linux/ cli/ store/ scan/ session/ platform/"
    "platform||threading/ mainwindow/ widgets/ dialogs/ models/ cli/ store/"
    "platform/linux/discovery||linux/wsd/ linux/dnssd/ linux/directory/ linux/sweep/"
    "cli||threading/ mainwindow/ widgets/ dialogs/ models/"
    "gui/widgets||mainwindow/ dialogs/ linux/ cli/ threading/ store/"
    "gui/models||mainwindow/ dialogs/ linux/ cli/ threading/ store/"
    "gui/dialogs||mainwindow/ linux/ cli/ threading/")

set(faults "")
foreach(rule IN LISTS rules)
    string(REPLACE "|" ";" parts "${rule}")
    list(GET parts 0 folder)
    list(GET parts 1 own)
    list(GET parts 2 forbidden)
    string(REPLACE "," ";" own "${own}")
    string(REPLACE " " ";" forbidden "${forbidden}")
    file(GLOB_RECURSE files "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
    foreach(file IN LISTS files)
        file(RELATIVE_PATH relative "${SOURCE_DIR}/${folder}" "${file}")
        set(skip FALSE)
        foreach(inner IN LISTS own)
            if(inner AND relative MATCHES "^${inner}/")
                set(skip TRUE)
            endif()
        endforeach()
        if(skip)
            continue()
        endif()
        file(STRINGS "${file}" includes REGEX "^#include \"")
        foreach(line IN LISTS includes)
            foreach(prefix IN LISTS forbidden)
                if(line MATCHES "^#include \"${prefix}")
                    string(APPEND faults "  ${folder}/${relative}: ${line}\n")
                endif()
            endforeach()
        endforeach()
    endforeach()
endforeach()

if(faults)
    message(FATAL_ERROR "Includes across library boundaries:\n${faults}")
endif()
file(TOUCH "${STAMP}")
