// Several real processes (and threads) on the same keys, and a writer killed mid-change.
#include "tests/support/suite.h"
#include "tests/env/registry_fixture.h"

#if !defined(_WIN32)
#  include <sqlite3.h>
#endif

namespace brimtest {
namespace {

using RegistryProcesses = RegistryTest;

// Starts one child per id with these arguments around it, and waits for each to say "done".
void RunAll(int count, const std::string& command, const std::string& before, const std::string& after) {
    std::vector<std::unique_ptr<ChildProcess>> children;
    for (int id = 0; id < count; ++id) children.push_back(ChildProcess::Start({command, before, Numbered("", id), after}));
    for (auto& child : children) {
        EXPECT_EQ(child->ReadLine(), "done");
        EXPECT_EQ(child->Wait(), 0);
    }
}

TEST_F(RegistryProcesses, FourProcessesAndFourThreadsWriteAndReadTheSameKeysAtOnce) {
    constexpr int kWriters = 4, kRounds = 150;
    std::atomic<int> surprises{0};
    std::vector<std::thread> threads;
    for (int id = 0; id < kWriters; ++id) {
        threads.emplace_back([&, id] {
            const std::wstring name = L"t" + std::to_wstring(id);
            const CStringW key = Key(L"threads"), own = Key((L"threads\\own-" + name).c_str());
            for (int i = 0; i < kRounds; ++i) {
                surprises += !PutInt(L"threads", name.c_str(), static_cast<unsigned long>(i)) ||
                             GetInt(L"threads", name.c_str()) != i;
                CStringW path = own;
                surprises += !CBrimRegistry::LocalWriteString(HKEY_CURRENT_USER, own + L"\\leaf", L"v", L"x") ||
                             CBrimRegistry::LocalDeleteSubKey(HKEY_CURRENT_USER, path.GetBuffer()) != 1;
            }
        });
    }
    RunAll(kWriters, "reg-hammer", std::string(m_base.begin(), m_base.end()), std::to_string(kRounds));
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(surprises.load(), 0);
    for (int id = 0; id < kWriters; ++id) {
        EXPECT_EQ(GetInt(L"threads", (L"t" + std::to_wstring(id)).c_str()), kRounds - 1);
        EXPECT_EQ(GetInt(L"shared", (L"n" + std::to_wstring(id)).c_str()), kRounds - 1);
        EXPECT_EQ(Get((L"tree-" + std::to_wstring(id) + L"\\a\\b").c_str(), L"v"), L"");
    }
    const CStringW last = Get(L"shared", L"last");
    EXPECT_EQ(last.Find(L"writer "), 0) << last.GetString();
    EXPECT_NE(last.Find(L" step 149"), -1) << last.GetString();
}

TEST_F(RegistryProcesses, AWriterKilledMidChangeLeavesTheLastCommittedState) {
    const std::wstring company = m_base.substr(std::wstring(L"Software\\").size());
    auto child = ChildProcess::Start({"reg-write-forever", std::string(company.begin(), company.end())});
    int committed = 0;
    while (committed < 3) {
        const std::string line = child->ReadLine();
        ASSERT_EQ(line.rfind("committed ", 0), 0u) << line;
        committed = std::stoi(line.substr(10));
    }
    child->Kill();   // inside the next megabyte-sized change
    child->Wait();

    CWinApp app(L"killed");
    app.SetRegistryKey(company.c_str());
    EXPECT_GE(static_cast<int>(app.GetProfileInt(L"data", L"round", -1)), committed);
    const CStringW big = app.GetProfileString(L"data", L"big");
    ASSERT_EQ(big.GetLength(), 1 << 20);
    EXPECT_EQ(CStringW(big.GetAt(0), big.GetLength()), big);   // one round's text, whole
    EXPECT_TRUE(app.WriteProfileInt(L"data", L"round", 0));
    EXPECT_EQ(app.GetProfileInt(L"data", L"round", -1), 0u);
#if !defined(_WIN32)
    // The store's file itself passes SQLite's integrity check.
    const std::string db = (RegistryEnvironment::home->Path() / "brim/registry.db").string();
    sqlite3* handle = nullptr;
    sqlite3_stmt* check = nullptr;
    ASSERT_EQ(sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_prepare_v2(handle, "PRAGMA integrity_check", -1, &check, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
    sqlite3_finalize(check);
    sqlite3_close(handle);
#endif
}

#if !defined(_WIN32)
// POSIX only: Windows promises nothing to profile writers in several processes.
TEST_F(RegistryProcesses, ProfileFileWritersInSeveralProcessesLoseNothing) {
    TempDir dir;
    constexpr int kWriters = 4, kEntries = 40;
    RunAll(kWriters, "ini-write", (dir.Path() / "shared.ini").string(), std::to_string(kEntries));
    CWinApp app(L"reader");
    app.SetProfileName(dir.File(L"shared.ini"));
    for (int id = 0; id < kWriters; ++id) {
        for (int i = 0; i < kEntries; ++i) {
            const std::wstring entry = std::to_wstring(id) + L"-" + std::to_wstring(i);
            EXPECT_EQ(static_cast<int>(app.GetProfileInt(L"shared", entry.c_str(), -1)), i) << entry;
        }
    }
    // Only the profile file is left in the folder: no temporary files.
    const auto items = std::filesystem::directory_iterator(dir.Path());
    EXPECT_EQ(std::distance(begin(items), end(items)), 1);
}
#endif

}  // namespace
}  // namespace brimtest
