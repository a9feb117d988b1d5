#include "FileRoutines.h"
#include "FileTestSupport.h"

#include <gtest/gtest.h>

#include <optional>

using namespace filetest;

namespace {

TEST(InOutErrorText, MapsSystemErrorsToTheUsersTexts) {
    TempFolder dir;
    const std::string inFolder = dir / "x.sec";
    const std::string inMissing = dir / "missing/x.sec";
    struct Case {
        int err;
        std::string path;
        std::string text;
    } cases[] = {
        {ENOENT, inFolder, "File not found"},
        {ENOENT, "x.sec", "File not found"},  // relative to the working folder, which exists
        {ENOENT, inMissing, "Invalid filename"},
        {ENOTDIR, inFolder, "Invalid filename"},
        {EMFILE, inFolder, "Too many open files"},
        {ENFILE, inFolder, "Too many open files"},
        {EACCES, inFolder, "File access denied"},
        {EPERM, inFolder, "File access denied"},
        {EROFS, inFolder, "File access denied"},
        {EISDIR, inFolder, "File access denied"},
        {ENOSPC, inFolder, "Disk full"},
        {EDQUOT, inFolder, "Disk full"},
        {EFBIG, inFolder, "Disk full"},
        {EIO, inFolder, "I/O error 5"},
        {ELOOP, inFolder, "I/O error 40"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(InOutErrorText(c.err, c.path), c.text) << "errno " << c.err << " on " << c.path;
        try {
            RaiseInOutError(c.err, c.path);
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.ErrorCode, c.err);
            EXPECT_EQ(std::string(e.what()), c.text);
        }
    }
}

// --- Reading ---------------------------------------------------------------

TEST(ReadWholeFile, ReadsTheWholeFileAndHandsItsSizeToTheCheck) {
    TempFolder dir;
    const Bytes content = Pattern(3000);
    WriteFile(dir / "a", content);
    std::uint64_t seen = 0;
    EXPECT_EQ(ReadWholeFile(dir / "a", [&](std::uint64_t size) { seen = size; }), content);
    EXPECT_EQ(seen, 3000u);
    WriteFile(dir / "empty", {});
    EXPECT_TRUE(ReadWholeFile(dir / "empty").empty());
}

TEST(ReadWholeFile, OpensForReadingOnly) {
    TempFolder dir;
    const Bytes content = Pattern(100);
    WriteFile(dir / "ro", content);
    ::chmod((dir / "ro").c_str(), 0444);
    ::chmod(dir.path().c_str(), 0755);
    // A process that cannot override permissions, so that asking for write
    // access would fail.
    const ChildResult r = RunInChild([&] {
        if (::geteuid() == 0 && ::setresuid(65534, 65534, 65534) != 0)
            return std::string("setuid");
        return ReadWholeFile(dir / "ro") == content ? std::string("read") : std::string("differs");
    });
    EXPECT_EQ(r.output, "read");
}

TEST(ReadWholeFile, FailuresNameTheCauseAndLeaveNoFileOpen) {
    TempFolder dir;
    WriteFile(dir / "plain", Pattern(10));
    ::mkdir((dir / "folder").c_str(), 0755);
    struct Case {
        std::string path;
        std::string text;
        int code;
    } cases[] = {
        {dir / "absent.sec", "File not found", ENOENT},
        {dir / "nofolder/absent.sec", "Invalid filename", ENOENT},
        {dir / "plain/absent.sec", "Invalid filename", ENOTDIR},
        {dir / "folder", "File access denied", EISDIR},
    };
    for (const Case& c : cases) {
        const int before = OpenDescriptors();
        try {
            ReadWholeFile(c.path);
            ADD_FAILURE() << c.path << " was read";
        } catch (const EInOutError& e) {
            EXPECT_EQ(std::string(e.what()), c.text) << c.path;
            EXPECT_EQ(e.ErrorCode, c.code) << c.path;
        }
        EXPECT_EQ(OpenDescriptors(), before) << c.path;
    }
}

TEST(ReadWholeFile, AShortReadIsReadBeyondEndOfFile) {
    TempFolder dir;
    const std::string path = dir / "shrinks";
    WriteFile(path, Pattern(500));
    const int before = OpenDescriptors();
    try {
        // The file is cut down between taking its size and reading it.
        ReadWholeFile(path, [&](std::uint64_t) { ::truncate(path.c_str(), 200); });
        ADD_FAILURE() << "no error";
    } catch (const EInOutError& e) {
        EXPECT_STREQ(e.what(), "Read beyond end of file");
        EXPECT_EQ(e.ErrorCode, 0);
    }
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST(ReadWholeFile, ARefusalByTheSizeCheckClosesTheFile) {
    TempFolder dir;
    WriteFile(dir / "big", Pattern(50));
    const int before = OpenDescriptors();
    EXPECT_EQ(ErrorMessage([&] {
                  ReadWholeFile(dir / "big",
                                [](std::uint64_t) { throw std::runtime_error("too long"); });
              }),
              "too long");
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST(ReadWholeFile, APipeWithoutWriterDoesNotHang) {
    TempFolder dir;
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
    EXPECT_TRUE(ReadWholeFile(dir / "pipe").empty());
}

TEST(ReadWholeFile, TooManyOpenFiles) {
    TempFolder dir;
    WriteFile(dir / "a", Pattern(10));
    const ChildResult r = RunInChild(
        [&] { return ErrorMessageWithoutFreeDescriptors([&] { ReadWholeFile(dir / "a"); }); });
    EXPECT_EQ(r.output, "Too many open files");
}

// --- Replacing -------------------------------------------------------------

TEST(ReplaceFileContents, CreatesANewFileWithTheUmasksPermissions) {
    TempFolder dir;
    const Bytes content = Pattern(5565);
    const mode_t saved = ::umask(027);
    ReplaceFileContents(dir / "new.sec", content.data(), content.size(), FileErrorTexts::Section);
    ::umask(saved);
    EXPECT_EQ(ReadFile(dir / "new.sec"), content);
    EXPECT_EQ(ModeOf(dir / "new.sec"), 0640u);
    EXPECT_EQ(dir.Entries(), (std::set<std::string>{"new.sec"}));
}

TEST(ReplaceFileContents, ReplacesAnExistingFileKeepingItsPermissionsAndOwner) {
    TempFolder dir;
    const std::string path = dir / "old.sec";
    WriteFile(path, Pattern(9000));
    ::chmod(path.c_str(), 0604);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(path.c_str(), 1234, 5678), 0);
    }
    const Bytes content = Pattern(5565, 99);
    ReplaceFileContents(path, content.data(), content.size(), FileErrorTexts::Section);
    EXPECT_EQ(ReadFile(path), content);
    EXPECT_EQ(ModeOf(path), 0604u);
    if (root) {
        struct stat st {};
        ::stat(path.c_str(), &st);
        EXPECT_EQ(st.st_uid, 1234u);
        EXPECT_EQ(st.st_gid, 5678u);
    }
    EXPECT_EQ(dir.Entries(), (std::set<std::string>{"old.sec"}));
}

TEST(ReplaceFileContents, ASymbolicLinkStaysALinkToTheReplacedFile) {
    TempFolder dir;
    ::mkdir((dir / "real").c_str(), 0755);
    WriteFile(dir / "real/target.sec", Pattern(40));
    ::chmod((dir / "real/target.sec").c_str(), 0660);
    // A relative link to a link: the file at the end of the chain is replaced.
    ASSERT_EQ(::symlink("real/target.sec", (dir / "inner").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "inner").c_str(), (dir / "outer").c_str()), 0);
    // A dangling link names the file it creates.
    ASSERT_EQ(::symlink("real/later.sec", (dir / "dangling").c_str()), 0);

