// The temporary a file is written under before it takes its name: nameless
// where the file system allows (nothing to find if the process dies), a
// hidden name elsewhere that an interrupt handler removes; and either way the
// old file stays as it was until the new one is complete.

#include <gtest/gtest.h>

#include <fstream>

#include "record/avi_writer.h"
#include "record/output_file.h"
#include "record/pending_files.h"
#include "record/stale_temporaries.h"
#include "record/target_file.h"
#include "record_test_support.h"
#include "riff_reader.h"

namespace {

std::string read_text(const std::string& path) {
    const std::vector<uint8_t> b = RiffFile::read_all(path);
    return std::string(b.begin(), b.end());
}

void write_text(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

bool starts_with(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

bool ends_with(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Runs a test with nameless temporaries allowed or refused, as on a file
// system that cannot make them, and restores the default afterwards.
class TemporaryKind : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override { OutputFile::nameless_temporaries.store(GetParam()); }
    void TearDown() override { OutputFile::nameless_temporaries.store(true); }
    bool nameless_wanted() const { return GetParam(); }
};

// Whether this folder's file system gives nameless files at all.
bool folder_allows_nameless(const TempFolder& dir) {
    OutputFile probe;
    if (!probe.create_temporary_for(dir.file("probe"))) return false;
    return probe.temporary_is_nameless();
}

TEST_P(TemporaryKind, TheOldFileStaysUntilTheNewOneTakesItsName) {
    TempFolder dir;
    const std::string target = dir.file("picture.ppm");
    write_text(target, "old picture");
    OutputFile f;
    ASSERT_TRUE(f.create_temporary_for(target)) << f.error_text();
    ASSERT_TRUE(f.append("new picture", 11));
    EXPECT_EQ(read_text(target), "old picture");
    ASSERT_TRUE(f.rename_temporary_over(target)) << f.error_text();
    ASSERT_TRUE(f.close());
    EXPECT_EQ(read_text(target), "new picture");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"picture.ppm"});
}

TEST_P(TemporaryKind, WhileWritingTheFolderHoldsANamelessFileOrOneHiddenName) {
    TempFolder dir;
    const std::string target = dir.file("out.avi");
    OutputFile f;
    ASSERT_TRUE(f.create_temporary_for(target)) << f.error_text();
    ASSERT_TRUE(f.append("RIFF", 4));
    const std::vector<std::string> names = dir.names();
    if (f.temporary_is_nameless()) {
        EXPECT_TRUE(nameless_wanted());
        EXPECT_TRUE(names.empty());
        EXPECT_TRUE(f.temporary_path().empty());
    } else {
        EXPECT_FALSE(nameless_wanted() && folder_allows_nameless(dir));
        ASSERT_EQ(names.size(), 1u);
        EXPECT_TRUE(starts_with(names[0], ".out.avi.")) << names[0];
        EXPECT_TRUE(ends_with(names[0], ".part")) << names[0];
        EXPECT_EQ(f.temporary_path(), dir.file(names[0]));
    }
}

TEST_P(TemporaryKind, AnInterruptRemovesTheHiddenNameAndLeavesTheOldFile) {
    TempFolder dir;
    const std::string target = dir.file("out.avi");
    write_text(target, "RIFF old");
    OutputFile f;
    ASSERT_TRUE(f.create_temporary_for(target));
    ASSERT_TRUE(f.append("RIFF new", 8));
    // Nameless or not, the file is named before its last rename: that is
    // the moment an interrupt may find it under its hidden name.
    ASSERT_TRUE(f.name_temporary()) << f.error_text();
    ASSERT_FALSE(f.temporary_path().empty());
    EXPECT_EQ(read_text(f.temporary_path()), "RIFF new");
    EXPECT_EQ(dir.names().size(), 2u);
    remove_pending_files();
    EXPECT_EQ(dir.names(), std::vector<std::string>{"out.avi"});
    EXPECT_EQ(read_text(target), "RIFF old");
}

TEST_P(TemporaryKind, AFileRenamedOrKeptIsNoLongerAnInterruptsToRemove) {
    TempFolder dir;
    OutputFile renamed, kept;
    ASSERT_TRUE(renamed.create_temporary_for(dir.file("a.ppm")));
    ASSERT_TRUE(renamed.rename_temporary_over(dir.file("a.ppm")));
    ASSERT_TRUE(kept.create_temporary_for(dir.file("b.avi")));
    ASSERT_TRUE(kept.name_temporary());
    const std::string kept_name = kept.temporary_path();
    kept.keep_temporary();
    // The renamed file's hidden name may be taken again by anyone.
    write_text(dir.file("somebody_else"), "x");
    remove_pending_files();
    EXPECT_TRUE(std::filesystem::exists(dir.file("a.ppm")));
    EXPECT_TRUE(std::filesystem::exists(kept_name));
    EXPECT_TRUE(std::filesystem::exists(dir.file("somebody_else")));
}

TEST_P(TemporaryKind, DiscardingOrForgettingTheFileLeavesNothing) {
    TempFolder dir;
    {
        OutputFile discarded;
        ASSERT_TRUE(discarded.create_temporary_for(dir.file("a.avi")));
        ASSERT_TRUE(discarded.append("abc", 3));
        discarded.discard_temporary();
        EXPECT_TRUE(dir.names().empty());
        OutputFile named;
        ASSERT_TRUE(named.create_temporary_for(dir.file("b.avi")));
        ASSERT_TRUE(named.name_temporary());
        OutputFile forgotten;
        ASSERT_TRUE(forgotten.create_temporary_for(dir.file("c.avi")));
        ASSERT_TRUE(forgotten.append("abc", 3));
    }
    EXPECT_TRUE(dir.names().empty());
}

TEST_P(TemporaryKind, AMissingFolderIsReportedAsSuch) {
    TempFolder dir;
    OutputFile f;
    EXPECT_FALSE(f.create_temporary_for(dir.file("no/such/out.avi")));
    EXPECT_EQ(f.error_text(), "No such file or directory");
    EXPECT_FALSE(f.is_open());
}

TEST_P(TemporaryKind, ABareNameGoesIntoTheCurrentFolder) {
    TempFolder dir;
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    OutputFile f;
    const bool made = f.create_temporary_for("bare.ppm") && f.append("p", 1) &&
                      f.rename_temporary_over("bare.ppm");
    std::filesystem::current_path(before);
    EXPECT_TRUE(made) << f.error_text();
    EXPECT_EQ(read_text(dir.file("bare.ppm")), "p");
}

TEST_P(TemporaryKind, ARecordingInProgressLeavesTheOldFileAndNoOtherName) {
    TempFolder dir;
    const std::string path = dir.file("anim.avi");
    write_text(path, "RIFF....AVI old recording");
    {
        AviWriter avi;
        avi.codec = AviCodec::Raw;
        ASSERT_TRUE(avi.open(path, 4, 4, 4, "IV50"));
        Surface s(4, 4);
        paint(s, 0);
        ASSERT_TRUE(avi.write_frame(s));
        const size_t expected = nameless_wanted() && folder_allows_nameless(dir) ? 1 : 2;
        EXPECT_EQ(dir.names().size(), expected);
        EXPECT_EQ(read_text(path), "RIFF....AVI old recording");
        // What the CLI's handler of a second Ctrl-C does before it ends.
        remove_pending_files();
        EXPECT_EQ(dir.names(), std::vector<std::string>{"anim.avi"});
        EXPECT_EQ(read_text(path), "RIFF....AVI old recording");
        // The writer is still open on its file: closing saves it when it was
        // nameless; a named one is gone and cannot be saved.
        avi.close();
    }
    EXPECT_EQ(dir.names(), std::vector<std::string>{"anim.avi"});
}

TEST_P(TemporaryKind, AClosedRecordingTakesItsNameWithEveryFrame) {
    TempFolder dir;
    const std::string path = dir.file("anim.avi");
    AviWriter avi;
    avi.codec = AviCodec::Raw;
    ASSERT_TRUE(avi.open(path, 4, 4, 4, "IV50"));
    Surface s(4, 4);
    for (int i = 0; i < 3; ++i) {
        paint(s, i);
        ASSERT_TRUE(avi.write_frame(s));
    }
    avi.close();
    EXPECT_TRUE(avi.take_errors().empty());
    EXPECT_EQ(dir.names(), std::vector<std::string>{"anim.avi"});
    const RiffFile f(path);
    ASSERT_TRUE(f.problem.empty()) << f.problem;
    ASSERT_EQ(f.parts.size(), 1u);
    EXPECT_EQ(f.parts[0].child("LIST", "movi")->all("00dc").size(), 3u);
    remove_pending_files();
    EXPECT_TRUE(std::filesystem::exists(path));
}

// A rerun removes what a killed process left under a hidden name, and never
// the temporary of a writer still at work, nor a file of any other name.
TEST_P(TemporaryKind, ARerunRemovesOnlyTheTemporariesNobodyHolds) {
    TempFolder dir;
    const std::string target = dir.file("f_0003.png");
    OutputFile writing;
    ASSERT_TRUE(writing.create_temporary_for(target));
    ASSERT_TRUE(writing.name_temporary()) << writing.error_text();
    const std::string held = writing.temporary_path();
    const std::string left = dir.write(".f_0003.png.4242-0.part", "left by a killed run");
    const std::vector<std::string> kept = {
        dir.write(".f_0004.png.4242-0.part", "another frame's"),
        dir.write(".f_0003.png.4242-0.part.bak", "not a temporary"),
        dir.write(".f_0003.png.me-0.part", "not one of ours"),
    };
    std::filesystem::create_symlink(left, dir.file(".f_0003.png.1-1.part"));
    std::filesystem::create_directory(dir.file(".f_0003.png.1-2.part"));
    EXPECT_EQ(remove_stale_temporaries({target, dir.file("f_0005.png")}), 1);
    EXPECT_FALSE(std::filesystem::exists(left));
    EXPECT_TRUE(std::filesystem::exists(held));
    for (const std::string& path : kept)
        EXPECT_TRUE(std::filesystem::exists(path)) << path;
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file(".f_0003.png.1-1.part")));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file(".f_0003.png.1-2.part")));
    // Once the writer is gone without a rename, its temporary is stale too.
    ASSERT_TRUE(writing.close());
    writing.keep_temporary();
    EXPECT_EQ(remove_stale_temporaries({target}), 1);
    EXPECT_FALSE(std::filesystem::exists(held));
}

