#include "record/output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "record/pending_files.h"
#include "record/stale_temporaries.h"
#include "record/target_file.h"

std::atomic<bool> OutputFile::nameless_temporaries{true};

namespace {

// Hidden names carry the process id and a counter; one may still be taken by
// a file a process of the same id left behind, so a few are tried.
constexpr int kNameAttempts = 16;

std::string proc_fd_path(int fd) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    return path;
}

// Giving a nameless file a name takes either the privilege AT_EMPTY_PATH asks
// for or /proc; without /proc a file that is never linked would be a
// recording lost, so such a file is not used.
bool can_be_named(int fd) {
    struct stat st {};
    return ::stat(proc_fd_path(fd).c_str(), &st) == 0;
}

// What open says when the folder's file system (or the kernel) cannot make
// a nameless file; a missing or closed folder says something else.
bool nameless_refused(int code) { return code == EOPNOTSUPP || code == EISDIR || code == EINVAL; }

// Whether `name` still names the open file: a rerun that found it before its
// lock was taken may have removed it as stale.
bool still_named(int fd, const std::string& name) {
    struct stat opened {
    }, named{};
    return ::fstat(fd, &opened) == 0 && ::lstat(name.c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// Tries fresh hidden names beside `target` until `make` creates a file under
// one (it returns 0) or fails for a reason other than a name already taken
// (it returns that errno). The name is held before the file exists: an
// interrupt between the two finds either no file or this one.
template <class Make>
int claim_hidden_name(const std::string& target, std::string& name, int& slot, Make make) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        name = temporary_name_for(target);
        slot = hold_pending_file(name);
        const int code = make(name);
        if (code == 0) return 0;
        release_pending_file(slot);
        slot = -1;
        if (code != EEXIST) return code;
    }
    return EEXIST;
}

}  // namespace

bool OutputFile::fail(int code) {
    error_ = code != 0 ? code : EIO;
    return false;
}

std::string OutputFile::error_text() const {
    return error_ != 0 ? std::string(std::strerror(error_)) : std::string();
}

bool OutputFile::create_new(const std::string& path) {
    discard_temporary();
    // The mode is narrowed by the umask, as for any file the user creates.
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    end_ = 0;
    if (fd_ < 0) return fail(errno);
    return true;
}

bool OutputFile::open_existing(const std::string& path) {
    discard_temporary();
    fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    end_ = 0;
    if (fd_ < 0) return fail(errno);
    return true;
}

bool OutputFile::write_at(uint64_t offset, const void* data, size_t n) {
    if (fd_ < 0) return fail(EBADF);
    const auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        const ssize_t done = ::pwrite(fd_, p, n, static_cast<off_t>(offset));
        if (done < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        // A write that makes no progress would loop for ever; a full disk
        // reports itself on the next call, so ask again only after progress.
        if (done == 0) return fail(ENOSPC);
        p += done;
        n -= static_cast<size_t>(done);
        offset += static_cast<uint64_t>(done);
    }
    return true;
}

long OutputFile::read_at(uint64_t offset, void* data, size_t n) {
    int code = EBADF;
    while (fd_ >= 0) {
        const ssize_t done = ::pread(fd_, data, n, static_cast<off_t>(offset));
        if (done >= 0) return static_cast<long>(done);
        code = errno;
        if (code != EINTR) break;
    }
    fail(code);
    return -1;
}

bool OutputFile::append(const void* data, size_t n) {
    if (!write_at(end_, data, n)) return false;
    end_ += n;
    return true;
}

bool OutputFile::truncate(uint64_t size) {
    if (fd_ < 0) return fail(EBADF);
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return fail(errno);
    end_ = size;
    return true;
}

bool OutputFile::sync() {
    if (fd_ < 0) return fail(EBADF);
    if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) return fail(errno);
    return true;
}

void OutputFile::start_writeback(uint64_t offset, uint64_t n) {
#if defined(__linux__)
    if (fd_ >= 0)
        ::sync_file_range(fd_, static_cast<off_t>(offset), static_cast<off_t>(n),
                          SYNC_FILE_RANGE_WRITE);
#else
    (void)offset;
    (void)n;
#endif
}

bool OutputFile::close() {
    if (fd_ < 0) return true;
    const int rc = ::close(fd_);
    fd_ = -1;
    if (rc != 0 && errno != EINTR) return fail(errno);
    return true;
}

bool OutputFile::create_temporary_for(const std::string& target) {
    discard_temporary();
    end_ = 0;
    target_ = target;
#ifdef O_TMPFILE
    if (nameless_temporaries.load()) {
        fd_ = ::open(folder_of(target).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            if (can_be_named(fd_)) {
                // Held from before it has a name (stale_temporaries.h).
                lock_temporary(fd_);
                nameless_ = true;
                return true;
            }
            ::close(fd_);
            fd_ = -1;
        } else if (!nameless_refused(errno)) {
            return fail(errno);
        }
    }
#endif
    std::string name;
    int slot = -1;
    const int code = claim_hidden_name(target, name, slot, [this](const std::string& n) {
        // The mode is narrowed by the umask, as for any file the user creates.
        fd_ = ::open(n.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0) return errno;
        // Held while this process lives (stale_temporaries.h); a name lost
        // before the lock was taken is given up for another.
        if (lock_temporary(fd_) && !still_named(fd_, n)) {
            ::close(fd_);
            fd_ = -1;
            return EEXIST;
        }
        return 0;
    });
    if (code != 0) return fail(code);
    temporary_ = name;
    pending_slot_ = slot;
    return true;
}

bool OutputFile::name_temporary() {
    if (!nameless_) return !temporary_.empty() || fail(EBADF);
    std::string name;
    int slot = -1;
    const int code = claim_hidden_name(target_, name, slot, [this](const std::string& n) {
        int rc = ::linkat(fd_, "", AT_FDCWD, n.c_str(), AT_EMPTY_PATH);
        // Without the privilege AT_EMPTY_PATH needs, the link of /proc does
        // the same for the file's owner.
        if (rc != 0 && errno != EEXIST)
            rc = ::linkat(AT_FDCWD, proc_fd_path(fd_).c_str(), AT_FDCWD, n.c_str(),
                          AT_SYMLINK_FOLLOW);
        return rc == 0 ? 0 : errno;
    });
    if (code != 0) return fail(code);
    nameless_ = false;
    temporary_ = name;
    pending_slot_ = slot;
    return true;
}

bool OutputFile::rename_temporary_over(const std::string& target) {
    if (!name_temporary()) return false;
    if (::rename(temporary_.c_str(), target.c_str()) != 0) return fail(errno);
    release_pending_file(pending_slot_);
    pending_slot_ = -1;
    temporary_.clear();
    return true;
}

void OutputFile::keep_temporary() {
    release_pending_file(pending_slot_);
    pending_slot_ = -1;
    temporary_.clear();
}

void OutputFile::discard_temporary() {
    close();
    // A nameless file went with its descriptor.
    nameless_ = false;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    release_pending_file(pending_slot_);
    pending_slot_ = -1;
    temporary_.clear();
}
