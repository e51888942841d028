// Unusual inputs typed into the window, through its logic (fake UI port) and the fake client
// library: every path and credential either gets the console's own answer or is sent exactly as
// typed in well-formed blocks; a value too long for its length byte is refused with a clear
// message before anything is sent.
#include "ConsoleTexts.h"
#include "FakeClient.h"
#include "FakeUiPort.h"
#include "UFrmPrincipal.h"

#include <gtest/gtest.h>
#include <ibase.h>
#include <unistd.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

namespace {

namespace fs = std::filesystem;
using tovanel::TFrmPrincipal;
using tovanel::testing::FakeUiPort;
using tovanel::testing::kConnected;
using tovanel::testing::kNotFound;


enum class Outcome {
    NotFound,  // the guard's box; nothing sent
    Sent,      // attached with exactly these bytes
    Refused,   // an error box; nothing sent
};

struct Row {
    const char* name;
    // Makes the path under the scratch directory (and whatever it names).
    std::function<std::string(const fs::path& scratch)> path;
    std::string user;
    std::string password;
    Outcome outcome;
    friend void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }
};

fs::path File(const fs::path& path)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "database";
    return path;
}

// A path of exactly `length` bytes under scratch, in components of at most 200 bytes.
std::string LongPath(const fs::path& scratch, std::size_t length)
{
    std::string path = scratch.string();
    while (path.size() + 1 < length) {
        const std::size_t room = length - path.size() - 1;
        const std::size_t part = room > 200 ? (room - 200 >= 2 ? 200 : room - 2) : room;
        path += "/" + std::string(part, 'd');
    }
    File(path);
    return path;
}

std::string Plain(const fs::path& scratch)
{
    return File(scratch / "banco.fdb").string();
}

std::string Bytes(char c, std::size_t n)
{
    return std::string(n, c);
}

const Row kRows[] = {
    {"path_with_spaces", [](const fs::path& s) { return File(s / "meus bancos" / "banco de dados.fdb").string(); },
     "SYSDBA", "masterkey", Outcome::Sent},
    {"path_with_accented_letters",
     [](const fs::path& s) { return File(s / "relat\xC3\xB3rios" / "ver\xC3\xA3o.fdb").string(); }, "SYSDBA",
     "masterkey", Outcome::Sent},
    {"path_with_a_leading_space", [](const fs::path& s) { return " " + Plain(s); }, "SYSDBA", "masterkey",
     Outcome::NotFound},
    {"path_of_300_bytes", [](const fs::path& s) { return LongPath(s, 300); }, "SYSDBA", "masterkey", Outcome::Sent},
    {"path_of_4000_bytes", [](const fs::path& s) { return LongPath(s, 4000); }, "SYSDBA", "masterkey",
     Outcome::Sent},
    {"path_of_a_directory",
     [](const fs::path& s) {
         fs::create_directories(s / "pasta.fdb");
         return (s / "pasta.fdb").string();
     },
     "SYSDBA", "masterkey", Outcome::NotFound},
    {"path_of_a_symbolic_link",
     [](const fs::path& s) {
         fs::create_symlink(Plain(s), s / "link.fdb");
         return (s / "link.fdb").string();
     },
     "SYSDBA", "masterkey", Outcome::Sent},
    {"path_of_a_dangling_link",
     [](const fs::path& s) {
         fs::create_symlink(s / "nowhere.fdb", s / "dangling.fdb");
         return (s / "dangling.fdb").string();
     },
     "SYSDBA", "masterkey", Outcome::NotFound},
    {"user_and_password_with_equals", Plain, "A=B", "pass=word=", Outcome::Sent},
    {"user_and_password_with_spaces_at_their_ends", Plain, " SYSDBA ", "  masterkey  ", Outcome::Sent},
    // A user name over 31 bytes stops a Firebird 3 server for every user: never sent.
    {"user_of_31_bytes", Plain, Bytes('U', 31), "masterkey", Outcome::Sent},
    {"user_of_32_bytes", Plain, Bytes('U', 32), "masterkey", Outcome::Refused},
    {"user_of_16_letters_in_32_bytes", Plain, [] {
         std::string s;
         for (int i = 0; i < 16; ++i)
             s += "\xC3\x89";
         return s;
     }(), "masterkey", Outcome::Refused},
    {"user_of_255_bytes", Plain, Bytes('U', 255), "masterkey", Outcome::Refused},
    {"password_of_255_bytes", Plain, "SYSDBA", Bytes('p', 255), Outcome::Sent},
    {"user_of_256_bytes", Plain, Bytes('U', 256), "masterkey", Outcome::Refused},
    {"password_of_256_bytes", Plain, "SYSDBA", Bytes('p', 256), Outcome::Refused},
    // 128 two-byte letters: 128 characters, 256 bytes.
    {"password_of_128_letters_in_256_bytes", Plain, "SYSDBA", [] {
         std::string s;
         for (int i = 0; i < 128; ++i)
             s += "\xC3\xA7";
         return s;
     }(), Outcome::Refused},
    {"user_and_password_with_utf8_letters", Plain, "JOS\xC3\x89", "se\xC3\xB1ha\xE2\x82\xAC", Outcome::Sent},
};

// The DPB the attach must carry: version 1, user name, password, lengths in bytes.
std::string ExpectedDpb(const std::string& user, const std::string& password)
{
    return std::string{1, 28, static_cast<char>(user.size())} + user + std::string{29} +
           static_cast<char>(password.size()) + password;
}

