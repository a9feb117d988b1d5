// File input and output for the commands. Every step is checked as soon as it
// returns, and a failure raises EInOutError carrying the text the user sees in
// the error box. Files are closed on every path, failures included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// A failed file step. ErrorCode is the system error code (errno) of the step
// that failed, 0 where there is none (a short read or write).
class EInOutError : public std::runtime_error {
public:
    EInOutError(const std::string& Message, int Code)
        : std::runtime_error(Message), ErrorCode(Code) {}
    int ErrorCode;
};

// The text for a step on Path that failed with system error Errno:
//   ENOENT with the file's folder present      "File not found"
//   ENOENT with the folder missing, ENOTDIR    "Invalid filename"
//   EMFILE, ENFILE                             "Too many open files"
//   EACCES, EPERM, EROFS, EISDIR               "File access denied"
//   ENOSPC, EDQUOT, EFBIG                      "Disk full"
//   anything else                              "I/O error <errno>"
std::string InOutErrorText(int Errno, const std::string& Path);

// Texts of the two short-transfer failures, which have no system error code.
inline constexpr const char* ReadBeyondEndText = "Read beyond end of file";
inline constexpr const char* DiskFullText = "Disk full";

// Throws EInOutError(InOutErrorText(Errno, Path), Errno).
[[noreturn]] void RaiseInOutError(int Errno, const std::string& Path);

// An existing file opened for reading only; closed by the destructor on every
// path. Each member throws EInOutError when its step fails.
class TFileReader {
public:
    explicit TFileReader(const std::string& Path);
    ~TFileReader();
    TFileReader(const TFileReader&) = delete;
    TFileReader& operator=(const TFileReader&) = delete;

    // The file's size in bytes.
    std::uint64_t Size() const;
    // Reads exactly Count bytes; fewer is "Read beyond end of file".
    void ReadBlock(void* Data, std::size_t Count);
    // Closes the file and checks the result; the destructor then does nothing.
    void Close();

private:
    std::string path_;
    int fd_ = -1;
};

// Opens the file for reading only, takes its size, hands the size to
// CheckSize (which throws to refuse the file; nothing has been read then),
// reads the whole file as one block and closes it.
std::vector<std::uint8_t> ReadWholeFile(
    const std::string& Path, const std::function<void(std::uint64_t Size)>& CheckSize = {});

// How ReplaceFileContents words its failures.
enum class FileErrorTexts {
    // InOutErrorText of the failed step; a short write is "Disk full".
    Section,
    // Anything that stops the file from being created (a read-only target, a
    // missing folder, ...) is "Cannot create file <Path as given>"; a failure
    // while writing, flushing or renaming is "Stream write error".
    Picture,
};

// Replaces the file Path by Size bytes from Data, or creates it, without ever
// leaving a truncated or partly written file in its place: the bytes go to a
// temporary file in the target's folder, are flushed to the disk, and only a
// complete file is renamed over the target. On every failure the temporary
// file is removed and the old file, if any, is as it was.
//
// An existing file keeps its permission bits and, where the system allows,
// its owner and group; a new file gets 0666 less the umask. A symbolic link
// stays a link: the file it finally points to is replaced. An existing target
// without any write permission bit is refused as read-only ("File access
// denied" / "Cannot create file"), also for a process that could override it;
// so is a directory or any other target that is not a regular file.
void ReplaceFileContents(const std::string& Path, const void* Data, std::size_t Size,
                         FileErrorTexts Texts);

// Test hook: when set, called with the temporary file's path once the new
// content is complete and flushed, just before it is renamed over the target.
// A test makes it throw, or end the process, to show what a program stopped at
// that moment leaves behind.
extern std::function<void(const std::string& TempPath)> BeforeReplaceRename;
