# One static library per source folder; its sources are the folder's .cpp files.
function(fas_folder_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;EXTRA_SOURCES" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  if(NOT sources)
    # A folder whose sources have not been written yet: headers only.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE "${PROJECT_SOURCE_DIR}/src")
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
    return()
  endif()
  add_library(${name} STATIC ${sources} ${ARG_EXTRA_SOURCES})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE fas_warnings)
endfunction()

# One GoogleTest executable per test folder, registered as one test.
function(fas_test_suite name)
  cmake_parse_arguments(ARG "" "" "DEPS;LABELS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} fas_test_support GTest::gtest GTest::gmock
                                        GTest::gtest_main fas_warnings)
  add_test(NAME ${name} COMMAND ${name})
  set(environment FAS_SOURCE_DIR=${PROJECT_SOURCE_DIR} FAS_BINARY_DIR=${PROJECT_BINARY_DIR}
                  QT_QPA_PLATFORM=offscreen)
  if(WIN32)
    # Under Wine the ODBC driver manager is the Linux machine's: it reads its driver list from
    # the environment Wine starts with, never from the program's own.
    file(WRITE "${PROJECT_BINARY_DIR}/odbc/odbcinst.ini"
         "[SQLite3]\nDriver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so\n")
    list(APPEND environment ODBCSYSINI=${PROJECT_BINARY_DIR}/odbc)
  endif()
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${environment}")
  if(ARG_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
  endif()
endfunction()
