// The registry on POSIX: one SQLite database per user. Keys form a tree of
// parent links; names compare without regard to case through a folded copy
// kept beside the name as given. Values keep the bytes Windows would store.
// WAL lets readers run beside a writer, a busy time-out makes writers of
// several processes take turns, and every change is one IMMEDIATE
// transaction, so a process killed in the middle of one leaves the last
// committed state behind.

#include "framework/registry/registry.h"
#include "framework/registry/sqlite_api_posix.h"

#include "framework/system/config_folder_posix.h"
#include "framework/errors/error_codes.h"
#include "framework/strings/fold_posix.h"
#include "framework/codepages/text_codec.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <string>
#include <unordered_map>

namespace brim::platform {
namespace {

// What an HKEY opened here points to.
struct KeyObject {
    sqlite3_int64 id;
    DWORD access;
};

constexpr DWORD kQueryValue = 0x0001;
constexpr DWORD kSetValue = 0x0002;
constexpr DWORD kEnumerateSubKeys = 0x0008;
constexpr LONG kBusy = 170;
constexpr LONG kBadDb = 1009;
constexpr LONG kRegistryIoFailed = 1016;
constexpr int kBusyTimeoutMs = 30000;
constexpr std::size_t kMaxKeyName = 255;

// The predefined roots are rows 1..6 of the key table, from the low byte of
// their handle values.
bool RootId(HKEY key, sqlite3_int64* id) {
    static const HKEY roots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
                                 HKEY_CURRENT_CONFIG};
    for (HKEY root : roots) {
        if (root == key) {
            *id = static_cast<sqlite3_int64>(reinterpret_cast<ULONG_PTR>(root) & 0xFF) + 1;
            return true;
        }
    }
    return false;
}

// SQLite's functions: loaded by EnsureOpen before any of them is called.
const detail::SqliteApi& Sql() { return *detail::Sqlite(); }

LONG FromSqlite(int rc) {
    switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE: return 0;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return kBusy;
    case SQLITE_NOMEM: return static_cast<LONG>(err::kNotEnoughMemory);
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH: return static_cast<LONG>(err::kAccessDenied);
    case SQLITE_FULL: return static_cast<LONG>(err::kDiskFull);
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN: return kRegistryIoFailed;
    default: return kBadDb;
    }
}

std::string Fold(const std::wstring& name) {
    const std::wstring folded = FoldCase(name);
    return detail::WideToUtf8(folded.data(), folded.size());
}

std::string Utf8(const std::wstring& text) { return detail::WideToUtf8(text.data(), text.size()); }

class Store;

