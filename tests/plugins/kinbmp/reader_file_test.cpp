// The readers' bounded file reading: a range large enough to be read in
// pieces on all cores gives the file's bytes in place, piece borders
// included, and a file that shrinks under the reader gives a failed read,
// not a buffer with a hole.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "reader_file.h"

namespace {

class TempFile {
  public:
    explicit TempFile(const std::vector<uint8_t> &bytes) {
        char name[] = "/tmp/kin_reader_file_XXXXXX";
        const int fd = mkstemp(name);
        path_ = name;
        EXPECT_GE(fd, 0);
        EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        close(fd);
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const char *path() const { return path_.c_str(); }

  private:
    std::string path_;
};

TEST(ReaderFile, LargeRangesReadInPiecesGiveTheFilesBytes) {
    // 9 MiB and a bit: more than two pieces, the last one short.
    std::vector<uint8_t> bytes((9u << 20) + 12345);
    uint32_t v = 7;
    for (uint8_t &b : bytes) b = static_cast<uint8_t>((v = v * 1664525u + 1013904223u) >> 24);
    TempFile file(bytes);
    kincommon::File f(file.path());
    ASSERT_TRUE(f.ok());
    struct Range {
        int64_t pos;
        uint64_t n;
    };
    for (const Range r : {Range{0, bytes.size()}, Range{3, bytes.size() - 3},
                          Range{(4 << 20) - 1, (5u << 20) + 2}}) {
        kincommon::Buffer buf;
        ASSERT_TRUE(buf.allocate(r.n));
        ASSERT_TRUE(f.read_at(r.pos, buf.data(), r.n)) << r.pos;
        EXPECT_EQ(std::memcmp(buf.data(), bytes.data() + r.pos, r.n), 0) << r.pos;
    }
    kincommon::Buffer buf;
    ASSERT_TRUE(buf.allocate(bytes.size()));
    EXPECT_FALSE(f.read_at(1, buf.data(), bytes.size()));  // one byte beyond the end

    // The file loses its second half after it was measured.
    ASSERT_EQ(truncate(file.path(), 5 << 20), 0);
    EXPECT_FALSE(f.read_at(0, buf.data(), bytes.size()));
}

}  // namespace
