// Real child processes for multi-process tests: the test child program
// (brim_test_child, next to the test executable) with pipes on its standard
// input and output.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace brimtest {

class ChildProcess {
public:
    virtual ~ChildProcess() = default;

    // Starts brim_test_child with these arguments (UTF-8), "NAME=value"
    // entries added to (or replacing those of) the parent's environment.
    static std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& args,
                                               const std::vector<std::string>& environment = {});

    // One line of the child's output without its line break; "" at the end.
    std::string ReadLine() {
        std::string line;
        for (char c; ReadByte(c) && c != '\n';) {
            if (c != '\r') line += c;
        }
        return line;
    }
    void WriteLine(const std::string& line) { Write(line + "\n"); }
    // Ends the child at once (SIGKILL, TerminateProcess).
    virtual void Kill() = 0;
    // Waits for the child to end and returns its exit code (-1 if killed).
    virtual int Wait() = 0;

protected:
    virtual bool ReadByte(char& c) = 0;
    virtual void Write(const std::string& text) = 0;
};

}  // namespace brimtest
