// "&Teste conexão" against the private instance.

#include <fstream>

#include "ConsoleOnServer.h"

namespace tovanel::testing {
namespace {

class ConnectionOnServer : public ConsoleOnServer {};

TEST_F(ConnectionOnServer, AHealthyDatabaseConnects) {
    const fs::path db = server().freshPath("conecta");
    server().createHealthyDatabase(db);
    Use(db);
    Run(&TFrmPrincipal::ActnTestaConexaoExecute);
    EXPECT_EQ(port.log, (std::vector<std::string>{kChecking, kConnected}));
    EXPECT_TRUE(port.messageBoxes.empty());
    ExpectIdle();
}

TEST_F(ConnectionOnServer, AWrongPasswordShowsTheCredentialsText) {
    const fs::path db = server().freshPath("senha");
    server().createHealthyDatabase(db);
    Use(db);
    port.password = "errada";
    Run(&TFrmPrincipal::ActnTestaConexaoExecute);
    // The server's own words follow the box in the log.
    EXPECT_EQ(port.log, (std::vector<std::string>{kChecking, "",
                                                  "Your user name and password are not defined. Ask your database "
                                                  "administrator to set up a Firebird login"}));
    EXPECT_EQ(ErrorBoxes(), std::vector<std::string>{"Usuário ou senha inválidos"});
    ExpectIdle();
}

TEST_F(ConnectionOnServer, ANonDatabaseFileShowsWhatTheRulesMakeOfTheServersText) {
    // The server reads a short file as an I/O error, a longer one as "not a valid database",
    // which no rule knows: that text is shown as the server gave it.
    const fs::path shortFile = server().freshPath("texto");
    std::ofstream(shortFile) << "only a few words, not a database";
    const fs::path longFile = server().freshPath("lixo");
    std::ofstream(longFile) << std::string(65536, 'x');
    server().handToServer(shortFile);
    server().handToServer(longFile);

    Use(shortFile);
    Run(&TFrmPrincipal::ActnTestaConexaoExecute);
    EXPECT_EQ(ErrorBoxes(), std::vector<std::string>{
                                "* Caminho do BD não encontrado!\r* BD totalmente corrompido!\r* Não é um BD válido"});

    port.messageBoxes.clear();
    Use(longFile);
    Run(&TFrmPrincipal::ActnTestaConexaoExecute);
    const auto boxes = ErrorBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].starts_with("file " + longFile.string() + " is not a valid database")) << boxes[0];
    ASSERT_GE(port.log.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(port.log.begin(), port.log.begin() + 2), (std::vector<std::string>{kChecking, ""}));
    EXPECT_EQ(port.log[2], "file " + longFile.string() + " is not a valid database") << "the server's lines, unchanged";
    ExpectIdle();
}

}  // namespace
}  // namespace tovanel::testing
