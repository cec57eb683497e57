#include "common/FileStream.h"

#include "common/RunError.h"
#include "support/Platform.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif
#include <vector>

namespace eitool {
namespace {

// A writer excludes everyone of this tool; shared readers exclude only writers; plain reading
// takes no lock (on Windows, where a writer shares with nobody, it cannot meet a writer).
TEST(FileStream, LockingModesExcludeEachOtherAsTheyShould) {
#ifdef _WIN32
    constexpr bool kPlainReadMeetsWriter = false;
#else
    constexpr bool kPlainReadMeetsWriter = true;
#endif
    testing::TempDir tmp;
    const std::string path = tmp / "pack.tre";
    FileStream::Open(path, omCreate).Write("abc", 3);
    const struct {
        OpenMode first;
        OpenMode second;
        bool refused;
    } cases[] = {
        {omReadWrite, omReadWrite, true},
        {omReadWrite, omReadShared, true},
        {omReadShared, omReadWrite, true},
        {omReadShared, omReadShared, false},
        {omReadWrite, omRead, !kPlainReadMeetsWriter},
        {omRead, omReadWrite, !kPlainReadMeetsWriter},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.first) + " then " + std::to_string(c.second));
        FileStream first = FileStream::Open(path, c.first);
        if (c.refused) {
            try {
                FileStream::Open(path, c.second);
                ADD_FAILURE() << "not refused";
            } catch (const FileOpenError& error) {
                EXPECT_NE(std::string(error.what()).find("in use by another process"),
                          std::string::npos);
            }
        } else {
            EXPECT_NO_THROW(FileStream::Open(path, c.second));
        }
        first.Close();
        EXPECT_NO_THROW(FileStream::Open(path, c.second));
    }
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

TEST(FileStream, ReadAtAndWriteAtLeaveThePositionAlone) {
    testing::TempDir tmp;
    FileStream file = FileStream::Open(tmp / "f", omCreate);
    file.Write("hello world", 11);
    const std::vector<std::uint8_t> wide = {'W', 'I', 'D', 'E'};
    file.WriteAt(6, wide);
    file.WriteAt(11, std::vector<std::uint8_t>{'!'});
    std::vector<std::uint8_t> back(6);
    file.ReadAt(6, back);
    EXPECT_EQ(std::string(back.begin(), back.end()), "WIDEd!");
    EXPECT_EQ(file.Position(), 11u);
    EXPECT_THROW(file.ReadAt(7, back), FileReadError);
    EXPECT_EQ(ReadWholeFile(tmp / "f"), (std::vector<std::uint8_t>{'h', 'e', 'l', 'l', 'o', ' ',
                                                                   'W', 'I', 'D', 'E', 'd', '!'}));
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

TEST(FileStream, OpenExistingGivesNothingOnlyWhereNoEntryIs) {
    testing::TempDir tmp;
    WriteWholeFile(tmp / "a", {1, 2, 3});
    EXPECT_FALSE(FileStream::OpenExisting(tmp / "none", omRead));
    EXPECT_FALSE(FileStream::OpenExisting(tmp / "none/below", omRead));
    EXPECT_FALSE(FileStream::OpenExisting(tmp / "a/below", omRead));
    EXPECT_EQ(FileStream::OpenExisting(tmp / "a", omRead).value().SizeAtOpen(), 3u);
    EXPECT_THROW(FileStream::OpenExisting(tmp.Path(), omRead), FileOpenError);
    EITOOL_SKIP_ON_WINDOWS(testing::kNoLinks);
    std::filesystem::create_symlink(tmp / "missing", tmp / "dangling");
    EXPECT_THROW(FileStream::OpenExisting(tmp / "dangling", omRead), FileOpenError);
}

// Whole aligned blocks go past the cache where the system allows it; any other write goes
// through it, and the file reads back the same either way.
TEST(FileStream, WritesPastTheCacheFallBackForOddLengths) {
    testing::TempDir tmp;
    constexpr std::size_t kBlock = 4096;
    AlignedBuffer buffer(2 * kBlock);
    auto* block = reinterpret_cast<char*>(buffer.data());
    std::fill_n(block, 2 * kBlock, 'b');
    FileStream file = FileStream::Open(tmp / "f", omCreate);
    file.BypassCache(true);
    file.Write(block, 2 * kBlock);
    file.Write("tail", 4);
    file.Write(block, kBlock);
    file.BypassCache(false);
    file.Flush();
    std::vector<std::uint8_t> expected(3 * kBlock + 4, 'b');
    std::copy_n("tail", 4, expected.begin() + 2 * kBlock);
    EXPECT_EQ(ReadWholeFile(tmp / "f"), expected);
}

TEST(FileStream, IdentityTellsFilesApartAndDoesNotFollowALink) {
    testing::TempDir tmp;
    WriteWholeFile(tmp / "a", {1, 2, 3});
    WriteWholeFile(tmp / "b", {1, 2, 3});

    const FileIdentity a = FileStream::Open(tmp / "a", omRead).Identity();
    EXPECT_EQ(a.kind, FileKind::Regular);
    EXPECT_EQ(a.size, 3u);
    EXPECT_TRUE(a.SameFileAs(IdentityOfPath(tmp / "a").value()));
    EXPECT_FALSE(a.SameFileAs(IdentityOfPath(tmp / "b").value()));
    EXPECT_EQ(IdentityOfPath(tmp.Path()).value().kind, FileKind::Directory);
    EXPECT_FALSE(IdentityOfPath(tmp / "none"));
    EITOOL_SKIP_ON_WINDOWS(testing::kNoLinks);
#ifndef _WIN32
    std::filesystem::create_symlink(tmp / "a", tmp / "link");
    ASSERT_EQ(mkfifo((tmp / "fifo").c_str(), 0600), 0);
    EXPECT_TRUE(a.SameFileAs(FileStream::Open(tmp / "link", omRead).Identity()));
    EXPECT_EQ(IdentityOfPath(tmp / "link").value().kind, FileKind::Link);
    EXPECT_EQ(IdentityOfPath(tmp / "fifo").value().kind, FileKind::Fifo);
#endif
}

TEST(FileStream, CreatingNeverFollowsALinkAtTheName) {
    EITOOL_SKIP_ON_WINDOWS(testing::kNoLinks);
    testing::TempDir tmp;
    WriteWholeFile(tmp / "outside", {'o'});
    std::filesystem::create_symlink(tmp / "outside", tmp / "piece");
    std::filesystem::create_symlink(tmp / "missing", tmp / "dangling");
    for (const OpenMode mode : {omCreate, omCreateNew}) {
        EXPECT_THROW(FileStream::Open(tmp / "piece", mode), FileCreateError);
        EXPECT_THROW(FileStream::Open(tmp / "dangling", mode), FileCreateError);
    }
    EXPECT_EQ(ReadWholeFile(tmp / "outside"), std::vector<std::uint8_t>{'o'});
    EXPECT_FALSE(std::filesystem::exists(tmp / "missing"));
    EXPECT_THROW(FileStream::Open(tmp / "outside", omCreateNew), FileCreateError);
    // Reading goes through links as before.
    EXPECT_EQ(ReadWholeFile(tmp / "piece"), std::vector<std::uint8_t>{'o'});
}

TEST(FileStream, OnlyRegularFilesOpenAndAFifoDoesNotWait) {
    testing::TempDir tmp;
#ifdef _WIN32
    // No FIFOs here: the null device stands for a file that is not one.
    WriteWholeFile(tmp / "fifo", {});
    for (const std::string& path : {tmp.Path(), std::string("NUL")}) {
#else
    ASSERT_EQ(mkfifo((tmp / "fifo").c_str(), 0600), 0);
    for (const std::string& path : {tmp / "fifo", tmp.Path(), std::string("/dev/null")}) {
#endif
        for (const OpenMode mode : {omRead, omReadWrite}) {
            try {
                FileStream::Open(path, mode);
                ADD_FAILURE() << path << " opened";
            } catch (const FileOpenError& error) {
                EXPECT_NE(std::string(error.what()).find("not a regular file"), std::string::npos)
                    << error.what();
            }
        }
    }
#ifndef _WIN32
    EXPECT_THROW(FileStream::Open(tmp / "fifo", omCreate), FileCreateError);
#endif
}

} // namespace
} // namespace eitool
