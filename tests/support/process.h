// brim_test_child, beside the test program, as a real child with pipes on its standard input and output.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace brimtest {

class ChildProcess {
public:
    // Starts brim_test_child with these arguments (UTF-8) and "NAME=value" entries over the parent's environment.
    static std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& args,
                                               const std::vector<std::string>& environment = {});
    ~ChildProcess();

    // One line of the child's output without its line break; "" at the end.
    std::string ReadLine() {
        std::string line;
        for (char c; ReadByte(c) && c != '\n';) {
            if (c != '\r') line += c;
        }
        return line;
    }
    void WriteLine(const std::string& line);
    // Ends the child at once (SIGKILL, TerminateProcess).
    void Kill();
    // Waits for the child to end and returns its exit code (-1 if killed or already waited for).
    int Wait();

private:
    ChildProcess() = default;
    bool ReadByte(char& c);

    // A process id or handle (0: none), and the pipes' descriptors or handles.
    std::intptr_t m_process = 0, m_in = -1, m_out = -1;
};

}  // namespace brimtest
