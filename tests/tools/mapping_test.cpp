// brim's file mapping when another writer cuts the file short while it is read.
#include "tests/support/suite.h"
#include "tools/brim/file_mapping.h"

#include <unistd.h>

namespace {

using brimtest::TempDir;

// Every byte read, as a reader of the whole mapping would.
unsigned Sum(const unsigned char* data, std::size_t size) {
    unsigned sum = 0;
    for (std::size_t k = 0; k < size; ++k) sum += data[k];
    return sum;
}

// Mapped whole (a small file) or with its pages read ahead by a thread (from
// 16 MiB): cut to one page after mapping, the rest reads as zeros rather than
// ending the process, and the mapping says it was cut; a file left whole
// does not.
TEST(FileMapping, AFileCutShortWhileReadReadsAsZerosAndSaysSo) {
    TempDir dir;
    for (const std::size_t size : {std::size_t{64} << 10, std::size_t{20} << 20}) {
        SCOPED_TRACE(size);
        const auto path = dir.Path() / "text.bin";
        brimtest::WriteBytes(path, std::string(size, '\x01'));
        const CStringW name(path.wstring().c_str());
        {
            brimtool::FileMapping whole(name, size);
            ASSERT_NE(whole.Data(), nullptr);
            EXPECT_EQ(Sum(whole.Data(), size), size);
            EXPECT_FALSE(whole.Cut());
        }
        brimtool::FileMapping cut(name, size);
        ASSERT_NE(cut.Data(), nullptr);
        ASSERT_EQ(truncate(path.c_str(), 4096), 0);
        EXPECT_EQ(Sum(cut.Data(), size), 4096u);
        EXPECT_TRUE(cut.Cut());
    }
}

}  // namespace
