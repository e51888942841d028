// The rescue's report: the JSON carries the same figures as the log lines.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>

#include "RescueReport.h"

namespace tovanel {
namespace {

RescueReport Sample() {
    RescueReport report;
    report.original = "/dados/banco.fdb";
    report.newDatabase = "/dados/banco_RESGATE.FDB";
    report.outcome = RescueOutcome::NewDatabaseMade;
    report.seconds = 12.34;
    TableRescue clientes;
    clientes.name = "CLIENTES";
    clientes.carriedBy = CarriedBy::Pump;
    clientes.rowsSaved = 2955;
    clientes.quarantined = {{Doubt::NullInRequired, 1}, {Doubt::BlobLengthDiffers, 2}};
    clientes.quarantineTable = "TVN$Q_CLIENTES";
    clientes.unreadableRecords = 42;
    clientes.blobsLost = 3;
    TableRescue produtos;
    produtos.name = "PRODUTOS";
    produtos.rowsSaved = 800;
    report.tables = {clientes, produtos};
    report.notActivated = {"CLIENTES: PK_CLIENTES"};
    report.notCarriedOver = {"VIEW V_X"};
    return report;
}

bool HasLine(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(RescueReport, JsonHoldsTheFiguresOfTheLog) {
    const RescueReport report = Sample();
    const auto json = nlohmann::json::parse(ReportJson(report));
    const auto lines = ReportLines(report);
    EXPECT_EQ(json["outcome"], "new_database_made");
    ASSERT_EQ(json["tables"].size(), 2u);
    const auto& clientes = json["tables"][0];
    EXPECT_EQ(clientes["name"], "CLIENTES");
    EXPECT_EQ(clientes["carried_by"], "pump");
    EXPECT_EQ(clientes["rows_saved"], 2955);
    EXPECT_EQ(clientes["rows_quarantined"], 3);
    EXPECT_EQ(clientes["quarantine_reasons"]["blob_length_differs"], 2);
    EXPECT_EQ(clientes["quarantine_table"], "TVN$Q_CLIENTES");
    EXPECT_EQ(clientes["unreadable_records"], 42);
    EXPECT_EQ(clientes["blobs_lost"], 3);
    EXPECT_EQ(json["tables"][1]["carried_by"], "backup");
    EXPECT_EQ(json["not_activated"][0], "CLIENTES: PK_CLIENTES");
    EXPECT_DOUBLE_EQ(json["seconds"].get<double>(), 12.34);

    EXPECT_TRUE(HasLine(lines, "Tabela CLIENTES (leitura registro a registro):"));
    EXPECT_TRUE(HasLine(lines, "    registros recuperados: 2955"));
    EXPECT_TRUE(HasLine(lines, "    registros em quarentena: 3, na tabela TVN$Q_CLIENTES"));
    EXPECT_TRUE(HasLine(lines, "        blob com tamanho diferente do informado: 2"));
    EXPECT_TRUE(HasLine(lines, "    registros ilegíveis: 42"));
    EXPECT_TRUE(HasLine(lines, "    blobs perdidos: 3"));
    EXPECT_TRUE(HasLine(lines, "Tabela PRODUTOS (cópia de segurança do servidor):"));
    EXPECT_TRUE(HasLine(lines, "Novo banco de dados: /dados/banco_RESGATE.FDB"));
    EXPECT_TRUE(HasLine(lines, "Tempo: 12.3 s"));
    EXPECT_EQ(json["schema_from_system_tables"], false);
    EXPECT_EQ(json["not_carried_over"][0], "VIEW V_X");
}

TEST(RescueReport, ASchemaReadFromTheSystemTablesIsSaidInBoth) {
    RescueReport report = Sample();
    report.schemaFromSystemTables = true;
    EXPECT_EQ(nlohmann::json::parse(ReportJson(report))["schema_from_system_tables"], true);
    EXPECT_TRUE(HasLine(ReportLines(report), "A cópia de segurança do servidor não pôde ser feita: as definições do novo "
                                             "banco de dados foram lidas das tabelas de sistema."));
    EXPECT_FALSE(HasLine(ReportLines(Sample()), "A cópia de segurança do servidor não pôde ser feita: as definições do "
                                                "novo banco de dados foram lidas das tabelas de sistema."));
}

TEST(RescueReport, FailureAndDeadServerAreSaidPlainly) {
    RescueReport report = Sample();
    report.outcome = RescueOutcome::Failed;
    report.serverDied = true;
    report.failure = "Unable to complete network request";
    const auto json = nlohmann::json::parse(ReportJson(report));
    EXPECT_EQ(json["outcome"], "failed");
    EXPECT_EQ(json["failure"], "Unable to complete network request");
    EXPECT_EQ(json["server_died"], true);
    const auto lines = ReportLines(report);
    EXPECT_TRUE(HasLine(lines, "O servidor Firebird parou durante o resgate."));
    EXPECT_TRUE(HasLine(lines, "O resgate não foi concluído: Unable to complete network request"));
}

TEST(RescueReport, NamesThatAreNotUtf8DoNotBreakTheJson) {
    RescueReport report = Sample();
    report.tables[0].name = "CLI\xe9NTES";
    EXPECT_NO_THROW(nlohmann::json::parse(ReportJson(report)));
}

}  // namespace
}  // namespace tovanel
