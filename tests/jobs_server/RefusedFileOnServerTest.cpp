// Files the server refuses for a cause that is not damage: another Firebird version's on-disk
// structure, a file its account may not open, and files that are no database. Every job shows the
// box that names the cause, the server's own lines follow in the log, and the file is left as it
// was: no job writes to a file the server refused.

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "ConsoleOnServer.h"

namespace tovanel::testing {
namespace {

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// What the server says about the file, as its own tool reports it: the lines after "Statement
// failed", each without the tool's leading "-". The access layer drops a last full stop.
std::vector<std::string> ServerSays(testserver::PrivateServer& server, const fs::path& file) {
    std::istringstream output(server.isql(file, "quit;\n").output);
    std::vector<std::string> lines;
    bool inFailure = false;
    for (std::string line; std::getline(output, line);) {
        if (line.starts_with("Statement failed")) {
            inFailure = true;
        } else if (inFailure && !line.starts_with("Use CONNECT")) {
            lines.push_back(line.starts_with("-") ? line.substr(1) : line);
        } else {
            inFailure = false;
        }
    }
    if (!lines.empty() && lines.back().ends_with(".")) lines.back().pop_back();
    return lines;
}

// The account that owns the instance's scratch directory is the one the server runs as.
std::string ServerAccountOwningScratch(const fs::path& scratch) {
    struct stat st {};
    if (::stat(scratch.c_str(), &st) != 0) return "?";
    const passwd* entry = ::getpwuid(st.st_uid);
    return entry ? entry->pw_name : std::to_string(st.st_uid);
}

struct RefusedFile {
    const char* name;
    // Makes the file at `path` from a healthy database.
    std::function<void(testserver::PrivateServer&, const fs::path& healthy, const fs::path& path)> make;
    // Checks the error box for the file at `path`; `account` is the server's.
    std::function<void(const std::string& box, const fs::path& path, const std::string& account)> checkBox;
    bool explanationLogged;  // the box's text is also one log line before the server's lines
};

void OdsVersion(testserver::PrivateServer& server, const fs::path& healthy, const fs::path& path,
                std::uint16_t major, std::uint16_t minor) {
    server.copyDatabase(healthy, path);
    fbdamage::setOdsVersion(path, major, minor);
}

std::function<void(const std::string&, const fs::path&, const std::string&)> OdsBox(std::string found,
                                                                                     std::string writers) {
    return [found, writers](const std::string& box, const fs::path&, const std::string&) {
        EXPECT_TRUE(box.starts_with("BD com estrutura em disco ODS " + found + " (" + writers + ")!\r")) << box;
        EXPECT_NE(box.find("\rEste servidor (ODS 12."), std::string::npos) << box;
        EXPECT_NE(box.find(" não pode abri-lo.\rVerifique e repare o BD num servidor dessa versão,\r"
                           "ou faça lá o backup e restaure-o neste servidor."),
                  std::string::npos)
            << box;
    };
}

const RefusedFile kRefusedFiles[] = {
    {"ods11", [](auto& s, auto& h, auto& p) { OdsVersion(s, h, p, 11, 0); }, OdsBox("11.0", "Firebird 2.0 a 2.5"), true},
    {"ods13", [](auto& s, auto& h, auto& p) { OdsVersion(s, h, p, 13, 0); }, OdsBox("13.0", "Firebird 4"), true},
    {"ods13_1", [](auto& s, auto& h, auto& p) { OdsVersion(s, h, p, 13, 1); }, OdsBox("13.1", "Firebird 5"), true},
    {"mode000",
     [](auto& s, auto& h, auto& p) {
         s.copyDatabase(h, p);
         s.takeFromServer(p);
     },
     [](const std::string& box, const fs::path&, const std::string& account) {
         EXPECT_TRUE(box.starts_with("O servidor Firebird (usuário")) << box;
         EXPECT_NE(box.find(account), std::string::npos) << "names the server's account " << account << ": " << box;
         EXPECT_NE(box.find("não tem permissão\rpara abrir o arquivo do BD!\r"), std::string::npos) << box;
         EXPECT_NE(box.find("leitura e gravação no arquivo\r(como dono ou por um grupo dele) e permissão de busca (x)\r"
                            "a todos os diretórios do caminho."), std::string::npos) << box;
         EXPECT_EQ(box.find("corrompido"), std::string::npos) << "a sound file is not called corrupt";
     },
     true},
    {"empty",
     [](auto& s, auto&, auto& p) {
         std::ofstream{p};
         s.handToServer(p);
     },
     [](const std::string& box, const fs::path&, const std::string&) { EXPECT_EQ(box, kBadFile); }, false},
    {"text",
     [](auto& s, auto&, auto& p) {
         std::ofstream out(p);
         for (int i = 0; i < 2000; ++i) out << "Linha " << i << " de um arquivo de texto, não de um BD.\n";
         out.close();
         s.handToServer(p);
     },
     [](const std::string& box, const fs::path& path, const std::string&) {
         EXPECT_TRUE(box.starts_with("file " + path.string() + " is not a valid database")) << box;
     },
     false},
};

void PrintTo(const RefusedFile& file, std::ostream* out) { *out << file.name; }

enum class Job { Test, Verify, Repair };

struct JobCase {
    const char* name;
    Job job;
};

const JobCase kJobs[] = {{"test", Job::Test}, {"verify", Job::Verify}, {"repair", Job::Repair}};

class RefusedFileOnServer : public ConsoleOnServer, public ::testing::WithParamInterface<RefusedFile> {
protected:
    // Runs the job on `file`; answers Yes and names `target` where the job asks.
    void RunJob(Job job, const fs::path& file, const fs::path& target) {
        port.messageBoxes.clear();
        Use(file);
        switch (job) {
            case Job::Test: Run(&TFrmPrincipal::ActnTestaConexaoExecute); break;
            case Job::Verify:
                port.QueueAnswer(kButtonYes);
                Run(&TFrmPrincipal::ActnVerificarBancoExecute);
                break;
            case Job::Repair:
                port.QueueAnswer(kButtonYes);
                port.QueueSaveDialog(target.string());
                Run(&TFrmPrincipal::ActnReparabancoExecute);
                break;
        }
    }
};

TEST_P(RefusedFileOnServer, EveryJobNamesTheCauseLogsTheServersLinesAndLeavesTheFileAsItWas) {
    const RefusedFile& c = GetParam();
    const fs::path healthy = server().freshPath("saudavel");
    server().createHealthyDatabase(healthy);
    const std::string account = ServerAccountOwningScratch(server().scratch());

    for (const JobCase& j : kJobs) {
        SCOPED_TRACE(j.name);
        const fs::path file = server().freshPath(std::string(c.name) + "_" + j.name);
        c.make(server(), healthy, file);
        ASSERT_FALSE(HasFatalFailure());
        const std::string before = ReadBytes(file);
        const std::vector<std::string> serverLines = ServerSays(server(), file);
        ASSERT_FALSE(serverLines.empty()) << "the server refuses the file";
        const fs::path target = server().freshPath(std::string(c.name) + "_novo");

        RunJob(j.job, file, target);

        const std::vector<std::string> boxes = ErrorBoxes();
        ASSERT_EQ(boxes.size(), 1u) << port.LogText();
        c.checkBox(boxes[0], file, account);
        EXPECT_EQ(port.messageBoxes.back().title, "Erro!");

        // The log: the job's own lines, the empty result line, then (for the new causes) the
        // box's text as one line, then the server's lines, unchanged.
        std::vector<std::string> tail;
        if (c.explanationLogged) {
            std::string line = boxes[0];
            std::replace(line.begin(), line.end(), '\r', ' ');
            tail.push_back(line);
        }
        tail.insert(tail.end(), serverLines.begin(), serverLines.end());
        ASSERT_GE(port.log.size(), tail.size() + 1);
        EXPECT_EQ(std::vector<std::string>(port.log.end() - static_cast<long>(tail.size()), port.log.end()), tail)
            << port.LogText();
        EXPECT_EQ(*(port.log.end() - static_cast<long>(tail.size()) - 1), "") << "the connection step's empty result";

        EXPECT_TRUE(ReadBytes(file) == before) << "the file is byte for byte as it was";
        EXPECT_FALSE(fs::exists(target)) << "no new database";
        if (j.job == Job::Repair) {
            EXPECT_FALSE(fs::exists(form->ArquivoBackup)) << "no temporary backup";
        }
        ExpectIdle();
    }
}

// The rescue copies the file first, so the server refuses the copy: the box names the same cause
// (the two the server's text names; any other failure is shown as it came), its text closes the
// log, and neither the new database nor the working copy is left.
TEST_P(RefusedFileOnServer, TheRescueNamesTheCauseAndLeavesNoFileBehind) {
    const RefusedFile& c = GetParam();
    const fs::path healthy = server().freshPath("saudavel");
    server().createHealthyDatabase(healthy);
    const std::string account = ServerAccountOwningScratch(server().scratch());
    const fs::path file = server().freshPath(std::string(c.name) + "_resgate");
    c.make(server(), healthy, file);
    ASSERT_FALSE(HasFatalFailure());
    const std::string before = ReadBytes(file);
    const fs::path target = server().freshPath(std::string(c.name) + "_resgatado");

    port.messageBoxes.clear();
    Use(file);
    port.QueueAnswer(kButtonYes);
    port.QueueSaveDialog(target.string());
    Run(&TFrmPrincipal::ActnResgateExecute);

    const std::vector<std::string> boxes = ErrorBoxes();
    ASSERT_EQ(boxes.size(), 1u) << port.LogText();
    if (c.explanationLogged) {
        c.checkBox(boxes[0], file, account);
        std::string line = boxes[0];
        std::replace(line.begin(), line.end(), '\r', ' ');
        ASSERT_FALSE(port.log.empty());
        EXPECT_EQ(port.log.back(), line) << port.LogText();
    }
    EXPECT_EQ(form->LastJobOutcome(), JobOutcome::Failed);
    EXPECT_TRUE(ReadBytes(file) == before) << "the file is byte for byte as it was";
    for (const auto& entry : fs::directory_iterator(target.parent_path()))
        EXPECT_FALSE(entry.path().filename().string().starts_with(target.stem().string()))
            << "left behind: " << entry.path();
    ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(Files, RefusedFileOnServer, ::testing::ValuesIn(kRefusedFiles),
                         [](const auto& info) { return std::string(info.param.name); });

// The helper's offsets are the server's: a real file reads as the server's own structure, and a
// copy set to another version is refused with exactly that version.
TEST_F(ConsoleOnServer, TheOdsHelperReadsAndWritesTheFieldsTheServerReads) {
    const fs::path healthy = server().freshPath("cabecalho");
    server().createHealthyDatabase(healthy);
    const fbdamage::OdsVersion own = fbdamage::readOdsVersion(healthy);
    EXPECT_EQ(own.major, 12);
    EXPECT_TRUE(own.firebird);

    const fs::path copy = server().freshPath("cabecalho_ods11");
    server().copyDatabase(healthy, copy);
    fbdamage::setOdsVersion(copy, 11, 2);
    const std::vector<std::string> says = ServerSays(server(), copy);
    ASSERT_FALSE(says.empty());
    EXPECT_NE(says[0].find("; found 11.2, support 12."), std::string::npos) << says[0];
    EXPECT_EQ(fbdamage::readOdsVersion(copy), (fbdamage::OdsVersion{11, 2, true}));
}

}  // namespace
}  // namespace tovanel::testing
