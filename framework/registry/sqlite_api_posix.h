// POSIX only: SQLite, opened the first time the registry store is used.
// Linking it would load it (and the maths library) into every process that
// uses the library, though few touch the registry; <sqlite3.h> still gives
// the types and constants.
#pragma once

#include <sqlite3.h>

namespace brim::detail {

// The SQLite functions the store calls, without their "sqlite3_" prefix.
#define BRIM_SQLITE_FUNCTIONS(X)                                                                                   \
    X(open_v2) X(close_v2) X(exec) X(busy_timeout) X(db_readonly) X(prepare_v3) X(finalize) X(step) X(reset)     \
    X(clear_bindings) X(bind_int64) X(bind_text) X(bind_blob) X(column_int64) X(column_text) X(column_blob)     \
    X(column_bytes) X(changes)

struct SqliteApi {
#define BRIM_SQLITE_SLOT(name) decltype(&::sqlite3_##name) name;
    BRIM_SQLITE_FUNCTIONS(BRIM_SQLITE_SLOT)
#undef BRIM_SQLITE_SLOT
};

// The table, filled once; null when SQLite cannot be opened or lacks one of
// the functions, and then on every later call too.
const SqliteApi* Sqlite();

}  // namespace brim::detail
