#include "tools/brim/commands.h"
#include "tools/brim/console.h"

namespace brimtool {
namespace {

struct Command {
    const wchar_t* name;
    int (*run)(const std::vector<CStringW>& args);
    const wchar_t* summary;
};

const Command kCommands[] = {
    {L"error", CommandError, L"the library's text for a Windows error code"},
    {L"tour", CommandTour, L"a short look at what the library does (the default)"},
};

void Usage() {
    CStringW text = L"usage: brim [COMMAND] [ARGS...]\n\ncommands:\n";
    for (const Command& c : kCommands) text.AppendFormat(L"  %-10s %s\n", c.name, c.summary);
    text += L"\n'brim COMMAND --help' describes a command.\n";
    Out(text);
}

}  // namespace

int Run(const std::vector<CStringW>& args) {
    if (args.empty()) return CommandTour(args);
    const CStringW& name = args[0];
    if (name == L"--help" || name == L"-h" || name == L"help") {
        Usage();
        return kExitOk;
    }
    const std::vector<CStringW> rest(args.begin() + 1, args.end());
    for (const Command& c : kCommands) {
        if (name == c.name) {
            try {
                return c.run(rest);
            } catch (CBrimException* e) {
                Err(e->GetMessageW() + L"\n");
                e->Delete();
                return kExitFailure;
            }
        }
    }
    Err(L"brim: unknown command '" + name + L"' (try 'brim --help')\n");
    return kExitUsage;
}

}  // namespace brimtool
