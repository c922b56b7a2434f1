# Installs the build tree into a fresh prefix and checks what arrived.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/Checks.cmake)

file(REMOVE_RECURSE ${WORK_DIR})
run_checked(log ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR})
check_tree(${WORK_DIR})

# Nothing lands outside the expected places.
expected_files(expected)
file(GLOB_RECURSE installed RELATIVE ${WORK_DIR} ${WORK_DIR}/*)
list(REMOVE_ITEM installed ${expected})
if(installed)
    fail("unexpected files installed: ${installed}")
endif()
