#include "RescuePump.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "IBBlob.h"
#include "IBSqlError.h"
#include "IBStatement.h"
#include "InsertBatch.h"
#include "RescueSql.h"

namespace tovanel {
namespace {

constexpr unsigned kAttachAttempts = 3;
constexpr auto kAttachPause = std::chrono::milliseconds(300);

ColumnShape ShapeOf(const TColumnInfo& column, bool inPrimaryKey) {
    ColumnShape shape;
    shape.name = column.name;
    shape.required = column.notNull || inPrimaryKey;
    shape.charset = CharsetNamed(column.characterSetName);
    shape.maxChars = static_cast<std::uint32_t>(column.characterLength.value_or(column.length));
    if (column.fieldType == fieldtype::Text || column.fieldType == fieldtype::Varying)
        shape.kind = ColumnKind::Text;
    else if (column.fieldType == fieldtype::Blob)
        shape.kind = column.subType == 1 ? ColumnKind::TextBlob : ColumnKind::Blob;
    return shape;
}

// A VARCHAR's own length word, which the message keeps even when it is larger than the field.
std::size_t DeclaredVaryingLength(const TSqlMessage& row, std::size_t index) {
    const std::string_view raw = row.RawValue(index);
    if (raw.size() < 2) return 0;
    return static_cast<unsigned char>(raw[0]) | static_cast<std::size_t>(static_cast<unsigned char>(raw[1])) << 8;
}

// The values of a row (not its key), with null flags and blob contents: what tells two copies of
// a row apart.
std::string RowBytes(const TSqlMessage& row, std::size_t columns, const std::vector<std::optional<std::string>>& blobs) {
    std::string bytes;
    for (std::size_t c = 0; c < columns; ++c) {
        bytes += row.IsNull(c) ? '\0' : '\1';
        if (row.IsNull(c)) continue;
        if (row.Field(c).type == TSqlType::Blob)
            bytes += blobs[c].value_or(std::string());
        else
            bytes += row.RawValue(c);
        bytes += '\xff';
    }
    return bytes;
}

class TablePump {
public:
    TablePump(SourceLink& source, TIBDatabase& target, const TTableInfo& table, std::uint32_t slots,
              const DamageMap& damage, const std::set<std::string>& tablesTaken, const PumpSettings& settings,
              const PumpProgress& progress)
        : source_(source), target_(target), table_(table), slots_(slots), damage_(damage), settings_(settings),
          progress_(progress), columns_(table.columns.size()), names_(ChooseQuarantineNames(table, tablesTaken)) {
        report_.name = table.name;
        report_.carriedBy = CarriedBy::Pump;
        std::set<std::string> primary;
        if (!table.keys.empty() && table.keys.front().primary)
            primary.insert(table.keys.front().columns.begin(), table.keys.front().columns.end());
        for (std::size_t c = 0; c < columns_; ++c) {
            shapes_.push_back(ShapeOf(table.columns[c], primary.count(table.columns[c].name) > 0));
            if (primary.count(table.columns[c].name) > 0) keyColumns_.push_back(c);
        }
        profiles_.resize(columns_);
    }

    TableRescue Run() {
        const auto started = std::chrono::steady_clock::now();
        PrepareTarget();
        const std::uint64_t next = ScanNaturally();
        if (scanFailed_) ProbeFrom(next);
        FlushBatch();
        SettleDoubtfulText();
        MoveConflictingKeys();
        FinishTarget();
        report_.probes = probes_;
        report_.probeTrips = probeTrips_;
        report_.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        return report_;
    }

private:
    // ---- target ------------------------------------------------------------------------------

