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

// Rows per table of a fresh sample database.
std::map<std::string, long long> sampleRowCounts();

}  // namespace fbdamage
