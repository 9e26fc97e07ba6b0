# halvenor_add_test(<name> SOURCES <files...> LIBS <libs...> [CORE])
# Builds one Qt Test executable and registers it with ctest. CORE tests
# belong to the libraries without widgets and also run in the sanitizer
# build (label "sanitize").
function(halvenor_add_test name)
  cmake_parse_arguments(T "CORE" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  target_compile_definitions(${name} PRIVATE
    HALVENOR_FIXTURES="${PROJECT_SOURCE_DIR}/../shared/fixtures"
    HALVENOR_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  set(labels "")
  if(T_CORE)
    list(APPEND labels sanitize)
  endif()
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    LABELS "${labels}"
    TIMEOUT 600)
endfunction()