    const Bytes content = Pattern(5565, 3);
    ReplaceFileContents(dir / "outer", content.data(), content.size(), FileErrorTexts::Section);
    ReplaceFileContents(dir / "dangling", content.data(), content.size(), FileErrorTexts::Picture);

    for (const char* link : {"inner", "outer", "dangling"}) {
        EXPECT_TRUE(std::filesystem::is_symlink(dir / link)) << link;
    }
    EXPECT_EQ(std::filesystem::read_symlink(dir / "inner"), "real/target.sec");
    EXPECT_EQ(std::filesystem::read_symlink(dir / "outer"), dir / "inner");
    EXPECT_EQ(ReadFile(dir / "real/target.sec"), content);
    EXPECT_EQ(ModeOf(dir / "real/target.sec"), 0660u);
    EXPECT_EQ(ReadFile(dir / "real/later.sec"), content);
    std::set<std::string> real;
    for (const auto& e : std::filesystem::directory_iterator(dir / "real"))
        real.insert(e.path().filename().string());
    EXPECT_EQ(real, (std::set<std::string>{"target.sec", "later.sec"}));
}

// Every failure, in both wordings: the old file is untouched and nothing is
// left behind in the folder.
TEST(ReplaceFileContents, FailuresKeepTheOldFileAndLeaveNothingBehind) {
    struct Case {
        const char* what;
        std::string name;                        // file name within the folder
        std::function<void(TempFolder&)> setup;  // what is on disk first
        std::function<void()> limit;             // run in the child first
        bool noDescriptors;                      // no free file descriptor
        std::string section;                     // section-file text
        std::string picture;                     // picture-file text ("" = create)
    };
    const Case cases[] = {
        {"missing folder", "nofolder/x.sec", [](TempFolder&) {}, {}, false, "Invalid filename", ""},
        {"path through a file",
         "plain/x.sec",
         [](TempFolder&) {},
         {},
         false,
         "Invalid filename",
         ""},
        {"read-only file",
         "old.sec",
         [](TempFolder& d) { ::chmod((d / "old.sec").c_str(), 0444); },
         {},
         false,
         "File access denied",
         ""},
        {"folder as target", "folder", [](TempFolder&) {}, {}, false, "File access denied", ""},
        {"link loop",
         "loop",
         [](TempFolder& d) { ::symlink("loop", (d / "loop").c_str()); },
         {},
         false,
         "I/O error 40",
         ""},
        {"full disk", "old.sec", [](TempFolder&) {}, [] { LimitFileSize(1000); }, false,
         "Disk full", "Stream write error"},
        {"full disk, new file", "new.sec", [](TempFolder&) {}, [] { LimitFileSize(0); }, false,
         "Disk full", "Stream write error"},
        {"too many open files", "old.sec", [](TempFolder&) {}, {}, true, "Too many open files", ""},
    };
    const Bytes old = Pattern(7000);
    const Bytes content = Pattern(5565, 42);
    for (const Case& c : cases) {
        for (FileErrorTexts texts : {FileErrorTexts::Section, FileErrorTexts::Picture}) {
            TempFolder dir;
            WriteFile(dir / "old.sec", old);
            WriteFile(dir / "plain", old);
            ::mkdir((dir / "folder").c_str(), 0755);
            c.setup(dir);
            const std::set<std::string> before = dir.Entries();
            const std::string path = dir / c.name;
            const ChildResult r = RunInChild([&] {
                if (c.limit)
                    c.limit();
                const auto step = [&] {
                    ReplaceFileContents(path, content.data(), content.size(), texts);
                };
                return c.noDescriptors ? ErrorMessageWithoutFreeDescriptors(step)
                                       : ErrorMessage(step);
            });
            const bool section = texts == FileErrorTexts::Section;
            const std::string expected =
                section ? c.section
                        : (c.picture.empty() ? "Cannot create file " + path : c.picture);
            EXPECT_EQ(r.output, expected) << c.what << (section ? " (section)" : " (picture)");
            EXPECT_EQ(ReadFile(dir / "old.sec"), old) << c.what;
            EXPECT_EQ(dir.Entries(), before) << c.what;
        }
    }
}

