#include "tools/brim/console.h"
#include "tools/brim/decode.h"

#include <iconv.h>

#include <cerrno>
#include <string>

namespace brimtool {

bool DecodeCodePage(unsigned int codePage, const unsigned char* bytes, std::size_t size, CStringW& text) {
    const std::string from = "CP" + std::to_string(codePage);
    iconv_t cd = iconv_open("UTF-8", from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string utf8;
    char chunk[4096];
    char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes));
    std::size_t left = size;
    while (left > 0) {
        char* out = chunk;
        std::size_t room = sizeof chunk;
        const std::size_t rc = iconv(cd, &in, &left, &out, &room);
        utf8.append(chunk, static_cast<std::size_t>(out - chunk));
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
            utf8 += "\xEF\xBF\xBD";   // a byte that starts no character, or a cut one at the end
            ++in;
            --left;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    text = FromUtf8(utf8.c_str());
    return true;
}

}  // namespace brimtool
