#include "RescueRowChecks.h"

#include "AsciiCase.h"

namespace tovanel {
namespace {

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.remove_suffix(1);
    return text;
}

bool HasHighBytes(std::string_view bytes) {
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    return false;
}

std::optional<Doubt> CheckTextBytes(const ColumnShape& column, std::string_view bytes) {
    if (column.charset == TextCharset::Octets) return std::nullopt;
    switch (column.charset) {
    case TextCharset::Utf8:
        if (!IsValidUtf8(bytes)) return Doubt::InvalidInCharset;
        break;
    case TextCharset::Win1252:
        if (HasBytesUndefinedInWin1252(bytes)) return Doubt::InvalidInCharset;
        break;
    case TextCharset::Ascii:
        if (HasHighBytes(bytes)) return Doubt::InvalidInCharset;
        break;
    default: break;
    }
    if (HasControlBytes(bytes)) return Doubt::ControlBytes;
    return std::nullopt;
}

}  // namespace

TextCharset CharsetNamed(std::string_view name) {
    const std::string folded = AsciiUpper(std::string(TrimRight(name)));
    if (folded.empty() || folded == "NONE") return TextCharset::None;
    if (folded == "OCTETS" || folded == "BINARY") return TextCharset::Octets;
    if (folded == "ASCII") return TextCharset::Ascii;
    if (folded == "UTF8" || folded == "UNICODE_FSS") return TextCharset::Utf8;
    if (folded == "WIN1252") return TextCharset::Win1252;
    return TextCharset::Other;
}

std::string_view DoubtText(Doubt doubt) {
    switch (doubt) {
    case Doubt::NamedByValidation: return "registro apontado pela validação";
    case Doubt::SecondReadFailed: return "a segunda leitura falhou";
    case Doubt::SecondReadDiffers: return "a segunda leitura deu outro conteúdo";
    case Doubt::NullInRequired: return "nulo em coluna obrigatória";
    case Doubt::TooLong: return "tamanho maior que o da coluna";
    case Doubt::InvalidInCharset: return "texto inválido no conjunto de caracteres da coluna";
    case Doubt::ControlBytes: return "caracteres de controle no texto";
    case Doubt::NotUtf8InUtf8NoneColumn: return "texto fora de UTF-8 numa coluna NONE com texto UTF-8";
    case Doubt::BlobLengthDiffers: return "blob com tamanho diferente do informado";
    case Doubt::DuplicateKey: return "chave repetida com conteúdo diferente";
    case Doubt::RefusedByNewDatabase: return "recusado pelo novo banco de dados";
    }
    return {};
}

std::string_view DoubtCode(Doubt doubt) {
    switch (doubt) {
    case Doubt::NamedByValidation: return "named_by_validation";
    case Doubt::SecondReadFailed: return "second_read_failed";
    case Doubt::SecondReadDiffers: return "second_read_differs";
    case Doubt::NullInRequired: return "null_in_required_column";
    case Doubt::TooLong: return "longer_than_column";
    case Doubt::InvalidInCharset: return "invalid_in_character_set";
    case Doubt::ControlBytes: return "control_bytes";
    case Doubt::NotUtf8InUtf8NoneColumn: return "not_utf8_in_utf8_none_column";
    case Doubt::BlobLengthDiffers: return "blob_length_differs";
    case Doubt::DuplicateKey: return "duplicate_key";
    case Doubt::RefusedByNewDatabase: return "refused_by_new_database";
    }
    return {};
}

bool IsValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        std::size_t follow = 0;
        std::uint32_t code = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            follow = 1;
            code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            follow = 2;
            code = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            follow = 3;
            code = lead & 0x07;
        } else {
            return false;
        }
        if (i + follow >= bytes.size()) return false;
        for (std::size_t k = 1; k <= follow; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
        if ((follow == 2 && code < 0x800) || (follow == 3 && code < 0x10000) || code > 0x10FFFF ||
            (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += follow + 1;
    }
    return true;
}

bool HasControlBytes(std::string_view bytes) {
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\r') return true;
    }
    return false;
}

bool HasBytesUndefinedInWin1252(std::string_view bytes) {
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) return true;
    }
    return false;
}

std::optional<std::uint64_t> CharacterCount(TextCharset charset, std::string_view bytes) {
    while (!bytes.empty() && bytes.back() == ' ') bytes.remove_suffix(1);
    if (charset == TextCharset::Other) return std::nullopt;
    if (charset != TextCharset::Utf8) return bytes.size();
    std::uint64_t count = 0;
    for (const char c : bytes)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
    return count;
}

std::optional<Doubt> CheckValue(const ColumnShape& column, const std::optional<std::string>& value) {
    if (!value) return column.required ? std::optional(Doubt::NullInRequired) : std::nullopt;
    switch (column.kind) {
    case ColumnKind::Text:
        if (const auto chars = CharacterCount(column.charset, *value); chars && *chars > column.maxChars)
            return Doubt::TooLong;
        return CheckTextBytes(column, *value);
    case ColumnKind::TextBlob: return CheckTextBytes(column, *value);
    case ColumnKind::Blob:
    case ColumnKind::Other: break;
    }
    return std::nullopt;
}

std::optional<Doubt> CheckBlobLength(std::uint64_t statedLength, std::uint64_t deliveredLength) {
    if (statedLength != deliveredLength) return Doubt::BlobLengthDiffers;
    return std::nullopt;
}

void NoneColumnProfile::Add(std::string_view value) {
    if (!HasHighBytes(value)) return;
    if (IsValidUtf8(value))
        ++validMultibyte_;
    else
        ++invalid_;
}

NoneColumnProfile::Verdict NoneColumnProfile::Decide() const {
    if (validMultibyte_ >= kUtf8Evidence && invalid_ * kUtf8InvalidShare <= validMultibyte_) return Verdict::Utf8;
    if (invalid_ > validMultibyte_) return Verdict::SingleByte;
    return Verdict::Undecided;
}

DuplicateKeys::Answer DuplicateKeys::Add(const std::string& key, const std::string& rowBytes,
                                         std::uint64_t recordNumber) {
    const auto [place, inserted] = seen_.try_emplace(key, Earlier{rowBytes, recordNumber});
    if (inserted) return {Seen::First, recordNumber};
    return {place->second.bytes == rowBytes ? Seen::SameBytes : Seen::DifferentBytes, place->second.record};
}

}  // namespace tovanel
