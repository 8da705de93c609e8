# corvane_library(NAME DEPS...): a static library from every source file in the calling folder.
function(corvane_library name)
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  list(FILTER _sources EXCLUDE REGEX "/main\\.cpp$")
  # A folder whose sources are still to come builds as an empty library.
  set(_empty ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp)
  if(NOT EXISTS ${_empty})
    file(WRITE ${_empty} "// no sources yet\n")
  endif()
  add_library(${name} STATIC ${_sources} ${_empty})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARGN})
endfunction()

# corvane_test(NAME SOURCES... LIBS libs... [LABELS labels...] [TIMEOUT seconds]): a Qt Test executable run by CTest.
function(corvane_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test corvane_testsupport ${T_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  # Never on the real network: the test gets a namespace with loopback only (see scripts/isolated).
  add_test(NAME ${name} COMMAND ${CMAKE_SOURCE_DIR}/scripts/isolated $<TARGET_FILE:${name}>)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;CORVANE_BIN_DIR=${CMAKE_BINARY_DIR}/bin;CORVANE_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()
