# The installer's mark, drawn on the build host by demo/makeIcon.cpp at 16 to
# 256 pixels: the icon of every program.
set(PM_PROGRAM_ICON ${CMAKE_BINARY_DIR}/pmsetup.ico)
add_custom_command(OUTPUT ${PM_PROGRAM_ICON}
  COMMAND c++ -std=c++20 -O1 -o ${CMAKE_BINARY_DIR}/pm_icon_host
          ${CMAKE_SOURCE_DIR}/demo/makeIcon.cpp -lz
  COMMAND ${CMAKE_BINARY_DIR}/pm_icon_host pmsetup ${PM_PROGRAM_ICON}
  DEPENDS ${CMAKE_SOURCE_DIR}/demo/makeIcon.cpp
  COMMENT "Drawing the installer's icon")
add_custom_target(pm_program_icon DEPENDS ${PM_PROGRAM_ICON})

# pm_windows_resources(TARGET DESCRIPTION text [LEVEL asInvoker|requireAdministrator]
#                      [DLL | CONSOLE] [ICON file])
# Gives a Windows program (or library) its manifest and version resource:
# product Pelmora v.1.9.5, version 1.9.5, the description; for a program also
# its icon (the installer's mark unless ICON names another), the execution
# level it asks for and the supported Windows versions, and for a program with
# windows (not CONSOLE) Common Controls 6 and per-monitor DPI awareness.
# What is shipped is stripped of its symbols, debug information and unused
# sections (every function is a section of its own: CMakeLists.txt), and
# carries no link time stamp, so two builds of one commit give the same bytes.
function(pm_windows_resources target)
  cmake_parse_arguments(R "DLL;CONSOLE" "DESCRIPTION;LEVEL;ICON" "" ${ARGN})
  if(NOT R_LEVEL)
    set(R_LEVEL asInvoker)
  endif()
  set(PM_RES_NAME ${target})
  get_target_property(out ${target} OUTPUT_NAME)
  if(out)
    set(PM_RES_NAME ${out})
  endif()
  set(PM_RES_DESCRIPTION "${R_DESCRIPTION}")
  set(PM_RES_LEVEL ${R_LEVEL})
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}.res)
  set(PM_RES_MANIFEST ${dir}/${PM_RES_NAME}.manifest)
  set(PM_RES_ICON "")
  if(NOT R_ICON AND NOT R_DLL)
    set(R_ICON ${PM_PROGRAM_ICON})
    add_dependencies(${target} pm_program_icon)
  endif()
  if(R_ICON)
    set(PM_RES_ICON "1 ICON \"${R_ICON}\"")
  endif()
  target_link_options(${target} PRIVATE -s -Wl,--gc-sections -Wl,--no-insert-timestamp)
  if(NOT R_DLL)
    # Without the C++ run-time's demangler (platform/win32/loader/terminate.cpp).
    target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/platform/win32/loader/terminate.cpp)
  endif()
  if(R_DLL)
    # A library carries no manifest of its own.
    set(PM_RES_MANIFEST "")
    set(PM_RES_FILETYPE VFT_DLL)
    set(PM_RES_SUFFIX .dll)
  else()
    set(PM_RES_FILETYPE VFT_APP)
    set(PM_RES_SUFFIX .exe)
    set(PM_RES_WINDOWED "")
    if(NOT R_CONSOLE)
      set(windowed ${CMAKE_SOURCE_DIR}/cmake/windows/windowed.manifest.in)
      file(READ ${windowed} PM_RES_WINDOWED)
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${windowed})
    endif()
    configure_file(${CMAKE_SOURCE_DIR}/cmake/windows/program.manifest.in ${PM_RES_MANIFEST} @ONLY)
  endif()
  configure_file(${CMAKE_SOURCE_DIR}/cmake/windows/program.rc.in ${dir}/${PM_RES_NAME}.rc @ONLY)
  if(R_DLL)
    file(READ ${dir}/${PM_RES_NAME}.rc rc)
    string(REPLACE "1 24 \"\"\n" "" rc "${rc}")
    file(WRITE ${dir}/${PM_RES_NAME}.rc "${rc}")
  endif()
  target_sources(${target} PRIVATE ${dir}/${PM_RES_NAME}.rc)
  if(R_ICON)
    set_source_files_properties(${dir}/${PM_RES_NAME}.rc PROPERTIES OBJECT_DEPENDS ${R_ICON})
  endif()
endfunction()
