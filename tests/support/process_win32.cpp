#include "tests/support/process.h"

#include <brim/config.h>

#include <cwchar>
#include <stdexcept>
#include <string>

namespace brimtest {
namespace {

std::wstring Widen(const std::string& s) {
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::wstring ChildPath() {
    wchar_t self[MAX_PATH * 4];
    const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
    std::wstring path(self, n);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"brim_test_child.exe";
}

std::wstring Quote(const std::wstring& arg) {
    std::wstring out = L"\"";
    for (wchar_t c : arg) {
        if (c == L'"') out += L'\\';
        out += c;
    }
    return out + L"\"";
}

class WinChild final : public ChildProcess {
public:
    WinChild(PROCESS_INFORMATION pi, HANDLE in, HANDLE out) : m_pi(pi), m_in(in), m_out(out) {}
    ~WinChild() override {
        if (m_pi.hProcess != nullptr) {
            Kill();
            Wait();
        }
        ::CloseHandle(m_in);
        ::CloseHandle(m_out);
    }

    bool ReadByte(char& c) override {
        DWORD n = 0;
        return ::ReadFile(m_out, &c, 1, &n, nullptr) && n == 1;
    }
    void Write(const std::string& text) override {
        DWORD n = 0;
        ::WriteFile(m_in, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
    }

    void Kill() override {
        if (m_pi.hProcess != nullptr) ::TerminateProcess(m_pi.hProcess, 0xDEAD);
    }

    int Wait() override {
        if (m_pi.hProcess == nullptr) return m_status;
        ::WaitForSingleObject(m_pi.hProcess, INFINITE);
        DWORD code = 0;
        ::GetExitCodeProcess(m_pi.hProcess, &code);
        ::CloseHandle(m_pi.hProcess);
        ::CloseHandle(m_pi.hThread);
        m_pi.hProcess = nullptr;
        m_status = code == 0xDEAD ? -1 : static_cast<int>(code);
        return m_status;
    }

private:
    PROCESS_INFORMATION m_pi;
    HANDLE m_in, m_out;
    int m_status = -1;
};

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::vector<std::string>& args,
                                                  const std::vector<std::string>& environment) {
    // The parent's block, less the variables that environment names, then
    // environment; names compare without case as Windows does.
    std::wstring block;
    if (wchar_t* own = ::GetEnvironmentStringsW()) {
        for (const wchar_t* e = own; *e != 0; e += wcslen(e) + 1) {
            const std::wstring entry = e;
            const std::wstring name = entry.substr(0, entry.find(L'=', 1) + 1);
            bool replaced = false;
            for (const std::string& extra : environment) {
                const std::wstring wide = Widen(extra);
                replaced = replaced || _wcsnicmp(wide.c_str(), name.c_str(), name.size()) == 0;
            }
            if (!replaced) block += entry + L'\0';
        }
        ::FreeEnvironmentStringsW(own);
    }
    for (const std::string& extra : environment) block += Widen(extra) + L'\0';
    block += L'\0';

    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE childIn = nullptr, toChild = nullptr, fromChild = nullptr, childOut = nullptr;
    if (!::CreatePipe(&childIn, &toChild, &sa, 0) || !::CreatePipe(&fromChild, &childOut, &sa, 0)) {
        throw std::runtime_error("pipe");
    }
    // Only the child's ends are inherited.
    ::SetHandleInformation(toChild, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(fromChild, HANDLE_FLAG_INHERIT, 0);

    const std::wstring path = ChildPath();
    std::wstring command = Quote(path);
    for (const std::string& a : args) command += L" " + Quote(Widen(a));
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
    if (!ok) {
        ::CloseHandle(toChild);
        ::CloseHandle(fromChild);
        throw std::runtime_error("cannot start the test child");
    }
    return std::make_unique<WinChild>(pi, toChild, fromChild);
}

}  // namespace brimtest
