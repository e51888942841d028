#include "BenchCommon.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace bench {

namespace {

std::int64_t StatusFieldKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':')
            return std::strtoll(line.c_str() + length + 1, nullptr, 10);
    return -1;
}

}  // namespace

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::int64_t ResidentKiB() {
    return StatusFieldKiB("VmRSS");
}

std::int64_t PeakResidentKiB() {
    return StatusFieldKiB("VmHWM");
}

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : fallback;
}

void RemoveIfPresent(const std::string& path) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        throw std::runtime_error("cannot remove " + path + ": " + std::strerror(errno));
}

}  // namespace bench
