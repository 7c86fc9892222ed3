# Helpers for the Windows build (MinGW-w64); no-ops elsewhere.

# Links a program so that it runs on a bare Windows, without the MinGW
# runtime DLLs (libstdc++, libgcc, winpthread).
function(rz_static_runtime target)
  if(MINGW)
    target_link_options(${target} PRIVATE -static)
  endif()
endfunction()

# Adds the version resource (file version from the project's version, shown
# in the file's properties) and, given ICON_PNGS, an icon built from PNG
# images to a program.
function(rz_windows_resources target)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(ARG "" "DESCRIPTION" "ICON_PNGS" ${ARGN})
  set(RZ_RC_NAME ${target})
  set(RZ_RC_DESCRIPTION "${ARG_DESCRIPTION}")
  set(RZ_RC_TWEAK 0)
  if(PROJECT_VERSION_TWEAK)
    set(RZ_RC_TWEAK ${PROJECT_VERSION_TWEAK})
  endif()
  set(RZ_RC_ICON "")
  if(ARG_ICON_PNGS)
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    set(ico ${CMAKE_CURRENT_BINARY_DIR}/${target}.ico)
    add_custom_command(OUTPUT ${ico}
      COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/cmake/png2ico.py ${ico} ${ARG_ICON_PNGS}
      DEPENDS ${PROJECT_SOURCE_DIR}/cmake/png2ico.py ${ARG_ICON_PNGS}
      COMMENT "Icon ${target}.ico")
    set(RZ_RC_ICON "1 ICON \"${target}.ico\"")
    set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${target}.rc PROPERTIES OBJECT_DEPENDS ${ico})
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
endfunction()
