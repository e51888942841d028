// Helpers for tests that drive the access layer against the private instance.
#pragma once

#include "PrivateServer.h"

#include <IBDatabase.h>
#include <IBErrors.h>

#include <string>

namespace testserver {

// The connection test's settings: no login prompt, the credentials in Params only.
inline void configureAsConsole(TIBDatabase& db, const std::string& databaseName, const std::string& user,
                               const std::string& password) {
    db.SetLoginPrompt(false);
    db.SetDatabaseName(databaseName);
    db.Params().SetValue("user_name", user);
    db.Params().SetValue("password", password);
}

}  // namespace testserver
