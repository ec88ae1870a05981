# Programs that carry the crash reporter: their data block and its options.
#
# The options file (the stored options stream) is made from its readable
# source by a host-side generator; the build runs no Windows program.
set(VOLUMETRA_CRASH_OPTIONS "${CMAKE_BINARY_DIR}/resources/CrashOptions.vlo")
add_custom_command(
  OUTPUT "${VOLUMETRA_CRASH_OPTIONS}"
  COMMAND "${Python3_EXECUTABLE}" "${CMAKE_SOURCE_DIR}/tools/options-file.py"
          --source "${CMAKE_SOURCE_DIR}/resources/CrashOptions.txt" --out "${VOLUMETRA_CRASH_OPTIONS}"
  DEPENDS "${CMAKE_SOURCE_DIR}/tools/options-file.py" "${CMAKE_SOURCE_DIR}/resources/CrashOptions.txt"
          "${CMAKE_SOURCE_DIR}/crash/engine/EOptions.h" "${CMAKE_SOURCE_DIR}/crash/engine/lang/MessageTextTable.h"
          "${CMAKE_SOURCE_DIR}/crash/engine/options/EOptions.cpp"
  COMMENT "Making the crash reporter's options file"
  VERBATIM)
add_custom_target(crash_options DEPENDS "${VOLUMETRA_CRASH_OPTIONS}")

# volumetra_crash_reporter(TARGET [RESERVE BYTES] [OPTIONS FILE] [PASSWORD TEXT]
#                          [SYMBOLS ID=NAME ...])
# Marks the executable TARGET as carrying the crash reporter: it links a
# reserved RCDATA resource VLDATA of RESERVE bytes (1 MiB unless given), which
# the post-link step (tools/debug-data.py, part of the link rule) fills with
# the data block: OPTIONS (the program's options file; VOLUMETRA_CRASH_OPTIONS
# unless given), the line tables with names enciphered by PASSWORD (the
# library's own key unless given), and the code symbols SYMBOLS (the class
# library's exception handlers 0 and 1 unless given) that the hooks look up.
function(volumetra_crash_reporter target)
  cmake_parse_arguments(ARG "" "RESERVE;OPTIONS;PASSWORD" "SYMBOLS" ${ARGN})
  if(NOT ARG_RESERVE)
    set(ARG_RESERVE 1048576)
  endif()
  if(NOT ARG_OPTIONS)
    set(ARG_OPTIONS "${VOLUMETRA_CRASH_OPTIONS}")
    add_dependencies(${target} crash_options)
  endif()
  if(NOT DEFINED ARG_SYMBOLS)
    set(ARG_SYMBOLS "0=vcl::TApplication::HandleException" "1=vcl::TApplication::ShowException")
  endif()
  set(args --size ${ARG_RESERVE} --options "${ARG_OPTIONS}")
  if(DEFINED ARG_PASSWORD)
    list(APPEND args --password "${ARG_PASSWORD}")
  endif()
  foreach(symbol ${ARG_SYMBOLS})
    list(APPEND args --symbol "${symbol}")
  endforeach()
  set(dir "${CMAKE_CURRENT_BINARY_DIR}/${target}.vldata")
  add_custom_command(
    OUTPUT "${dir}/reserve.bin"
    COMMAND "${Python3_EXECUTABLE}" "${CMAKE_SOURCE_DIR}/tools/debug-data.py" reserve --out "${dir}/reserve.bin" ${args}
    DEPENDS "${CMAKE_SOURCE_DIR}/tools/debug-data.py"
    COMMENT "Reserving the data block of ${target}"
    VERBATIM)
  file(CONFIGURE OUTPUT "${dir}/VLDATA.rc" CONTENT "VLDATA RCDATA \"${dir}/reserve.bin\"\n")
  target_sources(${target} PRIVATE "${dir}/VLDATA.rc")
  set_source_files_properties("${dir}/VLDATA.rc" PROPERTIES OBJECT_DEPENDS "${dir}/reserve.bin")
  # The block is written at link time: a changed options file or step relinks.
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS
               "${ARG_OPTIONS}" "${CMAKE_SOURCE_DIR}/tools/debug-data.py")
endfunction()
