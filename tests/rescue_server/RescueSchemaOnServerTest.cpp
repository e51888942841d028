// The rescue of a database whose server backup cannot even start: a system table's index is
// damaged, so the backup stops in the definitions. The rescue builds the new database's schema
// from the system tables instead and pumps every table: the original stays byte for byte, no
// working copy is left, every row is there and genuine, the schema is the original's (columns,
// types, character sets, collations, defaults, NOT NULL, keys, indexes, a generator's value), the
// report names what it could not carry over, and the server survives.

#include "RescueFixture.h"

namespace tovanel::testing {
namespace {

// Values follow from the key; every kind of object the rebuild makes, and some it cannot.
std::string SchemaScript(const fs::path& path, const testserver::PrivateServer& server) {
    std::ostringstream sql;
    sql << "create database 'localhost:" << path.string() << "' user '" << server.user() << "' password '"
        << server.password() << "' page_size 4096 default character set utf8;\n"
        << "create domain d_valor as numeric(12,2) default 0 not null;\n"
        << "create domain d_nome as varchar(60) character set win1252 collate win_ptbr;\n"
        << "create table clientes (id integer not null primary key, nome d_nome not null, valor d_valor,"
           " nota varchar(100) default 'sem nota', criado date default '2020-01-01',"
           " codigo char(8) character set ascii not null, sigla varchar(10) character set iso8859_1 collate pt_br,"
           " peso double precision, ativo boolean default true,"
           " constraint uq_clientes_codigo unique (codigo));\n"
        << "create descending index ix_clientes_nome on clientes (nome);\n"
        << "create table pedidos (id bigint not null, cliente integer not null references clientes (id),"
           " texto blob sub_type 1, quantia smallint, constraint pk_pedidos primary key (id),"
           " constraint ck_pedidos check (id >= 0));\n"
        << "create index ix_pedidos_cliente_quantia on pedidos (cliente, quantia);\n"
        << "create sequence g_pedidos;\n"
        << "set generator g_pedidos to 4321;\n"
        << "create view v_clientes as select id, nome from clientes;\n"
        << "create exception e_pedido 'pedido inválido';\n"
        << "grant select on clientes to public;\n"
        << "commit;\nset term ^;\n"
        << "create procedure p_total returns (n integer) as begin select count(*) from pedidos into :n; suspend; end^\n"
        << "create trigger t_pedidos for pedidos before insert as begin end^\n"
        << "execute block as declare i integer = 0; begin\n"
        << "  while (i < 3000) do begin\n"
        << "    insert into clientes values (:i, 'Cliente ' || :i, :i * 1.25, rpad('nota ' || :i, 80, '.'),"
           " dateadd(:i day to date '2020-01-01'), 'C' || lpad(:i, 7, '0'), 'S' || :i, :i / 8e0, mod(:i, 2) = 0);\n"
        << "    i = i + 1;\n"
        << "  end\n"
        << "  i = 0;\n"
        << "  while (i < 1500) do begin\n"
        << "    insert into pedidos values (:i, mod(:i * 7, 3000), rpad('', 200 + mod(:i, 3) * 100, 'pedido ' || :i || ' '),"
           " mod(:i, 100));\n"
        << "    i = i + 1;\n"
        << "  end\n"
        << "end^\nset term ;^\ncommit;\n";
    return sql.str();
}

const std::map<std::string, std::string>& SchemaGenuineConditions() {
    static const std::map<std::string, std::string> conditions = {
        {"CLIENTES",
         "nome = 'Cliente ' || id and valor = id * 1.25 and nota = rpad('nota ' || id, 80, '.') and "
         "criado = dateadd(id day to date '2020-01-01') and codigo = 'C' || lpad(id, 7, '0') and sigla = 'S' || id "
         "and peso = id / 8e0 and ativo = (mod(id, 2) = 0)"},
        {"PEDIDOS",
         "cliente = mod(id * 7, 3000) and texto = rpad('', 200 + mod(id, 3) * 100, 'pedido ' || id || ' ') and "
         "quantia = mod(id, 100)"},
    };
    return conditions;
}

// The schema as the system tables describe it, without the names the server makes itself.
const std::vector<std::pair<const char*, std::string>>& SchemaQueries() {
    static const std::vector<std::pair<const char*, std::string>> queries = {
        {"columns",
         "select rf.rdb$relation_name tabela, rf.rdb$field_name coluna, rf.rdb$field_position pos,"
         " f.rdb$field_type tipo, f.rdb$field_sub_type sub, f.rdb$field_length len, f.rdb$field_scale escala,"
         " f.rdb$field_precision prec, f.rdb$character_length chars, cs.rdb$character_set_name cset,"
         " coalesce(rf.rdb$null_flag, f.rdb$null_flag, 0) obrigatoria,"
         " iif(rf.rdb$field_source starting with 'RDB$', '', rf.rdb$field_source) dominio,"
         " co.rdb$collation_name colacao,"
         " cast(coalesce(rf.rdb$default_source, f.rdb$default_source) as varchar(200)) padrao"
         " from rdb$relation_fields rf join rdb$fields f on f.rdb$field_name = rf.rdb$field_source"
         " left join rdb$character_sets cs on cs.rdb$character_set_id = f.rdb$character_set_id"
         " left join rdb$collations co on co.rdb$character_set_id = f.rdb$character_set_id"
         "  and co.rdb$collation_id = coalesce(rf.rdb$collation_id, f.rdb$collation_id, 0)"
         " where rf.rdb$relation_name in ('CLIENTES', 'PEDIDOS') order by 1, 3;"},
        {"keys",
         "select rc.rdb$relation_name tabela,"
         " iif(rc.rdb$constraint_name starting with 'INTEG_', '', rc.rdb$constraint_name) nome,"
         " rc.rdb$constraint_type tipo,"
         " s.rdb$field_name coluna from rdb$relation_constraints rc"
         " join rdb$index_segments s on s.rdb$index_name = rc.rdb$index_name"
         " where rc.rdb$constraint_type in ('PRIMARY KEY', 'UNIQUE') and rc.rdb$relation_name in ('CLIENTES', 'PEDIDOS')"
         " order by 1, 2, s.rdb$field_position;"},
        {"indexes",
         "select i.rdb$index_name nome, i.rdb$relation_name tabela, coalesce(i.rdb$unique_flag, 0) unico,"
         " coalesce(i.rdb$index_type, 0) descendente, s.rdb$field_name coluna from rdb$indices i"
         " join rdb$index_segments s on s.rdb$index_name = i.rdb$index_name"
         " where coalesce(i.rdb$system_flag, 0) = 0 and i.rdb$index_name not starting with 'RDB$'"
         " order by 1, s.rdb$field_position;"},
        {"domains",
         "select rdb$field_name nome, rdb$field_type tipo, rdb$field_scale escala, rdb$field_precision prec,"
         " rdb$character_set_id cset, rdb$character_length chars, rdb$null_flag obrigatorio,"
         " cast(rdb$default_source as varchar(200)) padrao, rdb$collation_id colacao from rdb$fields"
         " where rdb$field_name in ('D_VALOR', 'D_NOME') order by 1;"},
        {"generator", "select gen_id(g_pedidos, 0) valor from rdb$database;"},
    };
    return queries;
}

using RescueWithoutBackup = RescueInDirectory;

TEST_F(RescueWithoutBackup, ADamagedSystemIndexGetsTheSchemaFromTheSystemTablesAndEveryGenuineRow) {
    const fs::path original = server().freshPath("indice_sistema");
    const auto made = testserver::runCommand({"isql-fb", "-q", "-b"}, SchemaScript(original, server()));
    ASSERT_TRUE(made.ok()) << made.output;
    std::map<std::string, std::vector<testserver::PrivateServer::Row>> schemaBefore;
    for (const auto& [what, select] : SchemaQueries()) schemaBefore[what] = server().selectRows(original, select);
    fbdamage::DamageOptions damage;
    damage.kind = fbdamage::Kind::SystemBTree;
    ASSERT_FALSE(fbdamage::damage(original, damage).empty());
    const std::string before = FileBytes(original);

    // The fixture's premise: the server's own backup cannot start, not even metadata-only.
    const fs::path copy = server().freshPath("indice_sistema_copia");
    server().copyDatabase(original, copy);
    const auto backup = testserver::runCommand({"gbak", "-b", "-m", "-g", "-ig", "-se", "localhost:service_mgr", "-user",
                                                server().user(), "-password", server().password(), copy.string(),
                                                "/dev/null"});
    ASSERT_FALSE(backup.ok()) << "the damage did not stop the server's backup: " << backup.output;

    const fs::path target = directory / "banco_RESGATE.FDB";
    std::string log;
    const RescueReport report = RunRescue(RequestFor(original, target, server()), [&](const RescueProgress& p) {
        if (!p.line.empty()) log += p.line + "\n";
    });
    for (const auto& line : ReportLines(report)) log += line + "\n";

    EXPECT_EQ(FileBytes(original), before) << "the original is byte for byte as it was";
    EXPECT_TRUE(server().reachable()) << "the server survived";
    ASSERT_EQ(report.outcome, RescueOutcome::NewDatabaseMade) << report.failure << "\n" << log;
    EXPECT_EQ(FilesIn(directory), std::vector<fs::path>{target}) << "no working copy or temporary file is left";
    EXPECT_TRUE(report.schemaFromSystemTables) << log;

    const std::map<std::string, long long> rows = {{"CLIENTES", 3000}, {"PEDIDOS", 1500}};
    for (const auto& [table, condition] : SchemaGenuineConditions()) {
        EXPECT_EQ(Scalar(server(), target, "select count(*) from " + table), rows.at(table)) << table << "\n" << log;
        EXPECT_EQ(Scalar(server(), target, "select count(*) from " + table + " where not (" + condition + ")"), 0)
            << table << ": every row is genuine";
    }
    for (const auto& [what, select] : SchemaQueries())
        EXPECT_EQ(server().selectRows(target, select), schemaBefore[what]) << what << " carried over\n" << log;
    EXPECT_TRUE(report.notActivated.empty()) << log;

    std::string notCarried;
    for (const auto& item : report.notCarriedOver) notCarried += item + "\n";
    for (const char* expected : {"visão V_CLIENTES", "procedimento P_TOTAL", "gatilho T_PEDIDOS", "exceção E_PEDIDO",
                                 "restrição de verificação CK_PEDIDOS (tabela PEDIDOS)", "chave estrangeira",
                                 "permissão (GRANT) sobre CLIENTES para PUBLIC"})
        EXPECT_NE(notCarried.find(expected), std::string::npos) << expected << " is named as not carried\n" << notCarried;
    EXPECT_EQ(notCarried.find("RDB$"), std::string::npos) << "no system object is listed\n" << notCarried;
}

}  // namespace
}  // namespace tovanel::testing