std::string ExpectedSpb(const std::string& user, const std::string& password)
{
    return std::string{2, 2, 28, static_cast<char>(user.size())} + user + std::string{29} +
           static_cast<char>(password.size()) + password;
}

class BadInput : public ::testing::TestWithParam<Row> {
protected:
    void SetUp() override
    {
        std::setlocale(LC_ALL, "C.UTF-8");
        char pattern[] = "/tmp/tovanel-badinput-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        scratch = pattern;
        form = std::make_unique<TFrmPrincipal>(port);
        form->FormCreate();
        fakeclient::Reset();
        path = GetParam().path(scratch);
        port.databasePath = path;
        port.user = GetParam().user;
        port.password = GetParam().password;
    }
    void TearDown() override
    {
        form.reset();
        fakeclient::Reset();
        fs::remove_all(scratch);
    }

    void ExpectWindowIdle() const
    {
        EXPECT_TRUE(port.inputGroupEnabled);
        EXPECT_TRUE(port.mainMenuEnabled);
        EXPECT_FALSE(port.busyCursor);
        EXPECT_FALSE(form->Executando);
    }

    fs::path scratch;
    std::string path;
    FakeUiPort port;
    std::unique_ptr<TFrmPrincipal> form;
};

TEST_P(BadInput, ConnectionTestSendsTheInputsExactlyOrSaysWhyNot)
{
    form->RunHandler([&] { form->ActnTestaConexaoExecute(); });

    const auto attaches = fakeclient::CallsTo("isc_attach_database");
    switch (GetParam().outcome) {
    case Outcome::NotFound:
        ASSERT_EQ(port.messageBoxes.size(), 1u);
        EXPECT_EQ(port.messageBoxes[0].text, kNotFound);
        EXPECT_EQ(port.messageBoxes[0].title, "Erro");
        EXPECT_TRUE(attaches.empty());
        break;
    case Outcome::Sent:
        ASSERT_EQ(attaches.size(), 1u);
        EXPECT_EQ(attaches[0].Bytes("name"), "localhost:" + path);
        EXPECT_EQ(attaches[0].Number("name_length"), static_cast<int64_t>(("localhost:" + path).size()));
        EXPECT_EQ(attaches[0].Bytes("dpb"), ExpectedDpb(GetParam().user, GetParam().password));
        EXPECT_EQ(port.log.back(), kConnected);
        EXPECT_TRUE(port.messageBoxes.empty());
        break;
    case Outcome::Refused:
        EXPECT_TRUE(attaches.empty());
        ASSERT_EQ(port.messageBoxes.size(), 1u);
        EXPECT_EQ(port.messageBoxes[0].title, "Erro!");
        // The refusal names the limit; one that names the password reads, as every password
        // failure does, as a wrong user or password.
        EXPECT_TRUE(port.messageBoxes[0].text.find("at most 255") != std::string::npos ||
                    port.messageBoxes[0].text.find("at most 31") != std::string::npos ||
                    port.messageBoxes[0].text == "Usuário ou senha inválidos")
            << port.messageBoxes[0].text;
        break;
    }
    ExpectWindowIdle();
    std::cout << "[badinput] " << GetParam().name << " (console) | "
              << (port.messageBoxes.empty() ? port.log.back() : port.messageBoxes.back().text) << std::endl;
}

TEST_P(BadInput, VerificationSendsWellFormedServiceBlocksOrNone)
{
    port.QueueAnswer(tovanel::kButtonYes);
    const std::string end(1, static_cast<char>(isc_info_svc_line));
    fakeclient::Push("isc_service_query", fakeclient::Output(end + std::string{0, 0, 1}));

    form->RunHandler([&] { form->ActnVerificarBancoExecute(); });

    const auto attaches = fakeclient::CallsTo("isc_service_attach");
    if (GetParam().outcome == Outcome::NotFound) {
        // The guard stops the job before its confirmation and before any call.
        ASSERT_EQ(port.messageBoxes.size(), 1u);
        EXPECT_EQ(port.messageBoxes[0].text, kNotFound);
        EXPECT_TRUE(fakeclient::CallsTo("isc_attach_database").empty());
        EXPECT_TRUE(attaches.empty());
    } else if (GetParam().outcome == Outcome::Refused) {
        EXPECT_TRUE(fakeclient::CallsTo("isc_attach_database").empty());
        EXPECT_TRUE(attaches.empty());
    } else {
        // The validation's service, then the read check's backup: the same inputs in both.
        ASSERT_EQ(attaches.size(), 2u);
        for (const auto& attach : attaches)
            EXPECT_EQ(attach.Bytes("spb"), ExpectedSpb(GetParam().user, GetParam().password));
        const auto starts = fakeclient::CallsTo("isc_service_start");
        ASSERT_EQ(starts.size(), 2u);
        const std::string pathItem =
            std::string{106, static_cast<char>(path.size() & 0xFF), static_cast<char>(path.size() >> 8)} + path;
        EXPECT_TRUE(starts[0].Bytes("spb").starts_with(std::string(1, isc_action_svc_repair) + pathItem));
        EXPECT_TRUE(starts[1].Bytes("spb").starts_with(std::string(1, isc_action_svc_backup) + pathItem));
    }
    ExpectWindowIdle();
}

INSTANTIATE_TEST_SUITE_P(Inputs, BadInput, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
