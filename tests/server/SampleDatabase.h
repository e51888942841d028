// The sample database that tests and the newcomer's trial damage: three tables with rows and
// indexes, made by the server through isql-fb, so the server's account owns the file.
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace fbdamage {

// Creates `path` through "localhost:" + path; FIREBIRD in the environment chooses the instance.
// Throws std::runtime_error with isql-fb's output when that fails.
void createSampleDatabase(const std::filesystem::path& path, const std::string& user, const std::string& password);

// A healthy database of one table whose rows of random text fill about a page each (4 KB pages):
// about 4.2 MB per 1,000 rows, for jobs that must keep the server busy for a while.
void createLargeDatabase(const std::filesystem::path& path, const std::string& user, const std::string& password,
                         long long rows);

// Rows per table of a fresh sample database.
std::map<std::string, long long> sampleRowCounts();

}  // namespace fbdamage
