# The Windows build's libraries, from the prefix scripts/windows-deps fills.
if(NOT FAS_WINDOWS_PREFIX)
  set(FAS_WINDOWS_PREFIX "$ENV{FAS_WINDOWS_PREFIX}")
endif()
if(NOT EXISTS "${FAS_WINDOWS_PREFIX}/src/sqlite3.c")
  message(FATAL_ERROR "FAS_WINDOWS_PREFIX (${FAS_WINDOWS_PREFIX}) holds no Windows libraries: "
                      "build with `bash scripts/build-windows`, which makes them first")
endif()
list(APPEND CMAKE_PREFIX_PATH "${FAS_WINDOWS_PREFIX}")

# SQLite as the Linux build has it: the same source version, compiled in.
add_library(fas_sqlite3 STATIC "${FAS_WINDOWS_PREFIX}/src/sqlite3.c")
target_include_directories(fas_sqlite3 SYSTEM PUBLIC "${FAS_WINDOWS_PREFIX}/include")
target_compile_definitions(fas_sqlite3 PRIVATE SQLITE_THREADSAFE=1 SQLITE_ENABLE_COLUMN_METADATA
                                               SQLITE_ENABLE_FTS5 SQLITE_ENABLE_JSON1)
target_compile_options(fas_sqlite3 PRIVATE -w)
add_library(SQLite::SQLite3 ALIAS fas_sqlite3)

find_package(CURL REQUIRED CONFIG)