    void PrepareTarget() {
        {
            TIBTransaction ddl(target_, TTransactionOptions::WriteTarget());
            TIBStatement create(ddl, CreateQuarantineSql(table_, names_));
            create.Execute();
            ddl.Commit();
        }
        write_.emplace(target_, TTransactionOptions::WriteTarget());
        std::vector<std::string> columns;
        for (const TColumnInfo& column : table_.columns) columns.push_back(column.name);
        batch_.emplace(*write_, table_.name, columns, BatchRowsFor(table_, settings_.batchRows));
        // A row the new database refuses goes to the quarantine; the others of its batch go in.
        batch_->RetryRefusedRows(
            [this](std::size_t row, const TSqlMessage& values, std::size_t first, const EIBSqlError& refusal) {
                Quarantine(values, first, batchBlobs_[row], batchRecords_[row], Doubt::RefusedByNewDatabase,
                           refusal.what());
            },
            [this](std::size_t row, TSqlMessage& values, std::size_t first) { RewriteBlobs(values, first, row); });
        quarantine_.emplace(*write_, InsertQuarantineSql(table_, names_));
    }

    void FinishTarget() {
        quarantine_.reset();
        batch_.reset();
        write_->Commit();
        write_.reset();
        if (report_.QuarantinedRows() == 0) {
            TIBTransaction ddl(target_, TTransactionOptions::WriteTarget());
            TIBStatement drop(ddl, "drop table " + QuoteIdentifier(names_.table));
            drop.Execute();
            ddl.Commit();
        } else {
            report_.quarantineTable = names_.table;
        }
    }

    std::optional<ISC_QUAD> WriteBlobBytes(const std::optional<std::string>& bytes) {
        if (!bytes) return std::nullopt;
        return WriteBlob(*write_, *bytes, settings_.blobLimit);
    }

    // The row's values (its key not among them) into the batch; the batch goes once it is full.
    void Append(const TSqlMessage& row, std::uint64_t record) {
        batchRecords_.push_back(record);
        batchBlobs_.push_back(blobs_);
        batch_->Add(row, [&](std::size_t column, const ISC_QUAD&) { return WriteBlobBytes(blobs_[column]); });
        if (batch_->Pending() == 0) BatchSent();
    }

    void FlushBatch() {
        if (batch_->Pending() == 0) return;
        batch_->Flush();
        BatchSent();
    }

    void BatchSent() {
        report_.rowsSaved += batch_->RowsWritten() - rowsWritten_;
        rowsSinceCommit_ += batch_->RowsWritten() - rowsWritten_;
        rowsWritten_ = batch_->RowsWritten();
        batchRecords_.clear();
        batchBlobs_.clear();
        if (rowsSinceCommit_ >= settings_.rowsPerCommit) {
            write_->CommitRetaining();
            rowsSinceCommit_ = 0;
        }
        if (progress_) progress_(report_);
    }

    // Blob ids written for a statement that failed may be gone with it.
    void RewriteBlobs(TSqlMessage& params, std::size_t first, std::size_t row) {
        for (std::size_t c = 0; c < columns_; ++c) {
            const std::size_t index = first + c;
            if (params.Field(index).type != TSqlType::Blob) continue;
            if (const auto id = WriteBlobBytes(batchBlobs_[row][c]))
                params.SetBlobId(index, *id);
            else
                params.SetNull(index);
        }
    }

    void Quarantine(const TSqlMessage& values, std::size_t first, const std::vector<std::optional<std::string>>& blobs,
                    std::uint64_t record, Doubt doubt, const std::string& detail = {}) {
        TSqlMessage& params = quarantine_->Params();
        params.Clear();
        std::size_t j = 0;
        for (std::size_t c = 0; c < columns_; ++c, ++j) {
            if (values.Field(first + c).type == TSqlType::Blob) {
                if (const auto id = WriteBlobBytes(values.IsNull(first + c) ? std::nullopt : blobs[c]))
                    params.SetBlobId(j, *id);
            } else {
                CopyValue(values, first + c, params, j);
            }
        }
        params.SetInt64(j++, static_cast<std::int64_t>(record));
        std::string reason(DoubtText(doubt));
        if (!detail.empty()) reason += ": " + detail;
        params.SetText(j, reason.substr(0, 250));
        try {
            quarantine_->Execute();
            ++report_.quarantined[doubt];
        } catch (const EIBSqlError& refusal) {
            ++report_.unreadableRecords;
            NoteOnce("registro " + std::to_string(record) + " não coube na quarentena: " + refusal.what());
        }
    }

    void NoteOnce(const std::string& note) {
        if (std::find(report_.notes.begin(), report_.notes.end(), note) == report_.notes.end())
            report_.notes.push_back(note);
    }

