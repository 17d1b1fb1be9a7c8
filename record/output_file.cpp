#include "record/output_file.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

bool OutputFile::fail(int code) {
    error_ = code != 0 ? code : EIO;
    return false;
}

std::string OutputFile::error_text() const {
    return error_ != 0 ? std::string(std::strerror(error_)) : std::string();
}

bool OutputFile::create_new(const std::string& path) {
    close();
    // The mode is narrowed by the umask, as for any file the user creates.
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    end_ = 0;
    if (fd_ < 0) return fail(errno);
    return true;
}

bool OutputFile::open_existing(const std::string& path) {
    close();
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

bool OutputFile::close() {
    if (fd_ < 0) return true;
    const int rc = ::close(fd_);
    fd_ = -1;
    if (rc != 0 && errno != EINTR) return fail(errno);
    return true;
}
