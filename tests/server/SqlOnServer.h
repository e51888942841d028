// Helpers for tests that run statements through the access layer against the private instance.
#pragma once

#include "DatabaseOnServer.h"

#include <IBDatabase.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

namespace testserver {

// Creates a database (page size 8192, default character set NONE) and runs ddl in it with isql,
// connection character set NONE, so text literals reach the server as their bytes.
inline void createDatabaseWith(PrivateServer& server, const std::filesystem::path& path, const std::string& ddl)
{
    const std::string script = "set sql dialect 3;\ncreate database '" + PrivateServer::remote(path) +
                               "' user '" + server.user() + "' password '" + server.password() +
                               "' page_size 8192 default character set none;\n" + ddl + "\ncommit;\n";
    const std::vector<std::string> argv{"isql-fb", "-q", "-b", "-ch", "NONE"};
    const CommandResult result = runCommand(argv, script);
    if (!result.ok())
        throw std::runtime_error(describe(argv, result));
}

// An attachment as SYSDBA without lc_ctype (character set NONE): text moves as its bytes.
inline std::unique_ptr<TIBDatabase> attach(PrivateServer& server, const std::filesystem::path& path)
{
    auto db = std::make_unique<TIBDatabase>();
    configureAsConsole(*db, PrivateServer::remote(path), server.user(), server.password());
    db->Open();
    return db;
}

}  // namespace testserver