    // ---- source ------------------------------------------------------------------------------

    void DropSourceStatements() noexcept {
        probe_.reset();
        probeRun_.reset();
        probeAgain_.reset();
    }

    void ReconnectSource() {
        DropSourceStatements();
        source_.Reconnect();
        sourceDead_ = false;
    }

    std::uint64_t ScanNaturally() {
        std::uint64_t next = 0;
        bool dead = false;
        try {
            TIBStatement scan(source_.Transaction(), NaturalScanSql(table_));
            scan.Execute();
            while (scan.Fetch()) {
                const std::uint64_t record = scan.Columns().GetDbKey(columns_)->RecordNumber();
                HandleRow(scan.Columns(), record, std::nullopt);
                next = record + 1;
                if (sourceDead_) break;
            }
            if (!sourceDead_) return next;
            scanFailed_ = true;
        } catch (const EIBSqlError& failure) {
            scanFailed_ = true;
            dead = !failure.AttachmentUsable();
        }
        if (dead || sourceDead_) ReconnectSource();
        return next;
    }

    TIBStatement& Probe() {
        if (!probe_) probe_.emplace(source_.Transaction(), ProbeSql(table_));
        return *probe_;
    }

    // True for a row (in the probe's columns), false for an empty slot; raises the failure.
    bool FetchByKey(std::uint64_t record) {
        TIBStatement& probe = Probe();
        probe.Params().SetDbKey(0, KeyOf(record));
        probe.Execute();
        const bool found = probe.Fetch();
        probe.CloseCursor();
        return found;
    }

    TDbKey KeyOf(std::uint64_t record) const {
        return TDbKey::For(static_cast<std::uint16_t>(table_.relationId), static_cast<std::uint32_t>(record));
    }

    // A row probed by key: on a page where a read failed, or named by the validation, it is read
    // a second time.
    void HandleFound(const TSqlMessage& row, std::uint64_t record) {
        if (record / slots_ == damagedPage_ || damage_.RecordNamed(table_.name, record))
            HandleProbedRow(row, record);
        else
            HandleRow(row, record, std::nullopt);
    }

    ProbeResult ProbeOne(std::uint64_t record) {
        for (unsigned attempt = 0; attempt <= settings_.retries; ++attempt) {
            try {
                ++probeTrips_;
                if (!FetchByKey(record)) return ProbeResult::Empty;
                HandleFound(probe_->Columns(), record);
                if (sourceDead_) ReconnectSource();
                return ProbeResult::Found;
            } catch (const EIBSqlError& failure) {
                if (failure.AttachmentUsable()) break;
                ReconnectSource();
            }
        }
        ++report_.unreadableRecords;
        damagedPage_ = record / slots_;
        return ProbeResult::Unreadable;
    }

    // A row on a page where a read failed (or one the validation named) is read a second time; a
    // failure or other bytes put it in doubt. Rows of pages that read cleanly are not: on them a
    // second read costs a round trip and, measured, returns the same bytes.
    void HandleProbedRow(const TSqlMessage& row, std::uint64_t record) {
        const std::string_view first = row.Buffer();
        std::optional<Doubt> doubt;
        try {
            if (!probeAgain_) probeAgain_.emplace(source_.Transaction(), ProbeSql(table_));
            TIBStatement& again = *probeAgain_;
            again.Params().SetDbKey(0, KeyOf(record));
            again.Execute();
            if (!again.Fetch())
                doubt = Doubt::SecondReadFailed;
            else if (again.Columns().Buffer() != first)
                doubt = Doubt::SecondReadDiffers;
            again.CloseCursor();
        } catch (const EIBSqlError& failure) {
            doubt = Doubt::SecondReadFailed;
            if (!failure.AttachmentUsable()) sourceDead_ = true;
        }
        HandleRow(row, record, doubt);
    }

    void ProbeFrom(std::uint64_t next) {
        damagedPage_ = next / slots_;
        RecordProber prober(slots_, next, settings_.limits);
        while (prober.Next()) {
            const std::vector<std::uint64_t> run = prober.NextRun(settings_.keysPerProbe);
            const std::vector<ProbeResult> results = ProbeRun(run);
            for (std::size_t i = 0; i < run.size() && prober.Next() == run[i]; ++i) prober.Record(results[i]);
        }
    }

