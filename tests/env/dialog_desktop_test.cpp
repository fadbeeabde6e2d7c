// POSIX only: the default dialogs for real, on a private Xvfb, answered with xdotool.
#include "tests/support/suite.h"

#include <signal.h>

#include <future>

namespace {

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "re")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
        pclose(pipe);
    }
    return out;
}

class Desktop : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("{ command -v Xvfb && command -v zenity && command -v xdotool; } >/dev/null 2>&1") != 0) {
            if (std::getenv("CI") != nullptr) FAIL() << "Xvfb, zenity and xdotool are needed (scripts/install-deps.sh)";
            GTEST_SKIP() << "Xvfb, zenity or xdotool is not installed";
        }
        // The shell's pid is the server's; Xvfb names a free display once it is ready for clients.
        m_server = popen("echo $$; exec Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null", "re");
        char pid[32] = {}, display[32] = {":"};
        ASSERT_NE(m_server, nullptr);
        ASSERT_NE(std::fgets(pid, sizeof pid, m_server), nullptr);
        m_pid = std::atoi(pid);
        ASSERT_NE(std::fgets(display + 1, sizeof display - 1, m_server), nullptr) << "Xvfb did not start";
        display[std::strcspn(display, "\n")] = 0;
        setenv("DISPLAY", display, 1);
        unsetenv("WAYLAND_DISPLAY");
    }

    void TearDown() override {
        unsetenv("DISPLAY");
        if (m_pid > 0) kill(m_pid, SIGTERM);
        if (m_server != nullptr) pclose(m_server);
    }

    // Waits for a zenity window to show, then sends key to it until the call ends (bounded).
    template <class T>
    T Answer(std::future<T>& call, const char* key) {
        std::string window;
        for (int k = 0; k < 100 && window.empty(); ++k) {
            window = Output("xdotool search --onlyvisible --class zenity 2>/dev/null | tail -n 1");
            if (window.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_FALSE(window.empty()) << "no dialog appeared";
        if (!window.empty()) window.pop_back();
        for (int k = 0; k < 20; ++k) {
            if (call.wait_for(std::chrono::seconds(2)) == std::future_status::ready) break;
            Output("xdotool windowfocus " + window + " key " + key + " 2>/dev/null");
        }
        return call.get();
    }

    FILE* m_server = nullptr;
    int m_pid = 0;
};

TEST_F(Desktop, TheFolderChooserRunsAndCanBeCancelled) {
    std::future<CStringW> call = std::async(std::launch::async, [] { return CBrimDialog::GetPath(nullptr); });
    EXPECT_EQ(Answer(call, "Escape"), L"");
}

TEST_F(Desktop, TheMessageBoxTakesItsDefaultAnswer) {
    std::future<int> call = std::async(std::launch::async, [] { return AfxMessageBox(L"Proceed?", MB_YESNO); });
    EXPECT_EQ(Answer(call, "Return"), IDYES);
}

}  // namespace
