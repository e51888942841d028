// tovanel-cli run as a separate program against the private Firebird instance: what each command
// prints on standard output and standard error, and its exit status, for healthy and damaged
// databases, wrong credentials, missing files, answered and unanswerable questions.
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>

#include "CliProcess.h"
#include "PrivateServer.h"

namespace {

namespace fs = std::filesystem;
using clitest::CliLaunch;
using clitest::CliResult;
using clitest::runCli;

const std::string kConnecting = "Aguarde... Verificando conexão\n";
const std::string kConnected = "Banco de dados conectado com sucesso!\n";
const std::string kStarted = "Aguarde... Processo iniciado.\n\n";
const std::string kAskVerify =
    "Pergunta: Esse processo poderá levar alguns minutos.\n        Confirma a verificação?           [y/N] ";
const std::string kAskRepair =
    "Pergunta: Esse processo poderá levar alguns minutos.\n        Confirma a reparação?           [y/N] ";
const std::string kOfferRepair = "Erro:  Foram encontrados erro no banco \nDeseja iniciar a reparação agora? [y/N] ";
const std::string kWrongLogin = "Erro!: Usuário ou senha inválidos\n";
// The server's own line, which follows the box in the log.
const std::string kWrongLoginServerLine =
    "Your user name and password are not defined. Ask your database administrator to set up a Firebird login\n";
const std::string kNotFound = "Erro: Banco de dados não encontrato!\n";
const std::string kNoTerminal =
    "tovanel-cli: não há terminal para responder à pergunta; use --yes para responder Sim.\n";
const std::string kDone = "\nA T E N Ç Ã O!!!!!\nProcesso concluido!\n";

CliResult runArgs(std::vector<std::string> args) {
    CliLaunch launch;
    launch.args = std::move(args);
    return runCli(launch);
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string newFileLine(const fs::path& path) {
    return "Informe o novo arquivo a ser gerado: " + path.string() + "\n";
}

class CliOnServer : public testserver::RealServerTest {
protected:
    fs::path healthy(const std::string& stem) {
        const auto db = server().freshPath(stem);
        server().createHealthyDatabase(db);
        return db;
    }
    fs::path damaged(const std::string& stem) {
        const auto db = server().freshPath(stem);
        server().createDamagedDatabase(db, fbdamage::Kind::Records);
        return db;
    }
    std::string passwordFile(const std::string& password) {
        const auto file = server().freshPath("senha", ".txt");
        std::ofstream(file) << password << "\n";
        return file.string();
    }
    static CliResult run(std::vector<std::string> args, CliLaunch launch = CliLaunch()) {
        launch.args = std::move(args);
        return runCli(launch);
    }
};

#define EXPECT_RUN(result, launchArgs, status, stdoutText, stderrText)                  \
    do {                                                                                \
        SCOPED_TRACE(::testing::PrintToString(launchArgs));                             \
        EXPECT_EQ((result).exitCode, status);                                           \
        EXPECT_EQ((result).out, stdoutText);                                            \
        EXPECT_EQ((result).err, stderrText);                                            \
    } while (false)

// ---- test ------------------------------------------------------------------------------------

TEST_F(CliOnServer, TestConnectsWithTheWindowsDefaultCredentials) {
    ASSERT_EQ(server().password(), "ravenpike") << "the instance must use the window's default password";
    const auto db = healthy("cli_test_ok");
    const CliResult result = run({"test", db.string()});
    EXPECT_RUN(result, db, 0, kConnecting + kConnected, "");
}

TEST_F(CliOnServer, TestTakesCredentialsFromOptionsThenEnvironmentThenDefaults) {
    const auto db = healthy("cli_test_login");
    const std::string right = passwordFile(server().password());
    const std::string wrong = passwordFile("nao-e-esta");
    const std::string warning =
        "tovanel-cli: aviso: a senha dada na linha de comando fica visível na lista de processos; "
        "prefira --password-file ou ISC_PASSWORD\n";
    using Env = std::map<std::string, std::optional<std::string>>;
    const struct {
        const char* what;
        std::vector<std::string> options;
        Env env;
        bool connects;
        std::string extraErr;
    } cases[] = {
        {"password file", {"--password-file", right}, {}, true, ""},
        {"lower-case user is sent upper-cased", {"-u", "sysdba", "--password-file", right}, {}, true, ""},
        {"environment", {}, {{"ISC_USER", "SYSDBA"}, {"ISC_PASSWORD", server().password()}}, true, ""},
        {"wrong password file", {"--password-file", wrong}, {}, false, ""},
        {"wrong environment password", {}, {{"ISC_PASSWORD", "nao-e-esta"}}, false, ""},
        {"option before environment", {"--password-file", wrong}, {{"ISC_PASSWORD", server().password()}}, false, ""},
        {"unknown user", {"--user", "ninguem"}, {}, false, ""},
        {"password on the command line", {"-p", "nao-e-esta"}, {}, false, warning},
        {"right password on the command line", {"--password", server().password()}, {}, true, warning},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CliLaunch launch;
        launch.env = c.env;
        std::vector<std::string> args{"test"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back(db.string());
        const CliResult result = run(args, launch);
        if (c.connects)
            EXPECT_RUN(result, args, 0, kConnecting + kConnected, c.extraErr);
        else
            EXPECT_RUN(result, args, 2, kConnecting + "\n" + kWrongLoginServerLine, c.extraErr + kWrongLogin);
    }
}

TEST_F(CliOnServer, RelativePathsAreTheOperatorsNotTheServers) {
    const auto db = healthy("cli_relative");
    CliLaunch launch;
    launch.workingDirectory = db.parent_path().parent_path();
    const std::vector<std::string> args{"test", db.parent_path().filename() / db.filename()};
    EXPECT_RUN(run(args, launch), args, 0, kConnecting + kConnected, "");

    // A repair of a relative path proposes its new file beside the source, as a full path.
    launch.workingDirectory = db.parent_path();
    const fs::path proposed = db.parent_path() / (db.stem().string() + "_NOVO.FDB");
    const CliResult repair = run({"repair", "--yes", db.filename()}, launch);
    EXPECT_EQ(repair.exitCode, 0) << repair.out << repair.err;
    EXPECT_TRUE(repair.err.ends_with(newFileLine(proposed))) << repair.err;
    EXPECT_EQ(server().countRows(proposed), testserver::PrivateServer::healthyRowCounts());
    fs::remove(proposed);
}

// ---- the input check, for every command ---------------------------------------------------------

TEST_F(CliOnServer, EveryJobRefusesAMissingFileOrMissingInputsWithTheWindowsMessages) {
    const auto absent = server().freshPath("cli_absent");
    const std::string empty = passwordFile("");
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{absent.string()}, kNotFound},
        {{server().scratch().string()}, kNotFound},  // a directory
        {{" " + healthy("cli_space").string()}, kNotFound},  // the path exactly as given
        {{}, "Erro: * Caminho do banco de dados não informado!\n\n"},
        {{"-u", " ", "--password-file", empty, absent.string()},
         "Erro: * Usuario do banco de dados não informado!\n* Senha do banco de dados não informada!\n"},
    };
    for (const char* command : {"test", "verify", "repair"}) {
        for (const auto& c : cases) {
            std::vector<std::string> args{command, "--yes"};
            if (std::string(command) == "test") args.pop_back();
            args.insert(args.end(), c.args.begin(), c.args.end());
            const CliResult result = run(args);
            EXPECT_RUN(result, args, 2, "", c.err);
        }
    }
}

// ---- files the server refuses for another cause than damage --------------------------------------

std::string fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(CliOnServer, EveryJobOnAFileTheServerRefusesExitsTwoWithTheWindowsBoxAndTheServersLines) {
    const auto source = healthy("cli_recusado");
    const auto odsCopy = [&](std::uint16_t major, std::uint16_t minor) {
        return [&, major, minor](const fs::path& p) {
            server().copyDatabase(source, p);
            fbdamage::setOdsVersion(p, major, minor);
        };
    };
    const struct {
        const char* name;
        std::function<void(const fs::path&)> make;
        std::string box;          // the start of the box on standard error
        std::string explanation;  // the start of its log line
        std::string serverEnd;    // how the log ends: the server's last lines
    } cases[] = {
        {"ods11",
         odsCopy(11, 0),
         "Erro!: BD com estrutura em disco ODS 11.0 (Firebird 2.0 a 2.5)!\nEste servidor (ODS 12.",
         "BD com estrutura em disco ODS 11.0 (Firebird 2.0 a 2.5)! Este servidor (ODS 12.",
         "IProvider::attachDatabase failed when loading mapping cache\n"},
        {"ods13",
         odsCopy(13, 0),
         "Erro!: BD com estrutura em disco ODS 13.0 (Firebird 4)!\nEste servidor (ODS 12.",
         "BD com estrutura em disco ODS 13.0 (Firebird 4)! Este servidor (ODS 12.",
         "IProvider::attachDatabase failed when loading mapping cache\n"},
        {"mode000",
         [&](const fs::path& p) {
             server().copyDatabase(source, p);
             server().takeFromServer(p);
         },
         "Erro!: O servidor Firebird (usuário ", "O servidor Firebird (usuário ",
         "Error while trying to open file\nPermission denied\n"},
    };
    for (const auto& c : cases) {
        for (const char* command : {"test", "verify", "repair"}) {
            const auto db = server().freshPath(std::string("cli_") + c.name + "_" + command);
            c.make(db);
            const std::string before = fileBytes(db);
            const auto target = server().freshPath(std::string("cli_") + c.name + "_novo");
            std::vector<std::string> args{command};
            if (std::string(command) != "test") args.push_back("--yes");
            if (std::string(command) == "repair") args.insert(args.end(), {"--output", target.string()});
            args.push_back(db.string());

            CliLaunch launch;
            launch.args = args;
            const CliResult result = runCli(launch);
            SCOPED_TRACE(clitest::describe(launch, result));
            EXPECT_EQ(result.exitCode, 2);
            EXPECT_TRUE(contains(result.err, c.box));
            EXPECT_FALSE(contains(result.err, "corrompido"));
            EXPECT_TRUE(contains(result.out, "\n\n" + c.explanation)) << "the explanation follows the empty result line";
            EXPECT_TRUE(result.out.ends_with(c.serverEnd));
            EXPECT_TRUE(fileBytes(db) == before) << "the file is byte for byte as it was";
            EXPECT_FALSE(fs::exists(target));
        }
    }
}

// ---- verify ----------------------------------------------------------------------------------

TEST_F(CliOnServer, VerifyOfAHealthyDatabaseFindsNoErrorAndExitsZero) {
    const auto db = healthy("cli_verify_ok");
    const CliResult result = run({"verify", "--yes", db.string()});
    EXPECT_RUN(result, db, 0,
               kStarted + kConnected + "\nLeitura completa do banco (todos os registros e blobs):\n" +
                   "gbak:    writing data for table PRODUTOS \ngbak:    writing data for table PEDIDOS \n" +
                   "gbak:    writing data for table CLIENTES \nNenhum erro foi encontrado!\n",
               kAskVerify + "y\n");
}

TEST_F(CliOnServer, VerifyQuickIsTheValidationAloneAndItsReportSaysNoProblem) {
    const auto db = healthy("cli_verify_quick");
    const fs::path report = server().freshPath("cli_verify_quick", ".json");
    const CliResult result = run({"verify", "--yes", "--quick", "--report", report.string(), db.string()});
    EXPECT_RUN(result, db, 0, kStarted + kConnected + "Nenhum erro foi encontrado!\n", kAskVerify + "y\n");
    std::ifstream in(report);
    const auto json = nlohmann::json::parse(in);
    EXPECT_EQ(json["problems_found"], false);
    EXPECT_EQ(json["read_check"]["ran"], false);
}

TEST_F(CliOnServer, VerifyOfDamagedRecordsExitsOneAndItsReportHoldsWhatTheLogListed) {
    const auto db = damaged("cli_verify_report");
    const fs::path report = server().freshPath("cli_verify_report", ".json");
    const CliResult result = run({"verify", "--yes", "--no-repair", "--report", report.string(), db.string()});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    std::ifstream in(report);
    const auto json = nlohmann::json::parse(in);
    EXPECT_EQ(json["problems_found"], true);
    ASSERT_FALSE(json["problems"].empty());
    for (const auto& problem : json["problems"])
        EXPECT_TRUE(contains(result.out, problem["server_text"].get<std::string>())) << problem["server_text"];
    EXPECT_EQ(json["read_check"]["ran"], true);
}

TEST_F(CliOnServer, VerifyOfADamagedDatabaseListsTheServersLinesAndExitsOneWhenTheRepairIsDeclined) {
    const auto db = damaged("cli_verify_bad");
    CliLaunch launch;
    launch.args = {"verify", db.string()};
    launch.terminal = true;
    clitest::CliProcess process(launch);
    process.type("y\n");
    // The offer to repair waits for an answer: everything logged before it must already have
    // reached the reader.
    ASSERT_TRUE(process.waitForError(kOfferRepair)) << clitest::describe(launch, process.collected());
    EXPECT_TRUE(process.running());
    EXPECT_TRUE(contains(process.collected().out, "Summary of validation errors\n"))
        << "the log lines must be flushed as they are written:\n" << process.collected().out;
    process.type("n\n");
    const CliResult result = process.finish();

    EXPECT_EQ(result.exitCode, 1) << clitest::describe(launch, result);
    EXPECT_TRUE(result.out.starts_with(kStarted + kConnected +
                                       "A T E N Ç Ã O!!!!!\nOs seguintes erros foram encontrados:\n\n"))
        << result.out;
    EXPECT_EQ(result.err, kAskVerify + kOfferRepair);
    EXPECT_FALSE(contains(result.out, "Processo concluido!"));
    EXPECT_FALSE(fs::exists(db.parent_path() / (db.stem().string() + "_NOVO.FDB")));
}

TEST_F(CliOnServer, VerifyWithYesRepairsADamagedDatabaseIntoTheGivenFile) {
    const auto db = damaged("cli_verify_yes");
    const auto repaired = server().freshPath("cli_verify_yes_new");
    const CliResult result = run({"verify", "--yes", "--output", repaired.string(), db.string()});

    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(result.err, kAskVerify + "y\n" + kOfferRepair + "y\n" + kAskRepair + "y\n" + newFileLine(repaired));
    // The verification's report, then the repair's own log, which starts afresh.
    const auto repairLog = result.out.find(kStarted + kConnected, 1);
    ASSERT_NE(repairLog, std::string::npos) << result.out;
    EXPECT_TRUE(contains(result.out.substr(0, repairLog), "Summary of validation errors\n")) << result.out;
    EXPECT_TRUE(result.out.ends_with(kDone)) << result.out;
    EXPECT_GT(server().countRows(repaired).size(), 0u);
}

// ---- repair ----------------------------------------------------------------------------------

TEST_F(CliOnServer, RepairWithYesRecoversTheRowsTheServersOwnToolsRecover) {
    const auto db = damaged("cli_repair");
    const auto reference = server().referenceRepair(db);  // on a copy, before the source is mended
    const auto repaired = server().freshPath("cli_repair_new");
    const CliResult result = run({"repair", "--yes", "-o", repaired.string(), db.string()});

    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(result.err, kAskRepair + "y\n" + newFileLine(repaired));
    EXPECT_TRUE(result.out.starts_with(kStarted + kConnected)) << result.out;
    EXPECT_TRUE(contains(result.out, "gbak:")) << "the backup's and restore's verbose lines";
    EXPECT_TRUE(result.out.ends_with(kDone)) << result.out;
    EXPECT_EQ(server().countRows(repaired), reference.counts) << reference.log;
    EXPECT_LT(reference.counts.at("CLIENTES") + reference.counts.at("PEDIDOS") + reference.counts.at("PRODUTOS"),
              6800)
        << "the damage must cost rows, or the comparison proves little";
    // The temporary backup went into the new file's directory and is gone again.
    for (const auto& entry : fs::directory_iterator(repaired.parent_path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_FALSE(name.starts_with(db.stem().string()) && name.ends_with(".GBK")) << entry.path();
    }
}

TEST_F(CliOnServer, RepairWithoutOutputCreatesTheWindowsProposedNameBesideTheSource) {
    const auto db = healthy("cli_default");
    const fs::path proposed = db.parent_path() / (db.stem().string() + "_NOVO.FDB");
    const CliResult result = run({"repair", "--yes", db.string()});
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(result.err, kAskRepair + "y\n" + newFileLine(proposed));
    EXPECT_EQ(server().countRows(proposed), testserver::PrivateServer::healthyRowCounts());

    // Again, on a terminal: the existing new file is replaced only after a Yes.
    const auto before = fs::last_write_time(proposed);
    CliLaunch launch;
    launch.terminal = true;
    launch.args = {"repair", db.string()};
    clitest::CliProcess process(launch);
    process.type("y\nn\n");
    const CliResult declined = process.finish();
    EXPECT_EQ(declined.exitCode, 2);
    EXPECT_EQ(declined.out, "");
    EXPECT_EQ(declined.err, kAskRepair + "Pergunta: O arquivo " + proposed.string() +
                                " já existe.\nDeseja substituí-lo? [y/N] ");
    EXPECT_EQ(fs::last_write_time(proposed), before);
    fs::remove(proposed);
}

TEST_F(CliOnServer, RepairRefusesToRestoreOverTheSourceInAnySpelling) {
    const auto db = healthy("cli_same");
    const struct {
        std::string output;
        fs::path cwd;
    } cases[] = {
        {db.string(), {}},
        {db.filename().string(), db.parent_path()},                            // relative
        {(db.parent_path() / "." / db.filename()).string(), {}},               // another spelling
    };
    for (const auto& c : cases) {
        CliLaunch launch;
        launch.workingDirectory = c.cwd;
        const std::vector<std::string> args{"repair", "--yes", "--output", c.output, db.string()};
        const CliResult result = run(args, launch);
        EXPECT_EQ(result.exitCode, 2) << clitest::describe(launch, result);
        EXPECT_EQ(result.out, "");
        EXPECT_TRUE(result.err.ends_with("Erro: O banco de dados destinho não pode ser igual ao origem\n"))
            << result.err;
    }
    EXPECT_EQ(server().countRows(db), testserver::PrivateServer::healthyRowCounts());
}

// ---- questions without anyone to answer them --------------------------------------------------------

TEST_F(CliOnServer, WithoutTerminalAndWithoutYesNothingRunsAndTheReasonIsGiven) {
    const auto db = damaged("cli_no_terminal");
    const auto repaired = server().freshPath("cli_no_terminal_new");
    for (const char* command : {"verify", "repair"}) {
        for (bool piped : {false, true}) {
            CliLaunch launch;
            if (piped) launch.pipedInput = "y\ny\ny\n";  // not a terminal: never read
            const std::vector<std::string> args{command, "--output", repaired.string(), db.string()};
            const CliResult result = run(args, launch);
            const std::string& ask = std::string(command) == "verify" ? kAskVerify : kAskRepair;
            EXPECT_RUN(result, args, 2, "", ask + "\n" + kNoTerminal);
        }
    }
    EXPECT_FALSE(fs::exists(repaired));
}

// ---- status ----------------------------------------------------------------------------------

TEST_F(CliOnServer, StatusPrintsTheMonitorsTextOnce) {
    EXPECT_RUN(run({"status"}), "status", 0, "Rodando\n", "");

    // In a process namespace of its own no server process is visible.
    CliLaunch alone;
    alone.wrapper = {"unshare", "--pid", "--fork", "--mount-proc"};
    EXPECT_RUN(run({"status"}, alone), "status alone", 0, "Parado ou não instalado!\n", "");
}

// ---- the status line while the server is silent -----------------------------------------------

// The first sweep of a freshly filled database of about 170 MB keeps the server silent for
// seconds. Each run gets a copy the server has never swept.
TEST_F(CliOnServer, WhileTheServerIsSilentATerminalShowsTheStatusLineAndAPipeDoesNot) {
    const fs::path made = server().freshPath("cli_grande");
    server().createLargeDatabase(made, 40000);
    const fs::path piped = server().freshPath("cli_grande_pipe");
    const fs::path shown = server().freshPath("cli_grande_tty");
    server().copyDatabase(made, piped);
    server().copyDatabase(made, shown);
    const std::string statusText = ": aguardando o servidor... ";

    const CliResult pipe = run({"repair", "--yes", "-o", server().freshPath("cli_grande_pipe_novo").string(),
                                piped.string()});
    EXPECT_EQ(pipe.exitCode, 0) << pipe.err;
    EXPECT_TRUE(pipe.out.ends_with(kDone)) << pipe.out;
    EXPECT_FALSE(contains(pipe.err, statusText)) << pipe.err;
    EXPECT_FALSE(contains(pipe.out + pipe.err, "\x1b[K")) << "a pipe gets only the lines and the boxes";

    // script(1) runs the program on a pseudo-terminal and copies what it showed.
    const std::string commandLine = clitest::cliBinary() + " repair --yes -o " +
                                    server().freshPath("cli_grande_tty_novo").string() + " " + shown.string();
    const auto onTerminal = testserver::runCommand({"script", "-qec", commandLine, "/dev/null"});
    EXPECT_EQ(onTerminal.exitCode, 0) << onTerminal.output;
    // The terminal ends each line with CR LF; the status line's own CR is the one left after that.
    std::string screen = onTerminal.output;
    for (std::size_t at; (at = screen.find("\r\n")) != std::string::npos;) screen.replace(at, 2, "\n");
    EXPECT_TRUE(contains(screen, "\rVarredura" + statusText + "00:01\x1b[K")) << screen;
    EXPECT_TRUE(contains(screen, "\r\x1b[K")) << "erased before what follows: " << screen;
    // What the server sent is all there, the status lines taken out.
    std::string withoutStatus;
    for (std::size_t at = 0; at < screen.size();) {
        const std::size_t status = screen.find('\r', at);
        const std::size_t end = status == std::string::npos ? std::string::npos : screen.find("\x1b[K", status);
        if (status == std::string::npos || end == std::string::npos) {
            withoutStatus += screen.substr(at);
            break;
        }
        withoutStatus += screen.substr(at, status - at);
        at = end + 3;
    }
    EXPECT_TRUE(contains(withoutStatus, kStarted)) << withoutStatus;
    EXPECT_TRUE(contains(withoutStatus, kConnected)) << withoutStatus;
    EXPECT_TRUE(contains(withoutStatus, kDone)) << withoutStatus;
}

// ---- the binary ------------------------------------------------------------------------------

TEST(CliBinary, LinksNoQtLibraryAndLoadsTheClientLibraryOnlyAtRunTime) {
    const auto result = testserver::runCommand({"ldd", clitest::cliBinary()});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_TRUE(contains(result.output, "libc.so")) << result.output;
    EXPECT_FALSE(contains(result.output, "Qt")) << result.output;
    EXPECT_FALSE(contains(result.output, "libfbclient")) << result.output;
}

TEST(CliBinary, HelpAndVersionNeedNoServer) {
    const CliResult help = runArgs({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.starts_with("Uso: tovanel-cli test|verify|repair|rescue|status")) << help.out;
    const CliResult version = runArgs({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, std::string("tovanel-cli ") + TOVANEL_VERSION + "\n");
    const CliResult bad = runArgs({"repair", "--force"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_EQ(bad.out, "");
}

// ---- verify --no-repair ----------------------------------------------------------------------

TEST_F(CliOnServer, VerifyWithNoRepairNeverMendsAndExitsOneForProblemsZeroForNoneTwoForFailure) {
    struct Case {
        const char* what;
        fs::path db;
        int status;
        const char* outPart;
    };
    const Case cases[] = {
        {"damaged", damaged("cli_norepair_bad"), 1, "Problemas registrados pelo servidor nesta validação:\nError: "},
        {"healthy", healthy("cli_norepair_ok"), 0, "Nenhum erro foi encontrado!\n"},
        {"missing", server().freshPath("cli_norepair_missing"), 2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CliResult result = run({"verify", "--yes", "--no-repair", c.db.string()});
        EXPECT_EQ(result.exitCode, c.status) << result.out << result.err;
        EXPECT_TRUE(contains(result.out, c.outPart)) << result.out;
        EXPECT_FALSE(contains(result.err, kAskRepair)) << result.err;
        EXPECT_FALSE(fs::exists(c.db.parent_path() / (c.db.stem().string() + "_NOVO.FDB")));
        if (c.status == 1) {
            EXPECT_TRUE(contains(result.err, kOfferRepair + "n (--no-repair)\n")) << result.err;
            EXPECT_TRUE(contains(result.out, "\nValidation finished: ")) << result.out;
        }
        if (c.status == 2) {
            EXPECT_TRUE(contains(result.err, kNotFound)) << result.err;
        }
    }
}

}  // namespace

namespace {

// ---- rescue ----------------------------------------------------------------------------------

class CliRescueOnServer : public CliOnServer {};

TEST_F(CliRescueOnServer, RescueWithYesMakesTheNewDatabaseWritesItsJsonReportAndExitsZero) {
    const auto db = damaged("cli_resgate");
    std::ifstream before(db, std::ios::binary);
    const std::string original((std::istreambuf_iterator<char>(before)), {});
    const auto rescued = server().freshPath("cli_resgate_novo");
    const auto report = server().freshPath("cli_resgate_relatorio", ".json");
    const CliResult result = run({"rescue", "--yes", "-o", rescued.string(), "--report", report.string(), db.string()});

    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_TRUE(contains(result.err, "Confirma o resgate? [y/N] y\n")) << result.err;
    EXPECT_TRUE(contains(result.err, newFileLine(rescued))) << result.err;
    EXPECT_TRUE(contains(result.out, "Resultado do resgate:")) << result.out;
    EXPECT_TRUE(result.out.ends_with("Resgate concluído!\n")) << result.out;
    std::ifstream after(db, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after)), {}), original) << "the original is untouched";
    std::ifstream json(report);
    const std::string text((std::istreambuf_iterator<char>(json)), {});
    EXPECT_TRUE(contains(text, "\"outcome\": \"new_database_made\"")) << text;
    const auto counts = server().countRows(rescued);
    for (const auto& [table, rows] : counts) {
        if (table.starts_with("QUARENTENA$")) continue;  // the rescue's own tables
        EXPECT_TRUE(contains(text, "\"name\": \"" + table + "\",\n      \"carried_by\"")) << table << "\n" << text;
    }
    EXPECT_GT(counts.at("PEDIDOS"), 0);
}

// Stopped by a signal at any point of its run (during the copy, the validation of the copy, the
// restore into the new file), the rescue leaves no working copy, temporary backup or half-made
// new database, the original byte for byte as it was, and exits 2: by its own stop between two
// calls, or after the grace when a call the server holds does not come back.
TEST_F(CliRescueOnServer, ASignalStopsItRemovingItsFilesLeavingTheOriginalAndExitsTwo) {
    const fs::path db = server().freshPath("cli_resgate_grande");
    server().createLargeDatabase(db, 30000);
    const std::uint64_t before = clitest::fileHash(db);
    const struct {
        int signal;
        const char* sentAfter;  // a line of the log
    } cases[] = {
        {SIGTERM, "Copiando o banco de dados para um arquivo de trabalho.\n"},
        {SIGINT, "Validando a cópia de trabalho.\n"},
        {SIGHUP, "Criando o novo banco de dados.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sentAfter);
        const fs::path directory = server().freshPath("cli_resgate_sinal", "");
        fs::create_directory(directory);
        server().handToServer(directory);
        fs::permissions(directory, fs::perms::owner_all | fs::perms::group_all);
        CliLaunch launch;
        launch.args = {"rescue", "--yes", "-o", (directory / "banco_RESGATE.FDB").string(), db.string()};
        clitest::CliProcess child(launch);
        ASSERT_TRUE(child.waitForOutput(c.sentAfter)) << child.collected().out << child.collected().err;
        child.sendSignal(c.signal);
        const CliResult result = child.finish();

        EXPECT_EQ(result.exitCode, 2) << result.out << result.err;
        EXPECT_TRUE(contains(result.err, "Erro: O resgate foi interrompido a pedido do operador.\n") ||
                    contains(result.err, "tovanel-cli: o resgate não parou a tempo; seus arquivos foram apagados.\n"))
            << result.err;
        std::string left;
        for (const auto& entry : fs::directory_iterator(directory)) left += entry.path().string() + "\n";
        EXPECT_EQ(left, "") << "no working copy, temporary backup or half-made database is left";
        EXPECT_EQ(clitest::fileHash(db), before) << "the original is untouched";
        fs::remove_all(directory);
    }
    EXPECT_TRUE(server().reachable());
}

TEST_F(CliRescueOnServer, ARescueThatCannotStartExitsTwo) {
    const auto missing = server().freshPath("cli_resgate_inexistente");
    const CliResult result = run({"rescue", "--yes", missing.string()});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(contains(result.err, kNotFound)) << result.err;
}

}  // namespace
