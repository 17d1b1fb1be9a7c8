#include "record/avi_headers.h"

namespace {

void put_avih(ByteBuffer& out, const AviStreamSettings& s, AviHeaderLayout& at) {
    const size_t size_at = out.begin_chunk("avih");
    out.u32(static_cast<uint32_t>(1000000 / s.rate));  // dwMicroSecPerFrame
    at.avih_max_bytes_per_sec = out.size();
    out.u32(0);
    out.u32(0);  // dwPaddingGranularity
    out.u32(AVIF_HASINDEX | AVIF_ISINTERLEAVED);
    at.avih_total_frames = out.size();
    out.u32(0);
    out.u32(0);  // dwInitialFrames
    out.u32(1);  // dwStreams
    at.avih_suggested_buffer = out.size();
    out.u32(s.suggested_buffer);
    out.u32(static_cast<uint32_t>(s.width));
    out.u32(static_cast<uint32_t>(s.height));
    out.zeros(16);  // dwReserved
    out.end_chunk(size_at);
}

void put_strh(ByteBuffer& out, const AviStreamSettings& s, AviHeaderLayout& at) {
    const size_t size_at = out.begin_chunk("strh");
    out.fourcc("vids");
    out.u32(s.handler);
    out.u32(0);  // dwFlags
    out.u16(0);  // wPriority
    out.u16(0);  // wLanguage
    out.u32(0);  // dwInitialFrames
    out.u32(1);  // dwScale
    out.u32(static_cast<uint32_t>(s.rate));
    out.u32(0);  // dwStart
    at.strh_length = out.size();
    out.u32(0);
    at.strh_suggested_buffer = out.size();
    out.u32(s.suggested_buffer);
    out.u32(0xFFFFFFFFu);  // dwQuality: the default
    out.u32(0);            // dwSampleSize
    out.u16(0);
    out.u16(0);
    out.u16(static_cast<uint16_t>(s.width));
    out.u16(static_cast<uint16_t>(s.height));
    out.end_chunk(size_at);
}

}  // namespace

AviHeaderLayout put_avi_headers(ByteBuffer& out, const AviStreamSettings& s) {
    AviHeaderLayout at;
    at.riff_size = out.begin_list("AVI ", "RIFF");
    const size_t hdrl = out.begin_list("hdrl");
    put_avih(out, s, at);

    const size_t strl = out.begin_list("strl");
    put_strh(out, s, at);
    const size_t strf = out.begin_chunk("strf");
    put_bitmap_info_header(out, s.format);
    out.end_chunk(strf);
    // Kept as JUNK while the file fits one RIFF part, so that readers of
    // plain AVI files see nothing unusual.
    at.super_index_chunk = out.size();
    const size_t indx = out.begin_chunk("JUNK");
    out.u16(4);  // wLongsPerEntry
    out.u8(0);   // bIndexSubType
    out.u8(0);   // bIndexType: AVI_INDEX_OF_INDEXES
    out.u32(0);  // nEntriesInUse
    out.fourcc("00dc");
    out.zeros(12);
    out.zeros(16 * kSuperIndexEntries);
    out.end_chunk(indx);
    out.end_chunk(strl);

    at.odml_chunk = out.size();
    const size_t odml = out.begin_list("odml", "JUNK");
    const size_t dmlh = out.begin_chunk("dmlh");
    at.dmlh_total_frames = out.size();
    out.zeros(kDmlhBytes);
    out.end_chunk(dmlh);
    out.end_chunk(odml);
    out.end_chunk(hdrl);

    at.movi_size = out.begin_list("movi");
    at.movi_type = at.movi_size + 4;
    return at;
}
