# Registers a Qt Test executable with ctest under a label, on the offscreen platform.
#   k417_add_qtest(NAME <target> LABEL <ui|e2e> [PG_SERVER] SOURCES ... LIBS ...)
# PG_SERVER: the test needs the scratch PostgreSQL server (fixture pg_server).
function(k417_add_qtest)
  cmake_parse_arguments(T "PG_SERVER" "NAME;LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  set_target_properties(${T_NAME} PROPERTIES AUTOMOC ON)
  target_include_directories(${T_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/tests/ui)
  target_compile_definitions(${T_NAME} PRIVATE K417_VERSION="${PROJECT_VERSION}")
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} Qt6::Test)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES LABELS ${T_LABEL} TIMEOUT 180
                       ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${K417_TEST_ENVIRONMENT}")
  if(T_PG_SERVER)
    set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED pg_server)
  endif()
endfunction()
