#include "record/stale_temporaries.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <map>
#include <set>

#include "record/target_file.h"

namespace {

std::string base_name(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool all_digits(const std::string& s, size_t from, size_t to) {
    if (from >= to) return false;
    for (size_t i = from; i < to; ++i)
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    return true;
}

// Removes `path` when no process holds it; the descriptor that tests the
// lock is the one whose file is compared with the name before the unlink.
bool remove_if_unheld(const std::string& path) {
    // Writable, for NFS turns flock into a write lock on the server.
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    bool removed = false;
    struct stat opened {
    }, named{};
    if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_uid == ::geteuid() &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(path.c_str(), &named) == 0 &&
        named.st_dev == opened.st_dev && named.st_ino == opened.st_ino)
        removed = ::unlink(path.c_str()) == 0;
    ::close(fd);
    return removed;
}

}  // namespace

bool lock_temporary(int fd) {
    while (::flock(fd, LOCK_EX) != 0)
        if (errno != EINTR) return false;
    return true;
}

bool is_temporary_of(const std::string& name, const std::string& target) {
    // ".BASE.PID-COUNTER.part", BASE cut as temporary_name_for cuts it.
    std::string base = base_name(target);
    if (base.size() > TemporaryBaseLength) base.resize(TemporaryBaseLength);
    const std::string prefix = "." + base + ".";
    static const std::string suffix = ".part";
    if (name.size() <= prefix.size() + suffix.size() ||
        name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    const size_t end = name.size() - suffix.size();
    const size_t dash = name.find('-', prefix.size());
    return dash < end && all_digits(name, prefix.size(), dash) && all_digits(name, dash + 1, end);
}

int remove_stale_temporaries(const std::vector<std::string>& targets) {
    // One look at each folder, however many targets it holds.
    std::map<std::string, std::set<std::string>> folders;
    for (const std::string& t : targets)
        folders[folder_of(t)].insert(base_name(t));
    int removed = 0;
    for (const auto& [folder, bases] : folders) {
        DIR* dir = ::opendir(folder.c_str());
        if (dir == nullptr) continue;
        std::vector<std::string> stale;
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.size() < 2 || name[0] != '.') continue;
            // The base is what lies between the leading dot and ".PID-N.part".
            const size_t part = name.rfind('.', name.size() >= 6 ? name.size() - 6 : 0);
            if (part == std::string::npos || part < 1) continue;
            const std::string base = name.substr(1, part - 1);
            for (auto it = bases.lower_bound(base);
                 it != bases.end() && it->compare(0, base.size(), base) == 0; ++it)
                if (is_temporary_of(name, *it)) {
                    stale.push_back(folder + "/" + name);
                    break;
                }
        }
        ::closedir(dir);
        for (const std::string& path : stale)
            removed += remove_if_unheld(path) ? 1 : 0;
    }
    return removed;
}
