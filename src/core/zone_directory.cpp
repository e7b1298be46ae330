#include "core/zone_directory.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace epochsift {

namespace {

constexpr std::size_t MAX_NAME_LENGTH = 255;
// Real zone files are a few kilobytes; anything far larger is not one.
constexpr off_t MAX_FILE_SIZE = 1 << 22;

bool name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '+' ||
           c == '-';
}

// The whole file, or why not. Opened without blocking, so that a FIFO or
// device where a zone file should be is refused at once, not waited on.
ZoneLoadError read_file(const std::string& path, std::vector<unsigned char>& out) {
    int const fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return ZoneLoadError::NotFound;
    struct stat info {};
    ZoneLoadError error = ZoneLoadError::None;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = ZoneLoadError::NotFound;
    } else if (info.st_size > MAX_FILE_SIZE) {
        error = ZoneLoadError::Unreadable;
    } else {
        out.resize(static_cast<std::size_t>(info.st_size));
        std::size_t done = 0;
        while (done < out.size()) {
            ssize_t const n = ::read(fd, out.data() + done, out.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        if (done != out.size()) error = ZoneLoadError::Unreadable;
    }
    ::close(fd);
    return error;
}

struct Cache {
    std::mutex lock;
    std::map<std::string, std::shared_ptr<const ZoneRules>, std::less<>> zones;  // by directory '\0' name
};

Cache& cache() {
    static Cache instance;
    return instance;
}

}  // namespace

bool valid_zone_name(std::string_view name) {
    if (name.empty() || name.size() > MAX_NAME_LENGTH) return false;
    char previous = '/';  // no leading slash, no empty segment
    for (char c : name) {
        if (c == '/' ? previous == '/' : !name_char(c)) return false;
        previous = c;
    }
    return previous != '/';
}

std::string_view default_zone_directory() {
    const char* tzdir = std::getenv("TZDIR");
    return tzdir != nullptr && tzdir[0] != '\0' ? std::string_view(tzdir) : std::string_view("/usr/share/zoneinfo");
}

ZoneLoad load_zone(std::string_view name, std::string_view directory) {
    if (!valid_zone_name(name)) return {nullptr, ZoneLoadError::BadName, TzifError::None};
    if (directory.empty()) directory = default_zone_directory();
    std::string key(directory);
    key += '\0';
    key += name;
    Cache& c = cache();
    {
        std::lock_guard<std::mutex> const held(c.lock);
        if (auto found = c.zones.find(key); found != c.zones.end()) return {found->second, ZoneLoadError::None, {}};
    }
    std::string path(directory);
    path += '/';
    path += name;
    std::vector<unsigned char> bytes;
    if (ZoneLoadError const e = read_file(path, bytes); e != ZoneLoadError::None) return {nullptr, e, {}};
    TzifResult parsed = parse_tzif(bytes);
    if (!parsed.zone) return {nullptr, ZoneLoadError::Corrupt, parsed.error};
    auto rules = std::make_shared<const ZoneRules>(std::move(*parsed.zone));
    std::lock_guard<std::mutex> const held(c.lock);
    auto const [slot, added] = c.zones.emplace(std::move(key), std::move(rules));
    return {slot->second, ZoneLoadError::None, TzifError::None};
}

}  // namespace epochsift
