#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A file written at its end and patched in place, that remembers why the
// first failing call failed (the reason a user sees when a disk fills up).
class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile() { close(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates a new file; fails when the name exists already.
    bool create_new(const std::string& path);
    // Opens an existing file or device for writing at its start.
    bool open_existing(const std::string& path);
    bool is_open() const { return fd_ >= 0; }

    // Appends at the end of what was written.
    bool append(const void* data, size_t n);
    // Overwrites bytes already written.
    bool write_at(uint64_t offset, const void* data, size_t n);
    // Cuts the file back; later appends continue there.
    bool truncate(uint64_t size);
    bool sync();
    bool close();

    uint64_t end() const { return end_; }
    // errno of the last failure, 0 when nothing failed since clear_error.
    int error() const { return error_; }
    std::string error_text() const;
    void clear_error() { error_ = 0; }

  private:
    bool fail(int code);

    int fd_ = -1;
    uint64_t end_ = 0;
    int error_ = 0;
};