INSTANTIATE_TEST_SUITE_P(Kinds, TemporaryKind, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Nameless" : "Named"; });

TEST(StaleTemporaries, TellTheirTargetByName) {
    const std::string long_name(250, 'x');
    const struct {
        std::string name;
        std::string target;
        bool is;
    } cases[] = {
        {".a.png.12-0.part", "a.png", true},
        {".a.png.12-0.part", "frames/a.png", true},
        // A long name is cut in its temporary's name.
        {temporary_name_for(long_name), "dir/" + long_name, true},
        {"." + long_name + ".12-0.part", long_name, false},
        {".a.png.x-0.part", "a.png", false},
        {".a.png.12-.part", "a.png", false},
        {".a.png.-0.part", "a.png", false},
        {".a.png.1.2-0.part", "a.png", false},
        {".a.png.12-0.part~", "a.png", false},
        {"a.png.12-0.part", "a.png", false},
        {".b.png.12-0.part", "a.png", false},
        {".a.png.12-0.part", "a.pn", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(is_temporary_of(c.name, c.target), c.is) << c.name << " of " << c.target;
    for (const char* target : {"f.png", "dir/f_0001.ppm", ".hidden", "a.b.c"}) {
        const std::string made = temporary_name_for(target);
        EXPECT_TRUE(is_temporary_of(made.substr(made.find_last_of('/') + 1), target)) << made;
    }
}

TEST(PendingFiles, ANameTooLongForASlotIsRefused) {
    EXPECT_EQ(hold_pending_file(std::string(5000, 'a')), -1);
    EXPECT_EQ(hold_pending_file(""), -1);
}

TEST(PendingFiles, EverySlotHeldAtOnceAndThenFreedAgain) {
    TempFolder dir;
    std::vector<int> slots;
    for (int i = 0; i < 64; ++i) {
        std::string name = "f";
        name += std::to_string(i);
        const int slot = hold_pending_file(dir.file(name));
        if (slot < 0) break;
        slots.push_back(slot);
    }
    // A table of a few slots, each given once.
    EXPECT_GE(slots.size(), 4u);
    EXPECT_LT(slots.size(), 64u);
    for (size_t i = 0; i < slots.size(); ++i)
        for (size_t j = i + 1; j < slots.size(); ++j)
            EXPECT_NE(slots[i], slots[j]);
    for (int slot : slots)
        release_pending_file(slot);
    const int again = hold_pending_file(dir.file("again"));
    EXPECT_GE(again, 0);
    release_pending_file(again);
}

}  // namespace
