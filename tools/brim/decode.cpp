#include "tools/brim/decode.h"

#include <climits>
#include <utility>

namespace brimtool {

CStringW DecodeText(std::vector<unsigned char>& bytes, int encoding, bool ansi, bool libraryOnly) {
    CStringW text;
    const bool korean = encoding == CBrimFile::EUCKR || encoding == CBrimFile::CP949;
    // EUC-KR is a subset of code page 949, so one converter serves both.
    if (korean && !ansi && !libraryOnly && bytes.size() <= INT_MAX) {
        try {
            return CBrimString::CodePage2Unicode(949, reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<int>(bytes.size()));
        } catch (CBrimException* e) {
            e->Delete();   // a system without code page 949: the reader's ANSI reading follows
        }
    }
    if (encoding == CBrimFile::UTF16_BE && !libraryOnly) {
        // Its mark turns into the little-endian one, which the reader decodes.
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
    }
    CBrimFile reader;
    text = bytes.empty() ? CStringW() : reader.ReadText(bytes.data(), static_cast<unsigned int>(bytes.size()));
    if (!text.IsEmpty() && text[0] == L'\xFEFF') text = text.Mid(1);
    return text;
}

}  // namespace brimtool
