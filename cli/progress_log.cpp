#include "cli/progress_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <ctime>

#include "cli/interrupts.h"
#include "cli/progress_line.h"

namespace {

// Text put together in a fixed buffer: nothing here allocates or takes a
// lock, so a signal handler may use it.
class RecordText {
  public:
    RecordText(char* out, size_t size) : out_(out), size_(size) {}

    void put(const char* text) {
        while (*text != 0)
            put_char(*text++);
    }
    void put_int(long long v) {
        char digits[24];
        int n = 0;
        const bool negative = v < 0;
        unsigned long long u = negative ? 0ull - static_cast<unsigned long long>(v) : v;
        do {
            digits[n++] = static_cast<char>('0' + u % 10);
            u /= 10;
        } while (u != 0);
        if (negative) put_char('-');
        while (n > 0)
            put_char(digits[--n]);
    }
    // One decimal (`tenths`) or a whole number; a half goes to the even
    // neighbour, as printf does with halves it holds exactly.
    void put_number(double v, bool tenths) {
        if (!std::isfinite(v) || v < 0.0) v = 0.0;
        const double scaled = std::nearbyint(std::fmin(v * (tenths ? 10.0 : 1.0), 1e17));
        const auto whole = static_cast<long long>(scaled);
        if (!tenths) return put_int(whole);
        put_int(whole / 10);
        put_char('.');
        put_char(static_cast<char>('0' + whole % 10));
    }
    void line(const char* key, long long v) {
        put(key);
        put_int(v);
        put_char('\n');
    }
    size_t length() const { return n_; }

  private:
    void put_char(char c) {
        if (n_ < size_) out_[n_++] = c;
    }
    char* out_;
    size_t size_;
    size_t n_ = 0;
};

long long now_ns() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);  // async-signal-safe
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

std::atomic<ProgressLog*> g_interrupt_log{nullptr};

}  // namespace

size_t format_progress_record(const ProgressFields& f, const char* end_status, char* out,
                              size_t size) {
    RecordText t(out, size);
    t.line("frame=", f.frame);
    t.line("frames_total=", f.frames_total);
    t.line("row=", f.row);
    t.line("rows_total=", f.rows_total);
    t.put("percent=");
    t.put_number(f.percent, true);
    t.put("\nelapsed_s=");
    t.put_number(f.elapsed_s, true);
    t.put("\neta_s=");
    if (f.eta_s >= 0.0)
        t.put_number(f.eta_s, true);
    else
        t.put("N/A");
    t.put("\nrays_per_s=");
    t.put_number(f.rays_per_s, false);
    t.put("\n");
    t.line("threads=", f.threads);
    if (end_status != nullptr) {
        t.put("status=");
        t.put(end_status);
        t.put("\n");
    }
    t.put(end_status != nullptr ? "progress=end\n" : "progress=continue\n");
    return t.length();
}

std::string progress_record(const ProgressFields& f, const char* end_status) {
    char buffer[512];
    return std::string(buffer, format_progress_record(f, end_status, buffer, sizeof buffer));
}

const char* progress_end_status(int exit_status) {
    if (exit_status == 0) return "done";
    return exit_status >= 128 ? "interrupted" : "error";
}

ProgressLog::~ProgressLog() {
    ProgressLog* self = this;
    g_interrupt_log.compare_exchange_strong(self, nullptr);
    set_interrupt_last_words(nullptr);
    if (own_fd_) ::close(fd_);
}

bool ProgressLog::open(const std::string& path) {
    if (path == "-") {
        fd_ = STDERR_FILENO;
    } else {
        fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0) return false;
        own_fd_ = true;
    }
    start_clock();
    g_interrupt_log.store(this);
    set_interrupt_last_words(end_on_interrupt);
    return true;
}

void ProgressLog::start_clock() { started_ns_.store(now_ns()); }

void ProgressLog::write_continue() const {
    if (!ended_.load()) write_record(nullptr);
}

void ProgressLog::end(const char* status) {
    if (is_open() && !ended_.exchange(true)) write_record(status);
}

void ProgressLog::write_record(const char* end_status) const {
    const double seconds = static_cast<double>(now_ns() - started_ns_.load()) / 1e9;
    char buffer[512];
    const size_t n = format_progress_record(progress_fields(session_, seconds), end_status, buffer,
                                            sizeof buffer);
    // One write a record, retried only where a signal cut it short.
    size_t done = 0;
    while (done < n) {
        const ssize_t w = ::write(fd_, buffer + done, n - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return;
        done += static_cast<size_t>(w);
    }
}

void ProgressLog::end_on_interrupt(int) {
    const int saved = errno;
    if (ProgressLog* log = g_interrupt_log.load()) log->end("interrupted");
    errno = saved;
}
