# Running the cross-built tests under Wine, and under Xvfb for the window tests.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  message(FATAL_ERROR "CMAKE_CROSSCOMPILING_EMULATOR is not set: configure with cmake/toolchain-i686-mingw32.cmake")
endif()

include(GoogleTest)

set(WINE_ENV env "WINEPREFIX=${WINE_PREFIX_DIR}" WINEARCH=win32 WINEDEBUG=-all
    "WINEDLLOVERRIDES=mscoree,mshtml=" LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8)
set(WINE_RUN "${CMAKE_SOURCE_DIR}/cmake/wine-run.sh")
set(GUI_RUN "${CMAKE_SOURCE_DIR}/tests/gui/run-in-desktop.sh")

# The prefix is made by cmake/wine-run.sh before the first Windows program of
# a test run (cmake/make-wine-prefix.sh), and the tests are listed at test
# time too: building runs no Windows program, so it needs no Wine.

# One server for the whole run, stopped after the last test.
add_test(NAME wine_server_start COMMAND ${WINE_ENV} ${WINE_RUN} cmd /c exit 0)
set_tests_properties(wine_server_start PROPERTIES FIXTURES_SETUP WINE)
add_test(NAME wine_server_stop COMMAND ${WINE_ENV} /usr/bin/wineserver -k)
set_tests_properties(wine_server_stop PROPERTIES FIXTURES_CLEANUP WINE)

# add_wine_gtest(NAME SOURCES ... [LIBS ...] [DEPENDS ...])
# A GoogleTest program whose cases become CTest tests, run under Wine, with
# the build's own entry function (test_main, tests/CMakeLists.txt). Each
# program gets a scratch folder of its own, as a Windows path in
# VOLUMETRA_TEST_OUT (made at configure time).
function(add_wine_gtest name)
  cmake_parse_arguments(ARG "ONE_AT_A_TIME" "" "SOURCES;LIBS;DEPENDS" ${ARGN})
  # ONE_AT_A_TIME: the program's tests share a file beside the program (each
  # test is a process of its own, and CTest runs them in parallel).
  set(lock)
  if(ARG_ONE_AT_A_TIME)
    set(lock RESOURCE_LOCK ${name})
  endif()
  set(out "${CMAKE_CURRENT_BINARY_DIR}/${name}.out")
  file(MAKE_DIRECTORY "${out}")
  string(REPLACE "/" "\\" out_windows "Z:${out}")
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} test_main GTest::gmock)
  if(ARG_DEPENDS)
    add_dependencies(${name} ${ARG_DEPENDS})
  endif()
  gtest_discover_tests(${name}
    TEST_PREFIX "${name}."
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    PROPERTIES FIXTURES_REQUIRED WINE TIMEOUT 600 ${lock}
               ENVIRONMENT "VOLUMETRA_TEST_OUT=${out_windows}")
endfunction()

# add_gui_test(NAME COMMAND exe [args...])
# Runs a test program inside a Wine virtual desktop of its own on a private
# Xvfb display; its screenshots and files go to <build>/artifacts/NAME.
function(add_gui_test name)
  cmake_parse_arguments(ARG "" "" "COMMAND" ${ARGN})
  set(out "${CMAKE_BINARY_DIR}/artifacts/${name}")
  add_test(NAME ${name} COMMAND ${WINE_ENV} "DESKTOP_RUN_EXE=$<TARGET_FILE:desktop-run>"
                                 ${GUI_RUN} "${out}" ${ARG_COMMAND})
  # Window tests run one at a time: their desktops share one wineserver, and
  # with it the keyboard focus, the foreground window and named objects such
  # as the program's device-check mutex.
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED WINE TIMEOUT 600 RESOURCE_LOCK wine_desktop)
endfunction()