// One prepared statement of the store's cache, reset when the use ends.
class Statement {
public:
    Statement(sqlite3* db, sqlite3_stmt* stmt) : m_db(db), m_stmt(stmt) {}
    ~Statement() {
        if (m_stmt != nullptr) {
            Sql().reset(m_stmt);
            Sql().clear_bindings(m_stmt);
        }
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Ok() const { return m_stmt != nullptr; }
    void Bind(int index, sqlite3_int64 value) { Sql().bind_int64(m_stmt, index, value); }
    void Bind(int index, const std::string& text) {
        Sql().bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    void BindBlob(int index, const void* data, DWORD size) {
        Sql().bind_blob(m_stmt, index, size == 0 ? "" : data, static_cast<int>(size), SQLITE_TRANSIENT);
    }
    int Step() { return Sql().step(m_stmt); }
    sqlite3_int64 Int(int column) { return Sql().column_int64(m_stmt, column); }
    std::wstring Text(int column) {
        const auto* text = reinterpret_cast<const char*>(Sql().column_text(m_stmt, column));
        return detail::Utf8ToWide(text ? text : "", static_cast<std::size_t>(Sql().column_bytes(m_stmt, column)));
    }
    const void* Blob(int column, DWORD* size) {
        const void* data = Sql().column_blob(m_stmt, column);
        *size = static_cast<DWORD>(Sql().column_bytes(m_stmt, column));
        return data;
    }
    int Changes() { return Sql().changes(m_db); }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt;
};

class Store {
public:
    // Never destroyed: hosts may touch the registry from their own static
    // destructors.
    static Store& Instance() {
        static Store* store = new Store;
        return *store;
    }

    // Runs body inside one transaction on the store's connection: an
    // IMMEDIATE one for changes, committed only when body returns 0.
    template <class Body>
    LONG Run(bool write, Body&& body) {
        std::lock_guard<std::mutex> lock(m_mutex);
        LONG rc = EnsureOpen(write);
        if (rc != 0) return rc;
        rc = FromSqlite(Sql().exec(m_db, write ? "BEGIN IMMEDIATE" : "BEGIN", nullptr, nullptr, nullptr));
        if (rc != 0) return rc;
        rc = body();
        if (rc == 0 || !write) {
            const LONG commit = FromSqlite(Sql().exec(m_db, "COMMIT", nullptr, nullptr, nullptr));
            if (commit == 0) return rc;
            rc = commit;
        }
        Sql().exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        return rc;
    }

    Statement Prepare(const char* sql) {
        auto found = m_statements.find(sql);
        if (found != m_statements.end()) return Statement(m_db, found->second);
        sqlite3_stmt* stmt = nullptr;
        if (Sql().prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
            return Statement(m_db, nullptr);
        }
        m_statements.emplace(sql, stmt);
        return Statement(m_db, stmt);
    }

private:
    // A store this user may not change (the file at 444, its folder at 555)
    // is opened for reading: reads work and changes fail with 5. A change
    // asked of a read-only connection tries the store for writing again, in
    // case its rights came back.
    LONG EnsureOpen(bool write) {
        // Without SQLite there is no store to read or change.
        if (detail::Sqlite() == nullptr) return kRegistryIoFailed;
        const std::string folder = UserConfigFolder();
        const std::string path = folder + "/registry.db";
        if (m_db != nullptr && path == m_path && getpid() == m_pid && !(write && m_readOnly)) return 0;
        // A connection inherited through fork() belongs to the parent: leave it.
        if (m_db != nullptr && getpid() == m_pid) Close();
        m_db = nullptr;
        m_statements.clear();
        m_path = path;
        m_pid = getpid();
        m_readOnly = false;
        MakeUserConfigFolder(folder);
        // SQLite makes its journal files beside the store: a folder this user
        // may not write holds a read-only store, whatever files are left there.
        int rc = access(folder.c_str(), W_OK) != 0 && (errno == EACCES || errno == EROFS) ? SQLITE_READONLY
                                                                                          : OpenWritable(path, &m_db);
        if (rc == SQLITE_OK) return 0;
        if (!Refused(rc)) return FromSqlite(rc);
        if (write) return static_cast<LONG>(err::kAccessDenied);
        rc = OpenReadOnly(path, &m_db);
        if (rc == SQLITE_OK) {
            m_readOnly = true;
            return 0;
        }
        // Nothing stored and no right to store: every key is missing.
        return access(path.c_str(), F_OK) != 0 ? static_cast<LONG>(err::kFileNotFound) : FromSqlite(rc);
    }

    static bool Refused(int rc) {
        const int primary = rc & 0xFF;
        return primary == SQLITE_READONLY || primary == SQLITE_CANTOPEN || primary == SQLITE_PERM || primary == SQLITE_AUTH;
    }

    static int OpenWritable(const std::string& path, sqlite3** out) {
        sqlite3* db = nullptr;
        int rc = Sql().open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
        // SQLite opens a write-protected file for reading only: that is not a writable store.
        if (rc == SQLITE_OK && Sql().db_readonly(db, "main") == 1) rc = SQLITE_READONLY;
        if (rc == SQLITE_OK) {
            Sql().busy_timeout(db, kBusyTimeoutMs);
            rc = Setup(db);
        }
        return Keep(db, rc, out);
    }

    // Read-only; when the WAL's index cannot be made beside the store (its
    // folder at 555), the file is read as it stands, as an immutable one.
    static int OpenReadOnly(const std::string& path, sqlite3** out) {
        sqlite3* db = nullptr;
        int rc = Sql().open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc == SQLITE_OK) rc = Probe(db);
        if (rc == SQLITE_OK) return Keep(db, rc, out);
        Sql().close_v2(db);
        db = nullptr;
        std::string uri = "file:";
        for (const char c : path) {
            if (c == '%' || c == '?' || c == '#') {
                static const char hex[] = "0123456789ABCDEF";
                uri += '%';
                uri += hex[static_cast<unsigned char>(c) >> 4];
                uri += hex[c & 15];
            } else {
                uri += c;
            }
        }
        uri += "?immutable=1";
        rc = Sql().open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc == SQLITE_OK) rc = Probe(db);
        return Keep(db, rc, out);
    }

