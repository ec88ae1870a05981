# Running the cross-built tests under Wine, and under Xvfb for the window tests.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  message(FATAL_ERROR "CMAKE_CROSSCOMPILING_EMULATOR is not set: configure with cmake/toolchain-i686-mingw32.cmake")
endif()

include(GoogleTest)

set(WINE_ENV env "WINEPREFIX=${WINE_PREFIX_DIR}" WINEARCH=win32 WINEDEBUG=-all
    "WINEDLLOVERRIDES=mscoree,mshtml=" LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8)
set(WINE_RUN "${CMAKE_SOURCE_DIR}/cmake/wine-run.sh")
set(GUI_RUN "${CMAKE_SOURCE_DIR}/tests/gui/run-in-desktop.sh")

# The prefix is made once, at build time, so that test discovery after a link
# finds it ready and parallel builds do not race on the first start.
add_custom_command(
  OUTPUT "${WINE_PREFIX_DIR}/.ready"
  COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY ${WINE_ENV} /usr/bin/wineboot -i
  # Without this, winedbg opens a crash dialog under Xvfb and a test that
  # crashes on purpose waits for a click forever.
  COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY ${WINE_ENV} /usr/bin/wine reg add
          "HKCU\\Software\\Wine\\WineDbg" /v ShowCrashDialog /t REG_DWORD /d 0 /f
  COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY ${WINE_ENV} /usr/bin/wine winecfg -v win10
  COMMAND ${WINE_ENV} /usr/bin/wineserver -w
  # Wine does not look into fonts-wine's folder by itself; without its Tahoma and
  # MS Sans Serif the window falls back to a wider face and captions overflow.
  COMMAND sh -c "cp /usr/share/wine/fonts/* '${WINE_PREFIX_DIR}/drive_c/windows/Fonts/'"
  COMMAND ${CMAKE_COMMAND} -E touch "${WINE_PREFIX_DIR}/.ready"
  COMMENT "Creating the Wine prefix ${WINE_PREFIX_DIR}"
  VERBATIM)
add_custom_target(wine_prefix DEPENDS "${WINE_PREFIX_DIR}/.ready")

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
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;DEPENDS" ${ARGN})
  set(out "${CMAKE_CURRENT_BINARY_DIR}/${name}.out")
  file(MAKE_DIRECTORY "${out}")
  string(REPLACE "/" "\\" out_windows "Z:${out}")
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} test_main GTest::gmock)
  add_dependencies(${name} wine_prefix ${ARG_DEPENDS})
  gtest_discover_tests(${name}
    TEST_PREFIX "${name}."
    DISCOVERY_TIMEOUT 120
    PROPERTIES FIXTURES_REQUIRED WINE TIMEOUT 600
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
