// "&Repara" against the private instance: the whole repair on damaged databases, with the rows
// recovered compared to what the server's own tools recover from a copy of the same file, and
// the failure paths.

#include <unistd.h>

#include <fstream>

#include "ConsoleOnServer.h"
#include "DatabaseOnServer.h"

namespace tovanel::testing {
namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class RepairOnServer : public ConsoleOnServer {
protected:
    void TearDown() override {
        for (const fs::path& d : directories_) fs::remove_all(d);
        ConsoleOnServer::TearDown();
    }
    // Runs the repair of `source` into `target`, answering Yes and choosing target.
    void Repair(const fs::path& source, const fs::path& target) {
        Use(source);
        port.QueueAnswer(kButtonYes);
        port.QueueSaveDialog(target.string());
        Run(&TFrmPrincipal::ActnReparabancoExecute);
    }
    // A directory of the scratch area that the server's account cannot write into.
    fs::path DirectoryTheServerCannotWrite() {
        const fs::path d = server().scratch() / ("somente-leitura-" + std::to_string(::getpid()));
        fs::create_directory(d);
        fs::permissions(d, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
        directories_.push_back(d);
        return d;
    }
    std::size_t CountLinesContaining(const std::string& piece) const {
        return std::count_if(port.log.begin(), port.log.end(),
                             [&](const std::string& line) { return line.find(piece) != std::string::npos; });
    }
    void ExpectFailedRepairLeftNoTrace(const fs::path& source, ino_t sourceInode) {
        EXPECT_EQ(ErrorBoxes().size(), 1u);
        EXPECT_FALSE(LogHas(kDone));
        EXPECT_FALSE(form->ArquivoBackup.empty());
        EXPECT_FALSE(fs::exists(form->ArquivoBackup)) << "no temporary backup is left";
        EXPECT_EQ(Inode(source), sourceInode) << "the source is neither deleted nor replaced";
        EXPECT_NO_THROW(server().countRows(source));
        ExpectIdle();
    }

private:
    std::vector<fs::path> directories_;
};

class RepairOfDamage : public RepairOnServer, public ::testing::WithParamInterface<fbdamage::Kind> {};

TEST_P(RepairOfDamage, RecoversTheRowsTheServersOwnToolsRecover) {
    const fs::path damaged = server().freshPath(std::string("rep_") + std::string(fbdamage::kindName(GetParam())));
    server().createDamagedDatabase(damaged, GetParam());
    const testserver::ReferenceRepair reference = server().referenceRepair(damaged);
    if (GetParam() != fbdamage::Kind::BTree) {
        EXPECT_NE(reference.counts, testserver::PrivateServer::healthyRowCounts()) << "the damage costs rows";
    }
    const fs::path target = server().freshPath("novo");

    Repair(damaged, target);

    EXPECT_TRUE(ErrorBoxes().empty()) << (ErrorBoxes().empty() ? "" : ErrorBoxes()[0]);
    ASSERT_GE(port.log.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(port.log.begin(), port.log.begin() + 3),
              (std::vector<std::string>{kStarted, "", kConnected}));
    EXPECT_EQ(std::vector<std::string>(port.log.end() - 3, port.log.end()),
              (std::vector<std::string>{"", kAttention, kDone}));
    EXPECT_GE(CountLinesContaining("Summary of validation errors"), 1u) << "the mend's report";
    EXPECT_GE(CountLinesContaining("gbak:"), 10u) << "the backup's and the restore's verbose output";
    EXPECT_EQ(form->ArquivoBackup, (target.parent_path() / (form->ArquivoBdadosSemExtencao + ".GBK")).string());
    EXPECT_FALSE(fs::exists(form->ArquivoBackup)) << "the temporary backup is deleted";
    ASSERT_TRUE(fs::exists(target));
    EXPECT_EQ(server().countRows(target), reference.counts);
    ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(EachKind, RepairOfDamage, ::testing::ValuesIn(fbdamage::allKinds()),
                         [](const auto& info) { return std::string(fbdamage::kindName(info.param)); });

TEST_F(RepairOnServer, AHealthyDatabaseKeepsEveryRow) {
    const fs::path source = server().freshPath("inteiro");
    server().createHealthyDatabase(source);
    const fs::path target = server().freshPath("inteiro_novo");
    Repair(source, target);
    EXPECT_TRUE(LogHas(kDone));
    EXPECT_EQ(server().countRows(target), testserver::PrivateServer::healthyRowCounts());
}

TEST_F(RepairOnServer, KeepsTheBytesOfWin1252Iso8859AndNoneTextOfADamagedDatabase) {
    const fs::path healthy = server().freshPath("latin1_src");
    server().createHealthyDatabase(healthy, {.characterSet = "WIN1252", .pageSize = 4096, .portugueseText = true});
    const auto pedidos = server().selectRows(
        healthy, "select rdb$relation_id as id from rdb$relations where rdb$relation_name = 'PEDIDOS';");
    ASSERT_EQ(pedidos.size(), 1u);
    const fs::path source = server().freshPath("latin1");
    server().copyDatabase(healthy, source);
    fbdamage::DamageOptions damage;
    damage.kind = fbdamage::Kind::Records;
    damage.pages = 2;
    damage.relation = static_cast<std::uint16_t>(std::stoi(pedidos[0].at("ID")));
    fbdamage::damage(source, damage);
    const fs::path target = server().freshPath("latin1_novo");

    Repair(source, target);

    ASSERT_TRUE(LogHas(kDone)) << (ErrorBoxes().empty() ? "" : ErrorBoxes()[0]);
    const auto check = server().checkPortugueseText(target);
    EXPECT_EQ(check.rows, testserver::PrivateServer::healthyRowCounts().at("CLIENTES"));
    EXPECT_TRUE(check.mismatches.empty()) << check.mismatches.size() << " differ, first: " << check.mismatches[0];
    EXPECT_LT(server().countRows(target).at("PEDIDOS"), testserver::PrivateServer::healthyRowCounts().at("PEDIDOS"))
        << "the damage cost rows of PEDIDOS";
}

TEST_F(RepairOnServer, AnExistingBackupNameNextToTheNewFileSurvivesByteForByte) {
    const fs::path source = server().freshPath("vizinho");
    server().createHealthyDatabase(source);
    const fs::path target = server().freshPath("vizinho_novo");
    const fs::path taken = target.parent_path() / (source.stem().string() + ".GBK");
    const std::string bytes = "a backup that belongs to someone else\n";
    std::ofstream(taken, std::ios::binary) << bytes;

    Repair(source, target);
    fs::path freeName = target.parent_path() / (source.stem().string() + "_1.GBK");
    const std::string stillThere = ReadFile(taken);
    fs::remove(taken);

    EXPECT_TRUE(LogHas(kDone));
    EXPECT_EQ(stillThere, bytes);
    EXPECT_EQ(form->ArquivoBackup, freeName.string());
    EXPECT_FALSE(fs::exists(freeName));
    EXPECT_EQ(server().countRows(target), testserver::PrivateServer::healthyRowCounts());
}

TEST_F(RepairOnServer, ABackupTheServerCannotWriteEndsTheRepairWithoutTrace) {
    const fs::path source = server().freshPath("sem_escrita");
    server().createDamagedDatabase(source, fbdamage::Kind::BTree);
    const ino_t inode = Inode(source);
    const fs::path target = DirectoryTheServerCannotWrite() / "novo.fdb";

    Repair(source, target);

    ExpectFailedRepairLeftNoTrace(source, inode);
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(form->ArquivoBackup, (target.parent_path() / (source.stem().string() + ".GBK")).string());
}

TEST_F(RepairOnServer, ARestoreOverAFileHeldOpenEndsTheRepairWithoutTrace) {
    const fs::path source = server().freshPath("ocupado");
    server().createHealthyDatabase(source);
    const ino_t inode = Inode(source);
    const fs::path target = server().freshPath("ocupado_novo");
    server().createHealthyDatabase(target);
    TIBDatabase holder;
    testserver::configureAsConsole(holder, testserver::PrivateServer::remote(target), "SYSDBA", server().password());
    holder.Open();

    Repair(source, target);
    holder.Close();

    ExpectFailedRepairLeftNoTrace(source, inode);
    EXPECT_GE(CountLinesContaining("gbak:"), 1u) << "the backup ran";
}

}  // namespace
}  // namespace tovanel::testing