    static int Probe(sqlite3* db) {
        Sql().busy_timeout(db, kBusyTimeoutMs);
        return Sql().exec(db, "SELECT count(*) FROM keys", nullptr, nullptr, nullptr);
    }

    // Hands over the connection when rc is SQLITE_OK, else closes it.
    static int Keep(sqlite3* db, int rc, sqlite3** out) {
        if (rc == SQLITE_OK) {
            *out = db;
        } else {
            Sql().close_v2(db);
        }
        return rc;
    }

    // WAL persists in the file once set. synchronous=NORMAL keeps the store
    // consistent through any crash; a power loss may drop the last commits,
    // as the Windows registry's lazy flush may.
    static int Setup(sqlite3* db) {
        static const char* const kSetup =
            "PRAGMA journal_mode=WAL;"
            "PRAGMA synchronous=NORMAL;"
            "BEGIN IMMEDIATE;"
            "CREATE TABLE IF NOT EXISTS keys("
            " id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, name TEXT NOT NULL, fold TEXT NOT NULL,"
            " UNIQUE(parent, fold));"
            "CREATE TABLE IF NOT EXISTS vals("
            " key INTEGER NOT NULL, name TEXT NOT NULL, fold TEXT NOT NULL, type INTEGER NOT NULL,"
            " data BLOB NOT NULL, PRIMARY KEY(key, fold)) WITHOUT ROWID;"
            "INSERT OR IGNORE INTO keys(id, parent, name, fold) VALUES"
            " (1, 0, 'HKEY_CLASSES_ROOT', 'HKEY_CLASSES_ROOT'),"
            " (2, 0, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER'),"
            " (3, 0, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE'),"
            " (4, 0, 'HKEY_USERS', 'HKEY_USERS'),"
            " (6, 0, 'HKEY_CURRENT_CONFIG', 'HKEY_CURRENT_CONFIG');"
            "COMMIT;";
        const int rc = Sql().exec(db, kSetup, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) Sql().exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return rc;
    }

    void Close() {
        for (auto& entry : m_statements) Sql().finalize(entry.second);
        m_statements.clear();
        Sql().close_v2(m_db);
        m_db = nullptr;
    }

    std::mutex m_mutex;
    sqlite3* m_db = nullptr;
    bool m_readOnly = false;
    std::string m_path;
    pid_t m_pid = 0;
    std::unordered_map<const char*, sqlite3_stmt*> m_statements;
};

// ---- steps inside a transaction ---------------------------------------------

LONG Exists(Store& store, sqlite3_int64 id) {
    Statement s = store.Prepare("SELECT 1 FROM keys WHERE id = ?1");
    if (!s.Ok()) return kBadDb;
    s.Bind(1, id);
    const int rc = s.Step();
    return rc == SQLITE_ROW ? 0 : rc == SQLITE_DONE ? kKeyDeleted : FromSqlite(rc);
}

// Follows subKey down from id; with create, makes the keys that are missing.
// Empty names (doubled or trailing backslashes) are skipped.
LONG Walk(Store& store, sqlite3_int64 id, const wchar_t* subKey, bool create, sqlite3_int64* found) {
    const wchar_t* p = subKey != nullptr ? subKey : L"";
    while (*p != 0) {
        const wchar_t* end = std::wcschr(p, L'\\');
        if (end == nullptr) end = p + std::wcslen(p);
        if (end != p) {
            const std::wstring name(p, end);
            if (name.size() > kMaxKeyName) return static_cast<LONG>(err::kInvalidParameter);
            const std::string fold = Fold(name);
            Statement find = store.Prepare("SELECT id FROM keys WHERE parent = ?1 AND fold = ?2");
            if (!find.Ok()) return kBadDb;
            find.Bind(1, id);
            find.Bind(2, fold);
            const int rc = find.Step();
            if (rc == SQLITE_ROW) {
                id = find.Int(0);
            } else if (rc != SQLITE_DONE) {
                return FromSqlite(rc);
            } else if (!create) {
                return static_cast<LONG>(err::kFileNotFound);
            } else {
                Statement add = store.Prepare("INSERT INTO keys(parent, name, fold) VALUES (?1, ?2, ?3) RETURNING id");
                if (!add.Ok()) return kBadDb;
                add.Bind(1, id);
                add.Bind(2, Utf8(name));
                add.Bind(3, fold);
                if (add.Step() != SQLITE_ROW) return kBadDb;
                id = add.Int(0);
            }
        }
        p = *end != 0 ? end + 1 : end;
    }
    *found = id;
    return 0;
}