TEST(ReplaceFileContents, AnErrorJustBeforeTheRenameLeavesTheOldFileAndNoTemporary) {
    TempFolder dir;
    const Bytes old = Pattern(7000);
    WriteFile(dir / "old.sec", old);
    const Bytes content = Pattern(5565, 1);
    std::optional<Bytes> atRename;
    BeforeReplaceRename = [&](const std::string& temp) {
        atRename = ReadFile(temp);
        throw std::runtime_error("stopped");
    };
    const std::string text = ErrorMessage([&] {
        ReplaceFileContents(dir / "old.sec", content.data(), content.size(),
                            FileErrorTexts::Section);
    });
    BeforeReplaceRename = nullptr;
    EXPECT_EQ(text, "stopped");
    ASSERT_TRUE(atRename.has_value());
    EXPECT_EQ(*atRename, content) << "the new content is complete before the rename";
    EXPECT_EQ(ReadFile(dir / "old.sec"), old);
    EXPECT_EQ(dir.Entries(), (std::set<std::string>{"old.sec"}));
}

TEST(ReplaceFileContents, AProgramKilledJustBeforeTheRenameLeavesTheOldFileWhole) {
    TempFolder dir;
    const Bytes old = Pattern(7000);
    WriteFile(dir / "old.sec", old);
    const Bytes content = Pattern(5565, 5);
    const ChildResult r = RunInChild([&] {
        BeforeReplaceRename = [](const std::string&) { ::_exit(9); };
        ReplaceFileContents(dir / "old.sec", content.data(), content.size(),
                            FileErrorTexts::Section);
        return std::string("renamed");
    });
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 9);
    EXPECT_EQ(ReadFile(dir / "old.sec"), old);
    // A killed program cannot tidy up: its hidden temporary stays beside the
    // old file, and a later save still works.
    EXPECT_EQ(dir.Entries().size(), 2u);
    ReplaceFileContents(dir / "old.sec", content.data(), content.size(), FileErrorTexts::Section);
    EXPECT_EQ(ReadFile(dir / "old.sec"), content);
}

}  // namespace
