#include "record/avi_writer.h"

// Placeholder until the RIFF writer is in: records nothing.
struct AviWriter::Impl {};
AviWriter::AviWriter() = default;
AviWriter::~AviWriter() = default;
bool AviWriter::open(Host*, const std::string&, int, int, int, const char*) { return false; }
bool AviWriter::write_frame(const Surface&) { return false; }
void AviWriter::close() {}
bool AviWriter::is_open() const { return false; }