// The key id behind a handle: a predefined root or one opened here.
LONG Resolve(HKEY key, sqlite3_int64* id, DWORD* access) {
    if (RootId(key, id)) {
        *access = 0xF003F;   // KEY_ALL_ACCESS
        return 0;
    }
    if (key == nullptr) return static_cast<LONG>(err::kInvalidHandle);
    const auto* object = reinterpret_cast<const KeyObject*>(key);
    *id = object->id;
    *access = object->access;
    return 0;
}

LONG OpenOrCreate(HKEY root, const wchar_t* subKey, DWORD access, HKEY* key, bool create) {
    if (key == nullptr) return static_cast<LONG>(err::kInvalidParameter);
    sqlite3_int64 start = 0, id = 0;
    DWORD ignored = 0;
    LONG rc = Resolve(root, &start, &ignored);
    if (rc != 0) return rc;
    Store& store = Store::Instance();
    rc = store.Run(create, [&] {
        const LONG alive = Exists(store, start);
        return alive != 0 ? alive : Walk(store, start, subKey, create, &id);
    });
    if (rc != 0) return rc;
    *key = reinterpret_cast<HKEY>(new KeyObject{id, access});
    return 0;
}

}  // namespace

LONG KeyOpen(HKEY root, const wchar_t* subKey, DWORD access, HKEY* key) {
    return OpenOrCreate(root, subKey, access, key, false);
}

LONG KeyCreate(HKEY root, const wchar_t* subKey, DWORD access, HKEY* key) {
    return OpenOrCreate(root, subKey, access, key, true);
}

void KeyClose(HKEY key) {
    sqlite3_int64 id = 0;
    if (key != nullptr && !RootId(key, &id)) delete reinterpret_cast<KeyObject*>(key);
}

