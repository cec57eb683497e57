#include "common/FileStream.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/ByteReader.h"
#include "common/RunError.h"
#include "support/TempDir.h"

namespace eitool {
namespace {

TEST(FileStream, ReadWriteOpeningIsExclusive) {
    testing::TempDir tmp;
    const std::string path = tmp / "pack.tre";
    FileStream::Open(path, omCreate).Write("abc", 3);
    FileStream first = FileStream::Open(path, omReadWrite);
    EXPECT_THROW(FileStream::Open(path, omReadWrite), FileOpenError);
    first.Close();
    EXPECT_NO_THROW(FileStream::Open(path, omReadWrite));
}

TEST(FileStream, BlockCopyMovesBothPositionsAndDetectsAShortSource) {
    testing::TempDir tmp;
    std::vector<char> bytes(3 << 20);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(i * 7 + 3);
    }
    FileStream source = FileStream::Open(tmp / "src", omCreate);
    source.Write(bytes.data(), bytes.size());
    source.Seek(100);
    FileStream target = FileStream::Open(tmp / "dst", omCreate);
    target.Write("hd", 2);
    target.CopyFrom(source, bytes.size() - 200);
    EXPECT_EQ(source.Position(), bytes.size() - 100);
    EXPECT_EQ(target.Position(), bytes.size() - 198);
    std::vector<char> back(bytes.size() - 200);
    target.Seek(2);
    target.ReadExact(back.data(), back.size());
    EXPECT_TRUE(std::equal(back.begin(), back.end(), bytes.begin() + 100));

    EXPECT_THROW(target.CopyFrom(source, 101), FileReadError);
}

TEST(FileStream, OpeningFailuresAreReportedByKind) {
    testing::TempDir tmp;
    EXPECT_THROW(FileStream::Open(tmp / "none", omRead), FileOpenError);
    EXPECT_THROW(FileStream::Open(tmp / "no/dir/file", omCreate), FileCreateError);
    EXPECT_THROW(FileStream::Open(tmp.Path(), omReadWrite), FileOpenError);
    FileStream empty = FileStream::Open(tmp / "empty", omCreate);
    char c = 0;
    EXPECT_EQ(empty.Read(&c, 1), 0u);
    EXPECT_THROW(empty.ReadExact(&c, 1), FileReadError);
}

TEST(ByteReader, ReadsLittleEndianAndRefusesToRunPastTheEnd) {
    const std::uint8_t bytes[] = {0x01, 0x02, 0x03, 0x04, 0x00, 0x00, 0x80, 0x3F, 0xFF};
    ByteReader reader(bytes);
    EXPECT_EQ(reader.U32le(), 0x04030201u);
    EXPECT_EQ(reader.F32le(), 1.0f);
    EXPECT_EQ(reader.U8(), 0xFF);
    EXPECT_THROW(reader.U8(), OutOfBounds);
    reader.Seek(8);
    EXPECT_THROW(reader.U16le(), OutOfBounds);
    EXPECT_EQ(reader.Position(), 8u); // a failed read leaves the position
    reader.Seek(7);
    EXPECT_EQ(reader.U16le(), 0xFF3Fu);
    EXPECT_THROW(reader.Seek(10), OutOfBounds);
    EXPECT_THROW(reader.Sub(4, 6), OutOfBounds);
    EXPECT_THROW(reader.Sub(0xFFFFFFFFFFFFFFFFull, 2), OutOfBounds);
    ByteReader sub = reader.Sub(2, 3);
    EXPECT_EQ(sub.Size(), 3u);
    EXPECT_EQ(sub.U16le(), 0x0403u);
    EXPECT_THROW(sub.Bytes(2), OutOfBounds);
}

} // namespace
} // namespace eitool
