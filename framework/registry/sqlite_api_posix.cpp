#include "framework/registry/sqlite_api_posix.h"

#include "framework/system/shared_library_posix.h"

#include <iterator>
#include <mutex>

// The file name the dynamic loader knows SQLite by; the build may name another.
#ifndef BRIM_SQLITE_SONAME
#define BRIM_SQLITE_SONAME "libsqlite3.so.0"
#endif

namespace brim::detail {

const SqliteApi* Sqlite() {
    static std::once_flag once;
    static SqliteApi api;
    static const SqliteApi* loaded = nullptr;
    std::call_once(once, [] {
        static const char* const kNames[] = {
#define BRIM_SQLITE_NAME(name) "sqlite3_" #name,
            BRIM_SQLITE_FUNCTIONS(BRIM_SQLITE_NAME)
#undef BRIM_SQLITE_NAME
        };
        void* found[std::size(kNames)];
        if (!platform::OpenLibrary(BRIM_SQLITE_SONAME, kNames, found, std::size(kNames))) return;
        std::size_t i = 0;
#define BRIM_SQLITE_TAKE(name) api.name = reinterpret_cast<decltype(api.name)>(found[i++]);
        BRIM_SQLITE_FUNCTIONS(BRIM_SQLITE_TAKE)
#undef BRIM_SQLITE_TAKE
        loaded = &api;
    });
    return loaded;
}

}  // namespace brim::detail
