// The appending UTF-8 writer behind CBrimFile::WriteUTF8, for callers inside
// the library that need to know whether the file could be opened.
#pragma once

namespace brim::detail {

// Appends text to the file name as UTF-8, exactly as CBrimFile::WriteUTF8
// does, and returns true. When neither open succeeds nothing is written and
// it returns false, GetLastError telling why. Throws what WriteUTF8 throws.
bool AppendUtf8(const wchar_t* name, const wchar_t* text);

}  // namespace brim::detail
