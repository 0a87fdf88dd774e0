# mw_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [ENVIRONMENT <k=v...>]
#             [FIXTURES <fixtures...>] [LABELS <labels...>] [TIMEOUT <s>])
#
# The label "tsan" marks tests that also run under ThreadSanitizer (threads of
# our own: the loader, search, export); the target mw_tsan_tests builds them.
# Under sanitizers every test gets the project's sanitizer options; TSan's
# reports go to files that scripts/test-sanitizers.sh judges.
#
# Builds a QtTest executable and registers it with CTest. Every test gets its
# own HOME, TMPDIR and XDG_RUNTIME_DIR under the build tree and none of the
# user's XDG_*_HOME, so it never touches the user's files or meets a running
# Marrowin. GUI tests run headless.
function(mw_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;ENVIRONMENT;FIXTURES;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE Qt6::Test ${T_LIBS})
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set(home ${CMAKE_BINARY_DIR}/testhome/${T_NAME})
  file(MAKE_DIRECTORY ${home}/tmp ${home}/run)
  file(CHMOD ${home}/run DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "HOME=${home};TMPDIR=${home}/tmp;XDG_RUNTIME_DIR=${home}/run;QT_QPA_PLATFORM=offscreen;QTWEBENGINE_DISABLE_SANDBOX=1;QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu --disable-background-networking;MARROWIN_BUILD_DIR=${CMAKE_BINARY_DIR};MARROWIN_SOURCE_DIR=${CMAKE_SOURCE_DIR};MARROWIN_ENRON_PST=${CMAKE_BINARY_DIR}/testdata/enron.pst;MARROWIN_OST_1=${CMAKE_BINARY_DIR}/testdata/pstextractortest@outlook.com.ost;MARROWIN_OST_2=${CMAKE_BINARY_DIR}/testdata/pstextractortestpdf@outlook.com.ost;${T_ENVIRONMENT}")
  set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT_MODIFICATION
    "XDG_CONFIG_HOME=unset:;XDG_CACHE_HOME=unset:;XDG_STATE_HOME=unset:;XDG_DATA_HOME=unset:")
  if(T_FIXTURES)
    set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED "${T_FIXTURES}")
  endif()
  if(T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
  endif()
  if("tsan" IN_LIST T_LABELS)
    if(NOT TARGET mw_tsan_tests)
      add_custom_target(mw_tsan_tests)
    endif()
    add_dependencies(mw_tsan_tests ${T_NAME})
  endif()
  if(MARROWIN_SANITIZE)
    set(supp ${CMAKE_SOURCE_DIR}/scripts/sanitizers)
    set_property(TEST ${T_NAME} APPEND PROPERTY ENVIRONMENT
      "ASAN_OPTIONS=detect_leaks=0:abort_on_error=0:allocator_may_return_null=1"
      "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:suppressions=${supp}/ubsan.supp"
      "TSAN_OPTIONS=exitcode=0:second_deadlock_stack=1:log_path=${CMAKE_BINARY_DIR}/tsan-reports/${T_NAME}:suppressions=${supp}/tsan.supp")
  endif()
endfunction()
