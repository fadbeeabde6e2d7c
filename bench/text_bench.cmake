# Peers of the text benchmarks: uchardet and ICU (iconv is the C library's).
find_package(PkgConfig REQUIRED)
pkg_check_modules(BRIM_TEXT_PEERS REQUIRED IMPORTED_TARGET uchardet icu-uc icu-i18n)
target_link_libraries(${name} PRIVATE PkgConfig::BRIM_TEXT_PEERS)
