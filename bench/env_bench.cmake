find_package(SQLite3 REQUIRED)
find_package(CURL REQUIRED)
target_link_libraries(${name} PRIVATE SQLite::SQLite3 CURL::libcurl)
