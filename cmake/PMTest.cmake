include(GoogleTest)

# pm_add_test(NAME [EACH_CASE] SOURCES a.cpp b.cpp LIBS lib1 lib2)
# Builds one GoogleTest executable and registers it with CTest under NAME.
# In the Windows build a test that needs the Linux services or Qt is left out
# (where it is added, a comment says why); the others run under Wine
# (scripts/wine-run), each in a fresh prefix. EACH_CASE: in the Windows build
# every case runs alone in a fresh prefix (CTest test NAME.Suite.Case), for
# tests on the machine under test: there drive C: is the prefix's, and what
# one case leaves on it would be seen by the next.
function(pm_add_test name)
  cmake_parse_arguments(T "EACH_CASE" "" "SOURCES;LIBS" ${ARGN})
  if(NOT T_SOURCES)
    return()
  endif()
  if(PM_WINDOWS)
    foreach(lib ${T_LIBS})
      if(lib MATCHES "^(pm_platform_posix|pm_platform_qt|Qt6::)")
        return()
      endif()
    endforeach()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(PM_WINDOWS AND T_EACH_CASE)
    # A case that skips itself is reported as skipped, not passed.
    gtest_add_tests(TARGET ${name} SOURCES ${T_SOURCES} TEST_PREFIX "${name}." TEST_LIST cases)
    set_tests_properties(${cases} PROPERTIES SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
  else()
    add_test(NAME ${name} COMMAND ${name})
    set(cases ${name})
  endif()
  set_tests_properties(${cases} PROPERTIES
    ENVIRONMENT "PM_BUILD_BIN=${CMAKE_BINARY_DIR}/bin;PM_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
    TIMEOUT 900)
  if(PM_WINDOWS)
    set_property(TEST ${cases} APPEND PROPERTY ENVIRONMENT "PM_WINE_PREFIXES=${CMAKE_BINARY_DIR}/wine")
    set_tests_properties(${cases} PROPERTIES SKIP_RETURN_CODE 77 LABELS windows)
  endif()
endfunction()

# pm_folder_sources(OUT_LIB OUT_TESTS [EXCLUDE regex])
# The .cpp files of the current folder, split into library sources and the
# *_test.cpp files beside them.
function(pm_folder_sources out_lib out_tests)
  cmake_parse_arguments(F "" "EXCLUDE" "" ${ARGN})
  file(GLOB all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(lib)
  set(tests)
  foreach(f ${all})
    get_filename_component(n ${f} NAME)
    if(n MATCHES "_test\\.cpp$")
      list(APPEND tests ${f})
    elseif(F_EXCLUDE AND n MATCHES "${F_EXCLUDE}")
    else()
      list(APPEND lib ${f})
    endif()
  endforeach()
  set(${out_lib} ${lib} PARENT_SCOPE)
  set(${out_tests} ${tests} PARENT_SCOPE)
endfunction()
