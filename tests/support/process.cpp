#include "tests/support/process.h"

#include <stdexcept>

#if defined(_WIN32)
#  include <brim/config.h>
#  include <cwchar>
#else
#  include <cerrno>
#  include <fcntl.h>
#  include <signal.h>
#  include <spawn.h>
#  include <sys/wait.h>
#  include <unistd.h>
extern char** environ;
#endif

namespace brimtest {
namespace {

#if defined(_WIN32)
using Text = std::wstring;
Text Native(const std::string& s) {
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}
HANDLE H(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
std::intptr_t I(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }
Text Quote(const Text& arg) {
    Text out = L"\"";
    for (wchar_t c : arg) out += c == L'"' ? L"\\\"" : Text(1, c);
    return out + L"\"";
}
#else
using Text = std::string;
Text Native(const std::string& s) { return s; }
#endif

// The parent's variables, less those that extra names, then extra.
std::vector<Text> Environment(const std::vector<std::string>& extra) {
    std::vector<Text> own, added, merged;
#if defined(_WIN32)
    if (wchar_t* block = ::GetEnvironmentStringsW()) {
        for (const wchar_t* e = block; *e != 0; e += wcslen(e) + 1) own.emplace_back(e);
        ::FreeEnvironmentStringsW(block);
    }
#else
    for (char** e = environ; *e != nullptr; ++e) own.emplace_back(*e);
#endif
    for (const std::string& entry : extra) added.push_back(Native(entry));
    for (const Text& entry : own) {
        const Text name = entry.substr(0, entry.find('=', 1) + 1);
        bool replaced = false;
        for (const Text& a : added) replaced = replaced || a.compare(0, name.size(), name) == 0;
        if (!replaced) merged.push_back(entry);
    }
    merged.insert(merged.end(), added.begin(), added.end());
    return merged;
}

Text ChildPath() {
#if defined(_WIN32)
    wchar_t self[MAX_PATH * 4];
    const Text path(self, ::GetModuleFileNameW(nullptr, self, MAX_PATH * 4));
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"brim_test_child.exe";
#else
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) throw std::runtime_error("cannot find the test executable");
    const Text path(self, static_cast<std::size_t>(n));
    return path.substr(0, path.find_last_of('/') + 1) + "brim_test_child";
#endif
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::vector<std::string>& args,
                                                  const std::vector<std::string>& environment) {
    std::vector<Text> variables = Environment(environment);
    const Text path = ChildPath();
    std::unique_ptr<ChildProcess> child(new ChildProcess);
#if defined(_WIN32)
    Text block;
    for (const Text& entry : variables) block += entry + L'\0';
    block += L'\0';
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE childIn = nullptr, toChild = nullptr, fromChild = nullptr, childOut = nullptr;
    if (!::CreatePipe(&childIn, &toChild, &sa, 0) || !::CreatePipe(&fromChild, &childOut, &sa, 0)) {
        throw std::runtime_error("pipe");
    }
    // Only the child's ends are inherited.
    ::SetHandleInformation(toChild, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(fromChild, HANDLE_FLAG_INHERIT, 0);
    child->m_in = I(toChild);
    child->m_out = I(fromChild);
    Text command = Quote(path);
    for (const std::string& a : args) command += L" " + Quote(Native(a));
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = childIn;
    si.hStdOutput = childOut;
    si.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi = {};
    const BOOL ok = ::CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                                   block.data(), nullptr, &si, &pi);
    ::CloseHandle(childIn);
    ::CloseHandle(childOut);
    if (!ok) throw std::runtime_error("cannot start the test child");
    ::CloseHandle(pi.hThread);
    child->m_process = I(pi.hProcess);
#else
    std::vector<char*> envp, argv{const_cast<char*>(path.c_str())};
    for (std::string& entry : variables) envp.push_back(entry.data());
    envp.push_back(nullptr);
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int toChild[2], fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    child->m_in = toChild[1];
    child->m_out = fromChild[0];
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(toChild[0]);
    close(fromChild[1]);
    if (rc != 0) throw std::runtime_error("cannot start " + path);
    child->m_process = pid;
#endif
    return child;
}

ChildProcess::~ChildProcess() {
    if (m_process != 0) {
        Kill();
        Wait();
    }
    for (const std::intptr_t end : {m_in, m_out}) {
#if defined(_WIN32)
        if (end != -1) ::CloseHandle(H(end));
#else
        if (end != -1) close(static_cast<int>(end));
#endif
    }
}

bool ChildProcess::ReadByte(char& c) {
#if defined(_WIN32)
    DWORD n = 0;
    return ::ReadFile(H(m_out), &c, 1, &n, nullptr) && n == 1;
#else
    return read(static_cast<int>(m_out), &c, 1) == 1;
#endif
}

void ChildProcess::WriteLine(const std::string& line) {
    const std::string text = line + "\n";   // a child that is gone has nothing to be told
#if defined(_WIN32)
    DWORD n = 0;
    ::WriteFile(H(m_in), text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
#else
    if (write(static_cast<int>(m_in), text.data(), text.size()) < 0) return;
#endif
}

void ChildProcess::Kill() {
#if defined(_WIN32)
    if (m_process != 0) ::TerminateProcess(H(m_process), 0xDEAD);
#else
    if (m_process != 0) kill(static_cast<pid_t>(m_process), SIGKILL);
#endif
}

int ChildProcess::Wait() {
    if (m_process == 0) return -1;
#if defined(_WIN32)
    DWORD code = 0;
    ::WaitForSingleObject(H(m_process), INFINITE);
    ::GetExitCodeProcess(H(m_process), &code);
    ::CloseHandle(H(m_process));
    const int status = code == 0xDEAD ? -1 : static_cast<int>(code);
#else
    int wstatus = 0;
    while (waitpid(static_cast<pid_t>(m_process), &wstatus, 0) < 0 && errno == EINTR) {
    }
    const int status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
#endif
    m_process = 0;
    return status;
}

}  // namespace brimtest