    // The records of one run (consecutive, one page) fetched in one round trip. A page where a
    // read failed is probed one key at a time, as is every key of a run whose fetch failed that
    // it had not yet delivered: a failing record costs only itself.
    std::vector<ProbeResult> ProbeRun(const std::vector<std::uint64_t>& run) {
        probes_ += run.size();
        std::vector<ProbeResult> results(run.size(), ProbeResult::Empty);
        std::vector<bool> delivered(run.size(), false);
        if (run.size() > 1 && run.front() / slots_ != damagedPage_) {
            try {
                if (FetchRun(run, results, delivered)) return results;
            } catch (const EIBSqlError& failure) {
                if (!failure.AttachmentUsable()) sourceDead_ = true;
            }
            if (sourceDead_) ReconnectSource();
        }
        for (std::size_t i = 0; i < run.size(); ++i)
            if (!delivered[i]) results[i] = ProbeOne(run[i]);
        return results;
    }

    // False when a row's blobs left the attachment unusable before the run's end; raises the
    // fetch's failure. The rows delivered before either are handled and marked.
    bool FetchRun(const std::vector<std::uint64_t>& run, std::vector<ProbeResult>& results,
                  std::vector<bool>& delivered) {
        if (!probeRun_) probeRun_.emplace(source_.Transaction(), ProbeSql(table_, settings_.keysPerProbe));
        TIBStatement& probe = *probeRun_;
        // A short run asks its last key again: the server gives it once.
        for (std::size_t k = 0; k < settings_.keysPerProbe; ++k)
            probe.Params().SetDbKey(k, KeyOf(run[std::min(k, run.size() - 1)]));
        ++probeTrips_;
        probe.Execute();
        while (probe.Fetch()) {
            const std::uint64_t record = probe.Columns().GetDbKey(columns_)->RecordNumber();
            if (record < run.front() || record > run.back() || delivered[record - run.front()]) continue;
            delivered[record - run.front()] = true;
            results[record - run.front()] = ProbeResult::Found;
            HandleFound(probe.Columns(), record);
            if (sourceDead_) return false;
        }
        probe.CloseCursor();
        std::fill(delivered.begin(), delivered.end(), true);
        return true;
    }

    // Each blob on its own: one that cannot be read becomes NULL and is counted.
    std::optional<Doubt> ReadBlobs(const TSqlMessage& row) {
        std::optional<Doubt> doubt;
        blobs_.assign(columns_, std::nullopt);
        for (std::size_t c = 0; c < columns_; ++c) {
            if (row.Field(c).type != TSqlType::Blob || row.IsNull(c)) continue;
            if (sourceDead_) {
                ++report_.blobsLost;
                continue;
            }
            try {
                TBlobContents contents = ReadBlob(source_.Transaction(), *row.GetBlobId(c), settings_.blobLimit);
                if (contents.LengthMismatch()) doubt = doubt ? doubt : Doubt::BlobLengthDiffers;
                if (!doubt && shapes_[c].kind == ColumnKind::TextBlob) doubt = CheckValue(shapes_[c], contents.bytes);
                blobs_[c] = std::move(contents.bytes);
            } catch (const EIBSqlError& failure) {
                ++report_.blobsLost;
                if (!failure.AttachmentUsable()) sourceDead_ = true;
            } catch (const EIBBlobLimitError&) {
                ++report_.blobsLost;
                NoteOnce("blobs maiores que " + std::to_string(settings_.blobLimit >> 20) + " MB não foram copiados");
            }
        }
        return doubt;
    }

