#pragma once
#include <cstddef>
#include <cstdint>
namespace brim::platform {
struct MessageEntry { std::uint32_t code; const wchar_t* text; };
extern const MessageEntry kSystemMessages[];
extern const std::size_t kSystemMessageCount;
extern const MessageEntry kInternetMessages[];
extern const std::size_t kInternetMessageCount;
// Binary search in a sorted table; nullptr when the code is absent.
const wchar_t* FindMessage(const MessageEntry* table, std::size_t count, std::uint32_t code);
}
