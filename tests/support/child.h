// Shared by the child program's command files.
#pragma once

#include <brim/brim.h>

#include <cstddef>
#include <string>
#include <vector>

namespace brimchild {

// What a command runner returns for a command that is not its own.
constexpr int kNotMine = -1000;

void Say(const char* line);
void AwaitLine();
std::string Hex(const char* bytes, std::size_t n);
std::string Unhex(const CStringW& hex);
void SayHex(const char* label, const char* bytes, std::size_t n);
std::string ToUtf8(const wchar_t* text);
// Prints "bad WHAT"; returns 1.
int Bad(const char* what);

// One runner per subsystem: the exit code, or kNotMine.
int RunFoundationCommand(const std::vector<CStringW>& args);
int RunTextCommand(const std::vector<CStringW>& args);
int RunEnvCommand(const std::vector<CStringW>& args);

}  // namespace brimchild