    std::optional<Doubt> CheckColumns(const TSqlMessage& row, bool& doubtfulNoneText) {
        for (std::size_t c = 0; c < columns_; ++c) {
            const ColumnShape& shape = shapes_[c];
            if (shape.kind != ColumnKind::Text) {
                if (row.IsNull(c) && shape.required) return Doubt::NullInRequired;
                continue;
            }
            const std::optional<std::string> text = row.GetText(c);
            if (text && row.Field(c).type == TSqlType::Varying &&
                DeclaredVaryingLength(row, c) > static_cast<std::size_t>(row.Field(c).length))
                return Doubt::TooLong;
            if (const auto doubt = CheckValue(shape, text)) return doubt;
            if (text && shape.charset == TextCharset::None) {
                profiles_[c].Add(*text);
                if (!IsValidUtf8(*text)) doubtfulNoneText = true;
            }
        }
        return std::nullopt;
    }

    // Invalid UTF-8 in a NONE column: a doubt only where the column holds UTF-8.
    enum class NoneText { Fine, Doubtful, Undecided };
    NoneText JudgeNoneText(const TSqlMessage& row, bool settle) {
        NoneText judgement = NoneText::Fine;
        for (std::size_t c = 0; c < columns_; ++c) {
            if (shapes_[c].kind != ColumnKind::Text || shapes_[c].charset != TextCharset::None) continue;
            const auto text = row.GetText(c);
            if (!text || IsValidUtf8(*text)) continue;
            switch (profiles_[c].Decide()) {
            case NoneColumnProfile::Verdict::Utf8: return NoneText::Doubtful;
            case NoneColumnProfile::Verdict::SingleByte: break;
            case NoneColumnProfile::Verdict::Undecided:
                if (!settle) judgement = NoneText::Undecided;
                break;
            }
        }
        return judgement;
    }

    void HandleRow(const TSqlMessage& row, std::uint64_t record, std::optional<Doubt> doubt, bool settling = false) {
        if (!doubt && damage_.RecordNamed(table_.name, record)) doubt = Doubt::NamedByValidation;
        bool doubtfulNoneText = false;
        if (const auto found = CheckColumns(row, doubtfulNoneText); !doubt) doubt = found;
        if (const auto found = ReadBlobs(row); !doubt) doubt = found;
        if (!doubt && doubtfulNoneText) {
            switch (JudgeNoneText(row, settling)) {
            case NoneText::Doubtful: doubt = Doubt::NotUtf8InUtf8NoneColumn; break;
            case NoneText::Undecided:
                undecided_.push_back(record);
                return;
            case NoneText::Fine: break;
            }
        }
        if (!doubt && !keyColumns_.empty()) {
            std::string key;
            for (const std::size_t c : keyColumns_) key += std::string(row.RawValue(c)) + '\xff';
            const auto seen = duplicates_.Add(key, RowBytes(row, columns_, blobs_), record);
            if (seen.seen == DuplicateKeys::Seen::SameBytes) {
                ++report_.duplicateCopiesDropped;
                return;
            }
            if (seen.seen == DuplicateKeys::Seen::DifferentBytes) {
                doubt = Doubt::DuplicateKey;
                conflicts_.insert(seen.earlierRecord);
            }
        }
        if (doubt)
            Quarantine(row, 0, blobs_, record, *doubt);
        else
            Append(row, record);
    }

    // Rows held back until their NONE columns showed what they hold.
    void SettleDoubtfulText() {
        const std::vector<std::uint64_t> records = std::move(undecided_);
        undecided_.clear();
        for (const std::uint64_t record : records) {
            try {
                if (FetchByKey(record)) HandleRow(probe_->Columns(), record, std::nullopt, true);
                if (sourceDead_) ReconnectSource();
            } catch (const EIBSqlError& failure) {
                ++report_.unreadableRecords;
                if (!failure.AttachmentUsable()) ReconnectSource();
            }
        }
        FlushBatch();
        for (std::size_t c = 0; c < columns_; ++c)
            if (shapes_[c].kind == ColumnKind::Text && shapes_[c].charset == TextCharset::None &&
                profiles_[c].Decide() == NoneColumnProfile::Verdict::SingleByte)
                NoteOnce("coluna " + shapes_[c].name + " (NONE) guarda texto de um byte: o teste de UTF-8 não se aplica");
    }

