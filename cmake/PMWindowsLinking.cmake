# How the Windows programs are linked so that no DLL is taken from the
# program's folder (a downloads folder others can write to).
#
# Every system DLL other than kernel32 and msvcrt (two of the system's known
# DLLs, which the loader takes from the system folder only) is delay-loaded:
# the programs import them through delay-import libraries made here from
# MinGW's import libraries, so the loader resolves none of them before main,
# and each is loaded at its first use, after restrictDllSearch() has limited
# the search to the system folder. (Wine's user32 imports version.dll and
# zlib1.dll, which Wine would otherwise look for beside the program.)
#
# The delay-load helper is our own (platform/win32/loader/delayLoad.cpp): it
# loads from the system folder only, whatever the search order of the moment.
# Every target links it, and the linker is told to want it from the start, so
# it is taken before MinGW's.
#
# After each link cmake/windows/set-load-config fills the load-configuration
# entry from the program's section .lcfg (platform/win32/systemLibrary.cpp),
# so Windows also looks for the DLLs those DLLs import in the system folder.
foreach(lang C CXX)
  set(CMAKE_${lang}_LINK_EXECUTABLE
      "${CMAKE_${lang}_LINK_EXECUTABLE} && ${CMAKE_SOURCE_DIR}/cmake/windows/set-load-config <TARGET>")
endforeach()

set(PM_DELAY_LOADED advapi32 comctl32 comdlg32 gdi32 ole32 oleaut32 shell32 user32)
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
  # The 32-bit dlltool's delay-import thunks come out unresolved (the import
  # address slots hold 0), so the 32-bit programs import the system DLLs they
  # need, all of them known DLLs: user32, gdi32, advapi32, shell32.
  # Common Controls and GDI+ are loaded at run time on both widths.
  return()
endif()
set(dir ${CMAKE_BINARY_DIR}/delay-import)
file(MAKE_DIRECTORY ${dir})
set(delayed)
# The exported names as the import library's symbols give them ("__imp_Name";
# comctl32's _TrackMouseEvent is "__imp__TrackMouseEvent").
set(imp " I __imp_")
foreach(lib ${PM_DELAY_LOADED})
  set(out ${dir}/lib${lib}_delayed.a)
  list(APPEND delayed ${out})
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=lib${lib}.a
                  OUTPUT_VARIABLE import OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${CMAKE_NM} ${import} OUTPUT_VARIABLE symbols)
  string(REGEX MATCHALL "${imp}[^\n]+" symbols "${symbols}")
  list(TRANSFORM symbols REPLACE "${imp}" "")
  list(REMOVE_DUPLICATES symbols)
  list(JOIN symbols "\n" exports)
  set(def "LIBRARY ${lib}.dll\nEXPORTS\n${exports}\n")
  set(old "")
  if(EXISTS ${dir}/${lib}.def)
    file(READ ${dir}/${lib}.def old)
  endif()
  if(EXISTS ${out} AND old STREQUAL def)
    continue()
  endif()
  file(WRITE ${dir}/${lib}.def "${def}")
  execute_process(COMMAND ${CMAKE_DLLTOOL} --kill-at -d ${dir}/${lib}.def -y ${out}
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot make the delay-import library of ${lib}.dll")
  endif()
endforeach()
list(JOIN delayed " " delayed)
add_library(pm_delay_load STATIC ${CMAKE_SOURCE_DIR}/platform/win32/loader/delayLoad.cpp)
add_link_options(LINKER:--undefined=__delayLoadHelper2)
link_libraries(pm_delay_load)
foreach(lang C CXX)
  set(CMAKE_${lang}_STANDARD_LIBRARIES "${delayed} -lkernel32 -lwinspool -luuid")
endforeach()
