// ReadText on arbitrary bytes: it decodes or throws CBrimException, never
// reads past the buffer, and its result never runs past the first zero.
#include <brim/text.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<unsigned char> block(data, data + size);   // exactly sized
    CBrimFile file;
    const int id = CBrimFile::EncodingCheck(block.empty() ? nullptr : block.data(), static_cast<unsigned int>(size));
    try {
        const CStringW text = file.ReadText(block.empty() ? nullptr : block.data(), static_cast<unsigned int>(size));
        const bool decodable = id == 0 || id == 2 || id == 13 || id == 14 || id == 15 || id == 16;
        if (!decodable) std::abort();
        if (static_cast<std::size_t>(text.GetLength()) > size) std::abort();
        if (std::wcslen(text.GetString()) != static_cast<std::size_t>(text.GetLength())) std::abort();
    } catch (CBrimException* e) {
        const bool named = e->GetMessageW().Find(CBrimFile::GetEncodingName(id)) > 0;
        e->Delete();
        if (!named) std::abort();
    }
    return 0;
}
