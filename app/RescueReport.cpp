#include "RescueReport.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <numeric>

namespace tovanel {
namespace {

std::string_view CarriedByText(CarriedBy way) {
    switch (way) {
    case CarriedBy::Backup: return "cópia de segurança do servidor";
    case CarriedBy::Pump: return "leitura registro a registro";
    case CarriedBy::NotCarried: return "não transportada";
    }
    return {};
}

std::string_view CarriedByCode(CarriedBy way) {
    switch (way) {
    case CarriedBy::Backup: return "backup";
    case CarriedBy::Pump: return "pump";
    case CarriedBy::NotCarried: return "none";
    }
    return {};
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", seconds);
    return text;
}

void AppendTableLines(const TableRescue& table, std::vector<std::string>& lines) {
    lines.push_back("Tabela " + table.name + " (" + std::string(CarriedByText(table.carriedBy)) + "):");
    lines.push_back("    registros recuperados: " + std::to_string(table.rowsSaved));
    if (table.QuarantinedRows() > 0) {
        lines.push_back("    registros em quarentena: " + std::to_string(table.QuarantinedRows()) + ", na tabela " +
                        table.quarantineTable);
        for (const auto& [doubt, rows] : table.quarantined)
            lines.push_back("        " + std::string(DoubtText(doubt)) + ": " + std::to_string(rows));
    }
    if (table.unreadableRecords > 0)
        lines.push_back("    registros ilegíveis: " + std::to_string(table.unreadableRecords));
    if (table.blobsLost > 0) lines.push_back("    blobs perdidos: " + std::to_string(table.blobsLost));
    if (table.duplicateCopiesDropped > 0)
        lines.push_back("    cópias repetidas descartadas: " + std::to_string(table.duplicateCopiesDropped));
    if (table.carriedBy == CarriedBy::Pump) lines.push_back("    tempo: " + Seconds(table.seconds) + " s");
    for (const std::string& note : table.notes) lines.push_back("    " + note);
}

}  // namespace

std::uint64_t TableRescue::QuarantinedRows() const {
    return std::accumulate(quarantined.begin(), quarantined.end(), std::uint64_t{0},
                           [](std::uint64_t sum, const auto& entry) { return sum + entry.second; });
}

std::vector<std::string> ReportLines(const RescueReport& report) {
    std::vector<std::string> lines;
    lines.push_back("");
    lines.push_back("Resultado do resgate:");
    if (report.schemaFromSystemTables)
        lines.push_back("A cópia de segurança do servidor não pôde ser feita: as definições do novo banco de dados "
                        "foram lidas das tabelas de sistema.");
    for (const TableRescue& table : report.tables) AppendTableLines(table, lines);
    if (!report.notActivated.empty()) {
        lines.push_back("Índices e restrições não ativados:");
        for (const std::string& item : report.notActivated) lines.push_back("    " + item);
    }
    if (!report.notCarriedOver.empty()) {
        lines.push_back("Não transportados para o novo banco de dados:");
        for (const std::string& item : report.notCarriedOver) lines.push_back("    " + item);
    }
    if (report.serverDied) lines.push_back("O servidor Firebird parou durante o resgate.");
    if (report.outcome == RescueOutcome::NewDatabaseMade)
        lines.push_back("Novo banco de dados: " + report.newDatabase);
    else
        lines.push_back("O resgate não foi concluído: " + report.failure);
    lines.push_back("Tempo: " + Seconds(report.seconds) + " s");
    return lines;
}

std::string ReportJson(const RescueReport& report) {
    nlohmann::ordered_json root;
    root["original"] = report.original;
    root["new_database"] = report.newDatabase;
    root["outcome"] = report.outcome == RescueOutcome::NewDatabaseMade ? "new_database_made" : "failed";
    if (report.outcome == RescueOutcome::Failed) root["failure"] = report.failure;
    root["server_died"] = report.serverDied;
    root["schema_from_system_tables"] = report.schemaFromSystemTables;
    root["seconds"] = report.seconds;
    root["tables"] = nlohmann::ordered_json::array();
    for (const TableRescue& table : report.tables) {
        nlohmann::ordered_json entry;
        entry["name"] = table.name;
        entry["carried_by"] = CarriedByCode(table.carriedBy);
        entry["rows_saved"] = table.rowsSaved;
        entry["rows_quarantined"] = table.QuarantinedRows();
        nlohmann::ordered_json reasons = nlohmann::ordered_json::object();
        for (const auto& [doubt, rows] : table.quarantined) reasons[std::string(DoubtCode(doubt))] = rows;
        entry["quarantine_reasons"] = reasons;
        if (!table.quarantineTable.empty()) entry["quarantine_table"] = table.quarantineTable;
        entry["unreadable_records"] = table.unreadableRecords;
        entry["blobs_lost"] = table.blobsLost;
        entry["duplicate_copies_dropped"] = table.duplicateCopiesDropped;
        entry["probes"] = table.probes;
        entry["probe_round_trips"] = table.probeTrips;
        entry["seconds"] = table.seconds;
        entry["notes"] = table.notes;
        root["tables"].push_back(entry);
    }
    root["not_activated"] = report.notActivated;
    root["not_carried_over"] = report.notCarriedOver;
    // Names from a damaged catalogue may hold bytes that are not UTF-8: they are replaced, never thrown on.
    return root.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace tovanel