LONG KeyDelete(HKEY root, const wchar_t* subKey) {
    sqlite3_int64 start = 0;
    DWORD access = 0;
    LONG rc = Resolve(root, &start, &access);
    if (rc != 0) return rc;
    Store& store = Store::Instance();
    return store.Run(true, [&]() -> LONG {
        sqlite3_int64 id = 0;
        LONG step = Walk(store, start, subKey, false, &id);
        if (step != 0) return step;
        if (id == start) return static_cast<LONG>(err::kAccessDenied);   // never the key itself
        Statement child = store.Prepare("SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
        if (!child.Ok()) return kBadDb;
        child.Bind(1, id);
        const int has = child.Step();
        if (has == SQLITE_ROW) return static_cast<LONG>(err::kAccessDenied);
        if (has != SQLITE_DONE) return FromSqlite(has);
        Statement values = store.Prepare("DELETE FROM vals WHERE key = ?1");
        Statement self = store.Prepare("DELETE FROM keys WHERE id = ?1");
        if (!values.Ok() || !self.Ok()) return kBadDb;
        values.Bind(1, id);
        self.Bind(1, id);
        step = FromSqlite(values.Step());
        return step != 0 ? step : FromSqlite(self.Step());
    });
}

LONG KeyEnum(HKEY key, DWORD index, wchar_t* name, DWORD* nameLength) {
    sqlite3_int64 id = 0;
    DWORD access = 0;
    LONG rc = Resolve(key, &id, &access);
    if (rc != 0) return rc;
    if ((access & kEnumerateSubKeys) == 0) return static_cast<LONG>(err::kAccessDenied);
    if (name == nullptr || nameLength == nullptr) return static_cast<LONG>(err::kInvalidParameter);
    Store& store = Store::Instance();
    std::wstring found;
    rc = store.Run(false, [&]() -> LONG {
        const LONG alive = Exists(store, id);
        if (alive != 0) return alive;
        Statement s = store.Prepare("SELECT name FROM keys WHERE parent = ?1 ORDER BY fold LIMIT 1 OFFSET ?2");
        if (!s.Ok()) return kBadDb;
        s.Bind(1, id);
        s.Bind(2, static_cast<sqlite3_int64>(index));
        const int step = s.Step();
        if (step == SQLITE_DONE) return kNoMoreItems;
        if (step != SQLITE_ROW) return FromSqlite(step);
        found = s.Text(0);
        return 0;
    });
    if (rc != 0) return rc;
    if (found.size() >= *nameLength) return kMoreData;
    std::wmemcpy(name, found.data(), found.size());
    name[found.size()] = 0;
    *nameLength = static_cast<DWORD>(found.size());
    return 0;
}

LONG ValueQuery(HKEY key, const wchar_t* name, DWORD* type, void* data, DWORD* size) {
    sqlite3_int64 id = 0;
    DWORD access = 0;
    LONG rc = Resolve(key, &id, &access);
    if (rc != 0) return rc;
    if ((access & kQueryValue) == 0) return static_cast<LONG>(err::kAccessDenied);
    if (data != nullptr && size == nullptr) return static_cast<LONG>(err::kInvalidParameter);
    Store& store = Store::Instance();
    const std::string fold = Fold(name != nullptr ? name : L"");
    return store.Run(false, [&]() -> LONG {
        const LONG alive = Exists(store, id);
        if (alive != 0) return alive;
        Statement s = store.Prepare("SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2");
        if (!s.Ok()) return kBadDb;
        s.Bind(1, id);
        s.Bind(2, fold);
        const int step = s.Step();
        if (step == SQLITE_DONE) return static_cast<LONG>(err::kFileNotFound);
        if (step != SQLITE_ROW) return FromSqlite(step);
        if (type != nullptr) *type = static_cast<DWORD>(s.Int(0));
        DWORD stored = 0;
        const void* bytes = s.Blob(1, &stored);
        if (data != nullptr && *size < stored) {
            *size = stored;
            return kMoreData;
        }
        if (data != nullptr && stored > 0) std::memcpy(data, bytes, stored);
        if (size != nullptr) *size = stored;
        return 0;
    });
}

LONG ValueSet(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
    sqlite3_int64 id = 0;
    DWORD access = 0;
    LONG rc = Resolve(key, &id, &access);
    if (rc != 0) return rc;
    if ((access & kSetValue) == 0) return static_cast<LONG>(err::kAccessDenied);
    if (data == nullptr && size != 0) return static_cast<LONG>(err::kInvalidParameter);
    const std::wstring valueName(name != nullptr ? name : L"");
    Store& store = Store::Instance();
    return store.Run(true, [&]() -> LONG {
        const LONG alive = Exists(store, id);
        if (alive != 0) return alive;
        Statement s = store.Prepare("INSERT OR REPLACE INTO vals(key, name, fold, type, data) VALUES (?1, ?2, ?3, ?4, ?5)");
        if (!s.Ok()) return kBadDb;
        s.Bind(1, id);
        s.Bind(2, Utf8(valueName));
        s.Bind(3, Fold(valueName));
        s.Bind(4, static_cast<sqlite3_int64>(type));
        s.BindBlob(5, data, size);
        return FromSqlite(s.Step());
    });
}

LONG ValueDelete(HKEY key, const wchar_t* name) {
    sqlite3_int64 id = 0;
    DWORD access = 0;
    LONG rc = Resolve(key, &id, &access);
    if (rc != 0) return rc;
    if ((access & kSetValue) == 0) return static_cast<LONG>(err::kAccessDenied);
    const std::string fold = Fold(name != nullptr ? name : L"");
    Store& store = Store::Instance();
    return store.Run(true, [&]() -> LONG {
        const LONG alive = Exists(store, id);
        if (alive != 0) return alive;
        Statement s = store.Prepare("DELETE FROM vals WHERE key = ?1 AND fold = ?2");
        if (!s.Ok()) return kBadDb;
        s.Bind(1, id);
        s.Bind(2, fold);
        const int step = s.Step();
        if (step != SQLITE_DONE) return FromSqlite(step);
        return s.Changes() == 0 ? static_cast<LONG>(err::kFileNotFound) : 0;
    });
}

}  // namespace brim::platform
