// The sample database that tests and the newcomer's trial damage: three tables with rows and
// indexes, made by the server through isql-fb, so the server's account owns the file.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace fbdamage {

// How the sample is laid out. The default is the tests' plain database; `portugueseText` makes it
// look like our users' databases: accented names and cities, a bairro column in ISO8859_1 and a
// legacy column in character set NONE holding the city's Latin-1 bytes.
struct SampleLayout {
    std::string characterSet = "UTF8";  // the database's default character set
    unsigned pageSize = 4096;
    bool portugueseText = false;
};

// Creates `path` through "localhost:" + path; FIREBIRD in the environment chooses the instance.
// Throws std::runtime_error with isql-fb's output when that fails.
void createSampleDatabase(const std::filesystem::path& path, const std::string& user, const std::string& password,
                          const SampleLayout& layout = {});

// A healthy database of one table whose rows of random text fill about a page each (4 KB pages):
// about 4.2 MB per 1,000 rows, for jobs that must keep the server busy for a while.
void createLargeDatabase(const std::filesystem::path& path, const std::string& user, const std::string& password,
                         long long rows);

// Rows per table of a fresh sample database.
std::map<std::string, long long> sampleRowCounts();

// The text columns of one CLIENTES row of a Portuguese sample, as UTF-8: every value follows from
// the key, so a test can check any row it reads back.
struct PortugueseClient {
    std::string nome;
    std::string cidade;  // in the database's default character set
    std::string bairro;  // ISO8859_1
    std::string legado;  // NONE: these are the bytes of cidade in Latin-1, shown here as UTF-8
};
PortugueseClient portugueseClient(long long id);

// UTF-8 text of the Latin-1 range as Latin-1 bytes; throws std::invalid_argument beyond it.
std::string latin1Bytes(const std::string& utf8);

// A select of CLIENTES' key and text columns as bytes (cast to OCTETS, which isql shows as hex),
// and the check of its rows, as isql lists them, against what the sample wrote: the bytes are
// Latin-1 in every column, the same in WIN1252 and ISO8859_1 for the sample's letters.
// Returns one "id column: read X, wrote Y" per difference.
extern const char* const kPortugueseTextSelect;
std::vector<std::string> portugueseTextMismatches(const std::vector<std::map<std::string, std::string>>& rows);

}  // namespace fbdamage
