#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// A file written at its end and patched in place, that remembers why the
// first failing call failed (the reason a user sees when a disk fills up).
class OutputFile {
  public:
    OutputFile() = default;
    // A temporary that was neither renamed nor kept is removed.
    ~OutputFile() { discard_temporary(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates a new file; fails when the name exists already.
    bool create_new(const std::string& path);
    // Opens an existing file or device for writing at its start.
    bool open_existing(const std::string& path);
    bool is_open() const { return fd_ >= 0; }

    // Creates the file that is to take target's place when complete, in
    // target's folder so that the last rename stays within one file system.
    // Where the file system allows it the file has no name until then, and
    // vanishes with the process however that ends; elsewhere it gets a hidden
    // name (temporary_name_for) that interrupt handlers remove (see
    // pending_files.h) until it is renamed, kept or discarded.
    bool create_temporary_for(const std::string& target);
    // Gives a nameless temporary its hidden name; the file stays open, and
    // from now on it is removed on interrupt like a named one.
    bool name_temporary();
    // Moves the temporary, named first if need be, over target; an open file
    // stays open.
    bool rename_temporary_over(const std::string& target);
    // Leaves a named temporary where it is, for the user to find.
    void keep_temporary();
    // Closes the file and removes the temporary.
    void discard_temporary();
    // The hidden name; empty while the temporary is nameless (or none).
    const std::string& temporary_path() const { return temporary_; }
    bool temporary_is_nameless() const { return nameless_; }
    // Whether create_temporary_for may make nameless files; tests turn it
    // off to take the road of file systems that refuse them.
    static std::atomic<bool> nameless_temporaries;

    // Appends at the end of what was written.
    bool append(const void* data, size_t n);
    // Overwrites bytes already written.
    bool write_at(uint64_t offset, const void* data, size_t n);
    // Reads back up to n bytes from offset (a temporary is open for reading
    // too): the bytes read, 0 past the end, -1 after a failure (error()).
    long read_at(uint64_t offset, void* data, size_t n);
    // Cuts the file back; later appends continue there.
    bool truncate(uint64_t size);
    bool sync();
    // Asks the system to start putting these bytes on disk, so that a later
    // sync has less to wait for; nothing is reported.
    void start_writeback(uint64_t offset, uint64_t n);
    bool close();

    uint64_t end() const { return end_; }
    // errno of the last failure, 0 when nothing has failed.
    int error() const { return error_; }
    std::string error_text() const;

  private:
    bool fail(int code);

    int fd_ = -1;
    std::string target_;
    std::string temporary_;
    bool nameless_ = false;
    int pending_slot_ = -1;
    uint64_t end_ = 0;
    int error_ = 0;
};
