#include "tests/support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

extern char** environ;

namespace brimtest {
namespace {

std::string ChildPath() {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) throw std::runtime_error("cannot find the test executable");
    std::string path(self, static_cast<std::size_t>(n));
    return path.substr(0, path.find_last_of('/') + 1) + "brim_test_child";
}

class PosixChild final : public ChildProcess {
public:
    PosixChild(pid_t pid, int in, int out) : m_pid(pid), m_in(in), m_out(out) {}
    ~PosixChild() override {
        if (m_pid > 0) {
            Kill();
            Wait();
        }
        if (m_in >= 0) close(m_in);
        if (m_out >= 0) close(m_out);
    }

    bool ReadByte(char& c) override { return read(m_out, &c, 1) == 1; }
    void Write(const std::string& text) override {
        if (write(m_in, text.data(), text.size()) < 0) { /* the child is gone: nothing to tell */ }
    }

    void Kill() override {
        if (m_pid > 0) kill(m_pid, SIGKILL);
    }

    int Wait() override {
        if (m_pid <= 0) return m_status;
        int status = 0;
        while (waitpid(m_pid, &status, 0) < 0) {
        }
        m_pid = -1;
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return m_status;
    }

private:
    pid_t m_pid;
    int m_in, m_out;
    int m_status = -1;
};

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::vector<std::string>& args,
                                                  const std::vector<std::string>& environment) {
    // The parent's variables, less those that environment names, then environment.
    std::vector<std::string> merged;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const std::string& extra : environment) replaced = replaced || extra.compare(0, name.size(), name) == 0;
        if (!replaced) merged.push_back(entry);
    }
    merged.insert(merged.end(), environment.begin(), environment.end());
    std::vector<char*> envp;
    for (std::string& entry : merged) envp.push_back(entry.data());
    envp.push_back(nullptr);

    const std::string path = ChildPath();
    int toChild[2], fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(toChild[0]);
    close(fromChild[1]);
    if (rc != 0) {
        close(toChild[1]);
        close(fromChild[0]);
        throw std::runtime_error("cannot start " + path);
    }
    return std::make_unique<PosixChild>(pid, toChild[1], fromChild[0]);
}

}  // namespace brimtest