    // A key met with different bytes: the row saved first under it joins the later one in the
    // quarantine.
    void MoveConflictingKeys() {
        if (conflicts_.empty()) return;
        std::string where;
        for (const std::size_t c : keyColumns_)
            where += (where.empty() ? "" : " and ") + QuoteIdentifier(table_.columns[c].name) + " = ?";
        TIBStatement remove(*write_, "delete from " + QuoteIdentifier(table_.name) + " where " + where +
                                         " returning 1");
        for (const std::uint64_t record : conflicts_) {
            try {
                if (!FetchByKey(record)) continue;
                const TSqlMessage& row = probe_->Columns();
                for (std::size_t k = 0; k < keyColumns_.size(); ++k) CopyValue(row, keyColumns_[k], remove.Params(), k);
                remove.Execute();
                if (remove.Columns().IsNull(0)) continue;  // it was not in the table
                --report_.rowsSaved;
                ReadBlobs(row);
                Quarantine(row, 0, blobs_, record, Doubt::DuplicateKey);
            } catch (const EIBSqlError& failure) {
                NoteOnce(std::string("uma chave repetida ficou na tabela: ") + failure.what());
                if (!failure.AttachmentUsable()) ReconnectSource();
            }
        }
    }

    SourceLink& source_;
    TIBDatabase& target_;
    const TTableInfo& table_;
    std::uint32_t slots_;
    const DamageMap& damage_;
    const PumpSettings& settings_;
    const PumpProgress& progress_;
    std::size_t columns_;
    QuarantineNames names_;
    TableRescue report_;

    std::vector<ColumnShape> shapes_;
    std::vector<std::size_t> keyColumns_;
    std::vector<NoneColumnProfile> profiles_;
    DuplicateKeys duplicates_;
    std::set<std::uint64_t> conflicts_;
    std::vector<std::uint64_t> undecided_;

    std::optional<TIBStatement> probe_;
    std::optional<TIBStatement> probeAgain_;
    std::optional<TIBStatement> probeRun_;
    bool scanFailed_ = false;
    std::uint64_t damagedPage_ = 0;  // the last page sequence where a read failed
    bool sourceDead_ = false;
    std::uint64_t probes_ = 0;
    std::uint64_t probeTrips_ = 0;
    std::vector<std::optional<std::string>> blobs_;

    std::optional<TIBTransaction> write_;
    std::optional<TInsertBatch> batch_;
    std::optional<TIBStatement> quarantine_;
    std::uint64_t rowsWritten_ = 0;
    std::vector<std::uint64_t> batchRecords_;
    std::vector<std::vector<std::optional<std::string>>> batchBlobs_;
    std::uint64_t rowsSinceCommit_ = 0;
};

}  // namespace

void OpenDatabase(TIBDatabase& database, const std::string& path, const ServerLogin& login) {
    database.SetLoginPrompt(false);
    database.SetDatabaseName("localhost:" + path);
    database.Params().SetValue("user_name", login.user);
    database.Params().SetValue("password", login.password);
    database.SetConnected(true);
}

SourceLink::SourceLink(std::string path, ServerLogin login) : path_(std::move(path)), login_(std::move(login)) {
    Open();
}

void SourceLink::Open() {
    database_ = std::make_unique<TIBDatabase>();
    OpenDatabase(*database_, path_, login_);
    transaction_.emplace(*database_, TTransactionOptions::ReadDamagedSource());
}

void SourceLink::Reconnect() {
    transaction_.reset();
    if (database_) {
        try {
            database_->ForceClose();
        } catch (...) {
            // The attachment is gone whatever the server answers.
        }
    }
    ++reconnects_;
    for (unsigned attempt = 1;; ++attempt) {
        try {
            Open();
            return;
        } catch (const EIBError& failure) {
            if (attempt == kAttachAttempts)
                throw ERescueServerGone("O servidor Firebird não responde mais: " + std::string(failure.what()));
            std::this_thread::sleep_for(kAttachPause);
        }
    }
}

TableRescue PumpTable(SourceLink& source, TIBDatabase& target, const TTableInfo& table, std::uint32_t slotsPerPage,
                      const DamageMap& damage, const std::set<std::string>& tablesTaken, const PumpSettings& settings,
                      const PumpProgress& progress) {
    return TablePump(source, target, table, slotsPerPage, damage, tablesTaken, settings, progress).Run();
}

}  // namespace tovanel
