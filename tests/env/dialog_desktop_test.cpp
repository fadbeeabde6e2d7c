// POSIX only: the default dialogs for real, on a private X server (Xvfb),
// answered from the keyboard with xdotool.
#include <brim/brim.h>

#include "tests/support/printers.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>

extern char** environ;

namespace {

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
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
        int display = 200 + static_cast<int>(getpid() % 500);
        struct stat st {};
        while (stat(("/tmp/.X11-unix/X" + std::to_string(display)).c_str(), &st) == 0) ++display;
        m_display = brimtest::Numbered(":", display);
        const char* argv[] = {"Xvfb", m_display.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp", nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 1, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 1, 0);
        ASSERT_EQ(posix_spawnp(&m_server, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(display);
        for (int k = 0; k < 100 && stat(socket.c_str(), &st) != 0; ++k) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        setenv("DISPLAY", m_display.c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
    }

    void TearDown() override {
        unsetenv("DISPLAY");
        if (m_server > 0) {
            kill(m_server, SIGTERM);
            waitpid(m_server, nullptr, 0);
        }
    }

    // Waits for a zenity window to show, lets it settle, then sends key to
    // it until the call ends (bounded).
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

    std::string m_display;
    pid_t m_server = 0;
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
