#include "record/avi_recording.h"

#include <algorithm>

namespace {

uint64_t padded(uint64_t n) { return n + (n & 1); }

uint32_t saturate(uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(v); }

}  // namespace

bool AviRecording::create(const std::string& target) { return file_.create_temporary_for(target); }

bool AviRecording::begin(const AviStreamSettings& settings, int64_t riff_size_limit) {
    settings_ = settings;
    riff_limit_ = riff_size_limit;
    scratch_.clear();
    layout_ = put_avi_headers(scratch_, settings_);
    if (!file_.append(scratch_.data(), scratch_.size())) return false;
    Riff first;
    first.start = 0;
    first.movi_size = layout_.movi_size;
    first.data_end = file_.end();
    riffs_.push_back(first);
    return true;
}

bool AviRecording::patch_u32(uint64_t at, uint32_t v) {
    uint8_t bytes[4];
    store_u32(bytes, v);
    return file_.write_at(at, bytes, 4);
}

bool AviRecording::close_riff(Riff& riff, bool opendml) {
    const bool first = riff.start == 0;
    const uint64_t movi_type = riff.movi_size + 4;
    scratch_.clear();
    if (opendml) {
        riff.index.offset = riff.data_end;
        riff.index.size = static_cast<uint32_t>(ix00_bytes(riff.frame_count));
        riff.index.duration = static_cast<uint32_t>(riff.frame_count);
        put_ix00(scratch_, frames_.data() + riff.first_frame, riff.frame_count, movi_type);
    }
    const uint64_t movi_end = riff.data_end + scratch_.size();
    if (first) put_idx1(scratch_, frames_.data() + riff.first_frame, riff.frame_count, movi_type);
    if (!file_.append(scratch_.data(), scratch_.size())) return false;
    return patch_u32(riff.movi_size, static_cast<uint32_t>(movi_end - movi_type)) &&
           patch_u32(riff.start + 4, static_cast<uint32_t>(file_.end() - riff.start - 8));
}

bool AviRecording::start_riff() {
    Riff next;
    next.start = file_.end();
    next.first_frame = frames_.size();
    scratch_.clear();
    scratch_.begin_list("AVIX", "RIFF");
    scratch_.begin_list("movi");
    next.movi_size = next.start + 16;
    if (!file_.append(scratch_.data(), scratch_.size())) return false;
    next.data_end = file_.end();
    riffs_.push_back(next);
    return true;
}

bool AviRecording::add_frame(const uint8_t* data, size_t n) {
    if (!file_.is_open() || riffs_.empty()) return false;
    const uint64_t chunk = 8 + padded(n);
    {
        const Riff& r = riffs_.back();
        const size_t count = r.frame_count + 1;
        const uint64_t trailer = ix00_bytes(count) + (r.start == 0 ? idx1_bytes(count) : 0);
        const uint64_t grown = r.data_end + chunk + trailer - r.start;
        if (r.frame_count > 0 && grown > static_cast<uint64_t>(riff_limit_)) {
            if (riffs_.size() >= static_cast<size_t>(kSuperIndexEntries)) {
                index_full_ = true;
                return false;
            }
            if (!close_riff(riffs_.back(), true) || !start_riff()) return false;
        }
    }
    Riff& r = riffs_.back();
    scratch_.clear();
    scratch_.fourcc("00dc");
    scratch_.u32(static_cast<uint32_t>(n));
    scratch_.append(data, n);
    if (n % 2 != 0) scratch_.u8(0);
    const uint64_t offset = file_.end();
    if (!file_.append(scratch_.data(), scratch_.size())) return false;
    frames_.push_back({offset, static_cast<uint32_t>(n)});
    r.frame_count += 1;
    r.data_end = file_.end();
    largest_chunk_ = std::max(largest_chunk_, static_cast<uint32_t>(n));
    return true;
}

bool AviRecording::try_finish() {
    Riff& last = riffs_.back();
    const bool opendml = riffs_.size() > 1;
    if (!file_.truncate(last.data_end) || !close_riff(last, opendml)) return false;

    const uint32_t buffer = std::max(settings_.suggested_buffer, largest_chunk_);
    const uint32_t total = static_cast<uint32_t>(frames_.size());
    bool ok =
        patch_u32(layout_.avih_total_frames, static_cast<uint32_t>(riffs_[0].frame_count)) &&
        patch_u32(layout_.avih_max_bytes_per_sec,
                  saturate(uint64_t{largest_chunk_} * static_cast<uint64_t>(settings_.rate))) &&
        patch_u32(layout_.avih_suggested_buffer, buffer) && patch_u32(layout_.strh_length, total) &&
        patch_u32(layout_.strh_suggested_buffer, buffer);
    if (!ok) return false;
    if (opendml) {
        std::vector<SuperIndexEntry> entries;
        for (const Riff& r : riffs_)
            entries.push_back(r.index);
        scratch_.clear();
        put_super_index(scratch_, entries, kSuperIndexEntries);
        ok = file_.write_at(layout_.super_index_chunk, scratch_.data(), scratch_.size()) &&
             patch_u32(layout_.odml_chunk, fourcc_value("LIST")) &&
             patch_u32(layout_.dmlh_total_frames, total);
    } else {
        // A part that was dropped while finishing may have turned these on.
        ok = patch_u32(layout_.super_index_chunk, fourcc_value("JUNK")) &&
             patch_u32(layout_.odml_chunk, fourcc_value("JUNK"));
    }
    return ok && file_.sync();
}

AviRecording::Result AviRecording::finish() {
    Result result;
    result.error = file_.error_text();
    if (!file_.is_open() || riffs_.empty()) {
        file_.close();
        return result;
    }
    for (;;) {
        if (try_finish()) {
            // A nameless file must be named while it is still open.
            result.ok = file_.name_temporary() && file_.close();
            if (!result.ok && result.error.empty()) result.error = file_.error_text();
            result.frames = frames_.size();
            return result;
        }
        if (result.error.empty()) result.error = file_.error_text();
        // No room for the indexes: each frame given up frees its chunk.
        Riff& last = riffs_.back();
        if (last.frame_count > 0) {
            frames_.pop_back();
            last.frame_count -= 1;
            last.data_end = last.frame_count > 0
                                ? frames_.back().chunk_offset + 8 + padded(frames_.back().data_size)
                                : last.movi_size + 8;
            result.dropped += 1;
        } else if (riffs_.size() > 1) {
            riffs_.pop_back();
        } else {
            break;
        }
    }
    file_.close();
    return result;
}

void AviRecording::discard() { file_.discard_temporary(); }
