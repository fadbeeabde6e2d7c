// The message of the CBrimException a call throws, for tests of failure paths.
#pragma once

#include <brim/brim.h>

namespace brimtest {

// The message, or "<nothing thrown>"; the exception is disposed of.
template <typename Call>
CStringW Thrown(Call call) {
    try {
        call();
    } catch (CBrimException* e) {
        CStringW message = e->GetMessageW();
        e->Delete();
        return message;
    }
    return CStringW(L"<nothing thrown>");
}

}  // namespace brimtest
