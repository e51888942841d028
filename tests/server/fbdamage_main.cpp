// fbdamage: damages a Firebird 3 database file on purpose, for tests and the sample database.
//
//   fbdamage create <file> [--user U] [--password P] [--charset CS] [--page-size N] [--portuguese]
//   fbdamage list <file>
//   fbdamage ods <file> [major minor]
//   fbdamage <records|btree|count|zero|system-btree> <file> [pages] [--relation N] [--seed N]
//
// `create` makes the sample database through the server that FIREBIRD points at ("localhost:"
// + file); the password defaults to $TOVANEL_FB_PASSWORD, else "ravenpike"; --portuguese fills it with
// accented Portuguese text, an ISO8859_1 column and a NONE column of Latin-1 bytes. Damage prints the
// numbers of the damaged pages; the file must not be held by a server (a file whose last
// attachment has ended is not).
#include "FbDamage.h"
#include "SampleDatabase.h"

#include <cstdlib>
#include <iostream>
#include <string>

namespace {

int usage() {
    std::cerr << "usage: fbdamage create <file> [--user U] [--password P] [--charset CS] [--page-size N]"
                 " [--portuguese]\n"
                 "       fbdamage list <file>\n"
                 "       fbdamage ods <file> [major minor]\n"
                 "       fbdamage <records|btree|count|zero|system-btree> <file> [pages] [--relation N] [--seed N]\n";
    return 2;
}

std::string_view typeName(fbdamage::PageType type) {
    using fbdamage::PageType;
    switch (type) {
    case PageType::Header: return "header";
    case PageType::PageInventory: return "page-inventory";
    case PageType::TransactionInventory: return "transaction-inventory";
    case PageType::Pointer: return "pointer";
    case PageType::Data: return "data";
    case PageType::IndexRoot: return "index-root";
    case PageType::BTree: return "btree";
    case PageType::Blob: return "blob";
    case PageType::Generator: return "generator";
    case PageType::ScnInventory: return "scn-inventory";
    case PageType::Undefined: break;
    }
    return "unused";
}

int list(const std::string& path) {
    const fbdamage::DatabaseFile file(path);
    std::cout << "page size " << file.pageSize() << ", " << file.pageCount() << " pages\n";
    for (const fbdamage::PageInfo& info : file.pages()) {
        std::cout << info.number << ' ' << typeName(info.type);
        if (info.type == fbdamage::PageType::Data)
            std::cout << " relation " << info.relation << " count " << info.count;
        else if (info.type == fbdamage::PageType::BTree)
            std::cout << " relation " << info.relation << " index " << int{info.indexId} << " level "
                      << int{info.level} << " length " << info.length;
        std::cout << '\n';
    }
    return 0;
}

unsigned long number(const std::string& text) {
    std::size_t used = 0;
    const unsigned long value = std::stoul(text, &used);
    if (used != text.size()) throw std::invalid_argument(text);
    return value;
}

// Prints the header's ODS version; with a new one, sets it first (a file of another version).
int ods(const std::string& path, int argc, char** argv) {
    if (argc == 5)
        fbdamage::setOdsVersion(path, static_cast<std::uint16_t>(number(argv[3])),
                                static_cast<std::uint16_t>(number(argv[4])));
    else if (argc != 3)
        return usage();
    const fbdamage::OdsVersion version = fbdamage::readOdsVersion(path);
    std::cout << "ODS " << version.major << '.' << version.minor << (version.firebird ? " firebird" : " interbase")
              << '\n';
    return 0;
}

int create(const std::string& path, int argc, char** argv) {
    std::string user = "SYSDBA";
    const char* fromEnv = std::getenv("TOVANEL_FB_PASSWORD");
    std::string password = fromEnv && *fromEnv ? fromEnv : "ravenpike";
    fbdamage::SampleLayout layout;
    for (int i = 3; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--portuguese") layout.portugueseText = true;
        else if (option == "--user" && hasValue) user = argv[++i];
        else if (option == "--password" && hasValue) password = argv[++i];
        else if (option == "--charset" && hasValue) layout.characterSet = argv[++i];
        else if (option == "--page-size" && hasValue) layout.pageSize = static_cast<unsigned>(number(argv[++i]));
        else return usage();
    }
    fbdamage::createSampleDatabase(path, user, password, layout);
    std::cout << "created " << path << '\n';
    return 0;
}

}  // namespace

int main(int argc, char** argv) try {
    if (argc < 3) return usage();
    const std::string command = argv[1];
    const std::string path = argv[2];
    if (command == "list") return list(path);
    if (command == "create") return create(path, argc, argv);
    if (command == "ods") return ods(path, argc, argv);

    const auto kind = fbdamage::kindFromName(command);
    if (!kind) return usage();
    fbdamage::DamageOptions options;
    options.kind = *kind;
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--relation" && i + 1 < argc)
            options.relation = static_cast<std::uint16_t>(number(argv[++i]));
        else if (arg == "--seed" && i + 1 < argc)
            options.seed = static_cast<std::uint32_t>(number(argv[++i]));
        else
            options.pages = static_cast<unsigned>(number(arg));
    }
    const auto pages = fbdamage::damage(path, options);
    std::cout << "damaged pages:";
    for (auto page : pages) std::cout << ' ' << page;
    std::cout << '\n';
    return 0;
} catch (const std::exception& e) {
    std::cerr << "fbdamage: " << e.what() << '\n';
    return 1;
}
