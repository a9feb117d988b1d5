#include "FileRoutines.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>

std::function<void(const std::string& TempPath)> BeforeReplaceRename;

namespace {

// The folder part of a path: "." for a bare name, "/" for a file in the root.
std::string FolderOf(const std::string& Path) {
    const std::size_t slash = Path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return Path.substr(0, slash);
}

std::string NameOf(const std::string& Path) {
    const std::size_t slash = Path.find_last_of('/');
    return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

bool IsFolder(const std::string& Path) {
    struct stat st {};
    return ::stat(Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Closes a descriptor exactly once, on every path.
class FdGuard {
public:
    explicit FdGuard(int fd) : fd_(fd) {}
    ~FdGuard() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;
    int get() const { return fd_; }
    // Closes now and returns 0 or the errno of close; the descriptor is gone
    // either way.
    int Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 ? 0 : errno;
    }

private:
    int fd_;
};

// The temporary file of one replacement: closed and removed on every path
// unless it has been renamed over the target.
class TempFile {
public:
    TempFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~TempFile() {
        if (!committed_)
            ::unlink(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    int fd() const { return fd_.get(); }
    int Close() { return fd_.Close(); }
    const std::string& path() const { return path_; }
    void Committed() { committed_ = true; }

private:
    FdGuard fd_;
    std::string path_;
    bool committed_ = false;
};

// The failure of one step of ReplaceFileContents, worded as asked.
class ReplaceFailure {
public:
    ReplaceFailure(const std::string& Given, FileErrorTexts Texts) : given_(Given), texts_(Texts) {}

    // The file could not be created (or may not be replaced).
    [[noreturn]] void Create(int Errno, const std::string& Final) const {
        if (texts_ == FileErrorTexts::Picture)
            throw EInOutError("Cannot create file " + given_, Errno);
        RaiseInOutError(Errno, Final);
    }
    // Writing, flushing or renaming failed.
    [[noreturn]] void Write(int Errno, const std::string& Final) const {
        if (texts_ == FileErrorTexts::Picture)
            throw EInOutError("Stream write error", Errno);
        if (Errno == 0)
            throw EInOutError(DiskFullText, 0);
        RaiseInOutError(Errno, Final);
    }

private:
    std::string given_;
    FileErrorTexts texts_;
};

// Follows a chain of symbolic links to the file it finally names, which need
// not exist yet (a dangling link names the file it would create).
std::string FinalTarget(const std::string& Path, const ReplaceFailure& fail) {
    std::string p = Path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return p;
        std::string link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(p.c_str(), link.data(), link.size());
        if (n < 0)
            fail.Create(errno, p);
        link.resize(static_cast<std::size_t>(n));
        if (!link.empty() && link[0] == '/') {
            p = link;
        } else {
            const std::string folder = FolderOf(p);
            p = (folder == "/" ? folder : folder + "/") + link;
        }
    }
    fail.Create(ELOOP, Path);
}

mode_t CurrentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// Writes all Size bytes; returns 0, or the errno that stopped it, or -1 for a
// write that took nothing without reporting an error.
int WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return -1;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

}  // namespace

std::string InOutErrorText(int Errno, const std::string& Path) {
    switch (Errno) {
        case ENOENT:
            return IsFolder(FolderOf(Path)) ? "File not found" : "Invalid filename";
        case ENOTDIR:
            return "Invalid filename";
        case EMFILE:
        case ENFILE:
            return "Too many open files";
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return "File access denied";
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return DiskFullText;
        default:
            return "I/O error " + std::to_string(Errno);
    }
}

void RaiseInOutError(int Errno, const std::string& Path) {
    throw EInOutError(InOutErrorText(Errno, Path), Errno);
}

TFileReader::TFileReader(const std::string& Path) : path_(Path) {
    // Non-blocking so that a pipe never makes the open wait; reads of a
    // regular file are not affected.
    fd_ = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0)
        RaiseInOutError(errno, Path);
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        RaiseInOutError(EISDIR, Path);
    }
}

TFileReader::~TFileReader() {
    if (fd_ >= 0)
        ::close(fd_);
}

std::uint64_t TFileReader::Size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        RaiseInOutError(errno, path_);
    return st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

void TFileReader::ReadBlock(void* Data, std::size_t Count) {
    auto* p = static_cast<std::uint8_t*>(Data);
    while (Count > 0) {
        const ssize_t n = ::read(fd_, p, Count);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            RaiseInOutError(errno, path_);
        }
        if (n == 0)
            throw EInOutError(ReadBeyondEndText, 0);
        p += n;
        Count -= static_cast<std::size_t>(n);
    }
}

void TFileReader::Close() {
    const int fd = fd_;
    fd_ = -1;
    if (fd >= 0 && ::close(fd) != 0)
        RaiseInOutError(errno, path_);
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& Path,
                                        const std::function<void(std::uint64_t Size)>& CheckSize) {
    TFileReader file(Path);
    const std::uint64_t size = file.Size();
    if (CheckSize)
        CheckSize(size);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    file.ReadBlock(bytes.data(), bytes.size());
    file.Close();
    return bytes;
}

void ReplaceFileContents(const std::string& Path, const void* Data, std::size_t Size,
                         FileErrorTexts Texts) {
    const ReplaceFailure fail(Path, Texts);
    const std::string target = FinalTarget(Path, fail);

    // What is there now decides whether it may be replaced and which
    // permissions the new file gets.
    struct stat old {};
    bool exists = false;
    if (::lstat(target.c_str(), &old) == 0) {
        exists = true;
        if (S_ISDIR(old.st_mode))
            fail.Create(EISDIR, target);
        if (!S_ISREG(old.st_mode))
            fail.Create(EACCES, target);
        if ((old.st_mode & 0222) == 0)
            fail.Create(EACCES, target);
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
            fail.Create(errno, target);
    } else if (errno != ENOENT) {
        fail.Create(errno, target);
    }

    // The temporary file sits beside the target, so the rename stays on one
    // file system and is atomic. Its name is hidden and kept short enough.
    const std::string folder = FolderOf(target);
    std::string name = NameOf(target).substr(0, 200);
    std::string pattern = (folder == "/" ? folder : folder + "/") + "." + name + ".XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        fail.Create(errno, target);
    TempFile temp(fd, pattern);

    const mode_t mode = exists ? (old.st_mode & 07777) : (0666 & ~CurrentUmask());
    if (exists) {
        // Owner and group where the system allows it; a plain user may at
        // least keep the group when it is one of theirs.
        if (::fchown(temp.fd(), old.st_uid, old.st_gid) != 0 &&
            ::fchown(temp.fd(), static_cast<uid_t>(-1), old.st_gid) != 0) {
            // The new file stays ours; its permission bits are still kept.
        }
    }
    if (::fchmod(temp.fd(), mode) != 0)
        fail.Create(errno, target);

    const int written = WriteAll(temp.fd(), static_cast<const std::uint8_t*>(Data), Size);
    if (written != 0)
        fail.Write(written < 0 ? 0 : written, target);
    if (::fsync(temp.fd()) != 0)
        fail.Write(errno, target);
    if (const int closed = temp.Close(); closed != 0)
        fail.Write(closed, target);

    if (BeforeReplaceRename)
        BeforeReplaceRename(temp.path());

    if (::rename(temp.path().c_str(), target.c_str()) != 0)
        fail.Write(errno, target);
    temp.Committed();

    // Make the rename itself durable; the new content is already complete, so
    // a failure here is not reported.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}
