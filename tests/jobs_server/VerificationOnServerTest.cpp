// "&Verifica" against the private instance, on a healthy and on a damaged database.

#include <set>

#include "ConsoleOnServer.h"
#include "ReadCheck.h"

namespace tovanel::testing {
namespace {

class VerificationOnServer : public ConsoleOnServer {};

TEST_F(VerificationOnServer, AHealthyDatabaseHasNoError) {
    const fs::path db = server().freshPath("saudavel");
    server().createHealthyDatabase(db);
    Use(db);
    port.QueueAnswer(kButtonYes);
    Run(&TFrmPrincipal::ActnVerificarBancoExecute);

    // The validation's empty report, then the read of every table's rows, then the same closing
    // text as a validation alone.
    ASSERT_EQ(port.log.size(), 9u);
    EXPECT_EQ(std::vector<std::string>(port.log.begin(), port.log.begin() + 5),
              (std::vector<std::string>{kStarted, "", kConnected, "",
                                        "Leitura completa do banco (todos os registros e blobs):"}));
    std::set<std::string> read;
    for (std::size_t i = 5; i < 8; ++i) read.insert(TableBeingWritten(port.log[i]).value_or(port.log[i]));
    EXPECT_EQ(read, (std::set<std::string>{"CLIENTES", "PEDIDOS", "PRODUTOS"}));
    EXPECT_EQ(port.log.back(), kNoErrors);
    EXPECT_EQ(port.messageBoxes.size(), 1u) << "no offer to repair";
    EXPECT_FALSE(form->EncontrouErro);
    ExpectIdle();
}

TEST_F(VerificationOnServer, ADamagedDatabaseListsTheServersLinesAndOffersTheRepair) {
    const fs::path db = server().freshPath("danificado");
    server().createDamagedDatabase(db, fbdamage::Kind::Records);
    Use(db);
    port.QueueAnswer(kButtonYes);
    port.QueueAnswer(kButtonNo);
    Run(&TFrmPrincipal::ActnVerificarBancoExecute);

    std::string log;
    for (const std::string& line : port.log) log += line + "|\n";
    SCOPED_TRACE("log:\n" + log);
    // The summary comes with its count lines (the start's status sometimes lacks them; the
    // query's then holds them), then the run's problems after an empty line.
    ASSERT_GE(port.log.size(), 8u);
    EXPECT_EQ(std::vector<std::string>(port.log.begin(), port.log.begin() + 7),
              (std::vector<std::string>{kStarted, "", kConnected, kAttention, kErrorsFound, "",
                                        "Summary of validation errors"}));
    EXPECT_NE(port.log[7].find("Number of "), std::string::npos) << port.log[7];
    for (std::size_t i = 7; i < port.log.size() && !port.log[i].empty(); ++i)
        EXPECT_NE(port.log[i].find("Number of "), std::string::npos) << port.log[i];
    EXPECT_TRUE(form->EncontrouErro);
    ASSERT_EQ(port.messageBoxes.size(), 2u);
    EXPECT_EQ(port.messageBoxes[1].text, kOfferRepair);
    EXPECT_TRUE(port.messageBoxes[1].inputGroupEnabled);
    ExpectIdle();
}

}  // namespace
}  // namespace tovanel::testing
