# mw_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [ENVIRONMENT <k=v...>]
#             [FIXTURES <fixtures...>] [LABELS <labels...>] [TIMEOUT <s>])
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
endfunction()
