#pragma once

#include <cerrno>
#include <string>
#include <vector>

// What went wrong with a recording, by its consequence for the run.
enum class RecordingErrorKind {
    // The kind of file, codec, quality, preset or rate cannot be recorded;
    // refused before anything was created, so the run need not trace.
    Refused,
    // The name belongs to something that is not a video file, left as it is.
    TargetTaken,
    // The file could not be created (a folder, a missing folder, no right).
    CannotCreate,
    // The picture's size makes no stream.
    Stream,
    // The encoder could not be started.
    Compressor,
    // The stream's format cannot be set (a raw frame too large for a part).
    Format,
    // The file refused bytes for a reason other than its size.
    WriteFailed,
    // The file cannot grow: a full disk, a file-size limit, a quota.
    FileFull,
    // The file reached the largest size its index can describe.
    IndexFull,
    // The finished recording could not be saved under its name (kept under
    // another, or lost), or lost frames to its index.
    SaveFailed,
    // Recorded all the same, but it will not play as traced.
    Warning,
};

// One message of a recording, with the caption and text the user is shown.
struct RecordingError {
    RecordingErrorKind kind;
    std::string caption;
    std::string text;
};

using RecordingErrors = std::vector<RecordingError>;

// The kind for bytes the file refused with this errno.
inline RecordingErrorKind write_error_kind(int error_number) {
    return error_number == ENOSPC || error_number == EFBIG || error_number == EDQUOT
               ? RecordingErrorKind::FileFull
               : RecordingErrorKind::WriteFailed;
}
