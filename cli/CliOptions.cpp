#include "CliOptions.h"

#include "TextTrim.h"

#include <filesystem>
#include <fstream>
#include <map>

namespace tovanel::cli {

namespace {

const std::map<std::string, Command>& CommandNames() {
    static const std::map<std::string, Command> names{
        {"test", Command::Test},
        {"verify", Command::Verify},
        {"repair", Command::Repair},
        {"status", Command::Status},
        {"rescue", Command::Rescue},
    };
    return names;
}

enum class Option { User, PasswordFile, Password, Output, Yes, NoRepair, Report, Quick, Help, Version };

struct OptionEntry {
    Option option;
    bool takesValue;
};

// Long and short spellings of every option.
const std::map<std::string, OptionEntry>& OptionNames() {
    static const std::map<std::string, OptionEntry> names{
        {"--user", {Option::User, true}},
        {"-u", {Option::User, true}},
        {"--password-file", {Option::PasswordFile, true}},
        {"--password", {Option::Password, true}},
        {"-p", {Option::Password, true}},
        {"--output", {Option::Output, true}},
        {"-o", {Option::Output, true}},
        {"--yes", {Option::Yes, false}},
        {"-y", {Option::Yes, false}},
        {"--no-repair", {Option::NoRepair, false}},
        {"--report", {Option::Report, true}},
        {"--quick", {Option::Quick, false}},
        {"--help", {Option::Help, false}},
        {"-h", {Option::Help, false}},
        {"--version", {Option::Version, false}},
    };
    return names;
}

ParsedCommandLine UsageError(std::string error) {
    ParsedCommandLine parsed;
    parsed.kind = ParsedCommandLine::Kind::UsageError;
    parsed.error = std::move(error);
    return parsed;
}

// Walks the arguments once; the first problem found ends the walk.
class Parser {
public:
    explicit Parser(std::span<const std::string> args) : args_(args) {}

    ParsedCommandLine Run() {
        for (index_ = 0; index_ < args_.size(); ++index_) {
            const std::string& arg = args_[index_];
            if (!optionsEnded_ && arg == "--") {
                optionsEnded_ = true;
            } else if (!optionsEnded_ && arg.size() > 1 && arg[0] == '-') {
                if (!TakeOption(arg)) return UsageError(error_);
            } else {
                positionals_.push_back(arg);
            }
        }
        // Help and version win over everything else on the line, as usual for a command.
        if (help_) return Result(ParsedCommandLine::Kind::Help);
        if (version_) return Result(ParsedCommandLine::Kind::Version);
        return CheckPositionals();
    }

private:
    bool TakeOption(const std::string& arg) {
        std::string name = arg;
        std::optional<std::string> inlineValue;
        if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
            name = arg.substr(0, eq);
            inlineValue = arg.substr(eq + 1);
        }
        const auto found = OptionNames().find(name);
        if (found == OptionNames().end()) return Fail("opção desconhecida: " + name);
        const OptionEntry entry = found->second;
        std::string value;
        if (entry.takesValue) {
            if (inlineValue) {
                value = *inlineValue;
            } else if (index_ + 1 < args_.size()) {
                value = args_[++index_];
            } else {
                return Fail("a opção " + name + " precisa de um valor");
            }
        } else if (inlineValue) {
            return Fail("a opção " + name + " não aceita valor");
        }
        return Apply(entry.option, name, value);
    }

    bool Apply(Option option, const std::string& name, const std::string& value) {
        CliOptions& o = options_;
        switch (option) {
            case Option::User: return Once(o.user, name, value);
            case Option::PasswordFile: return Once(o.passwordFile, name, value);
            case Option::Password: return Once(o.password, name, value);
            case Option::Output: return Once(o.output, name, value);
            case Option::Yes: o.yes = true; return true;
            case Option::NoRepair: o.noRepair = true; return true;
            case Option::Report: return Once(o.report, name, value);
            case Option::Quick: o.quick = true; return true;
            case Option::Help: help_ = true; return true;
            case Option::Version: version_ = true; return true;
        }
        return true;
    }

    bool Once(std::optional<std::string>& slot, const std::string& name, const std::string& value) {
        if (slot) return Fail("a opção " + name + " foi dada mais de uma vez");
        slot = value;
        return true;
    }

    ParsedCommandLine CheckPositionals() {
        if (positionals_.empty()) return UsageError("falta o comando (test, verify, repair ou status)");
        const auto command = CommandNames().find(positionals_[0]);
        if (command == CommandNames().end()) return UsageError("comando desconhecido: " + positionals_[0]);
        options_.command = command->second;
        if (positionals_.size() > 2) return UsageError("argumento a mais: " + positionals_[2]);
        if (positionals_.size() == 2) options_.database = positionals_[1];

        if (options_.command == Command::Status && positionals_.size() == 2)
            return UsageError("o comando status não recebe banco de dados");
        const bool makesNewDatabase = options_.command == Command::Repair ||
                                      options_.command == Command::Verify || options_.command == Command::Rescue;
        if (options_.output && !makesNewDatabase)
            return UsageError("--output vale só para repair, verify e rescue");
        if (options_.report && options_.command != Command::Rescue && options_.command != Command::Verify)
            return UsageError("--report vale só para verify e rescue");
        if (options_.quick && options_.command != Command::Verify)
            return UsageError("--quick vale só para verify");
        if (options_.noRepair && options_.command != Command::Verify)
            return UsageError("--no-repair vale só para verify");
        if (options_.password && options_.passwordFile)
            return UsageError("use --password-file ou --password, não os dois");
        return Result(ParsedCommandLine::Kind::Run);
    }

    ParsedCommandLine Result(ParsedCommandLine::Kind kind) {
        ParsedCommandLine parsed;
        parsed.kind = kind;
        parsed.options = options_;
        return parsed;
    }

    bool Fail(std::string error) {
        error_ = std::move(error);
        return false;
    }

    std::span<const std::string> args_;
    std::size_t index_ = 0;
    bool optionsEnded_ = false;
    bool help_ = false;
    bool version_ = false;
    std::vector<std::string> positionals_;
    CliOptions options_;
    std::string error_;
};

std::optional<std::string> NonEmpty(const EnvLookup& env, const std::string& name) {
    auto value = env(name);
    if (value && value->empty()) return std::nullopt;
    return value;
}

}  // namespace

ParsedCommandLine ParseCommandLine(std::span<const std::string> args) {
    return Parser(args).Run();
}

std::string PathInDirectory(const std::string& path, const std::string& directory) {
    if (path.empty() || path.front() == '/' || directory.empty()) return path;
    if (directory.back() == '/') return directory + path;
    return directory + "/" + path;
}

std::string DatabasePathFromCurrentDirectory(const std::string& path, const std::string& workingDirectory) {
    return IsBlankAfterTrim(path) ? path : PathInDirectory(path, workingDirectory);
}

std::string UsageText() {
    return "Uso: tovanel-cli test|verify|repair|rescue|status [opções] [BANCO]\n"
           "\n"
           "Os trabalhos da janela do Tovanel, sem janela, pelo servidor Firebird local.\n"
           "BANCO é o caminho do arquivo; um caminho relativo parte da pasta atual.\n"
           "\n"
           "Comandos:\n"
           "  test     testa a conexão com o banco\n"
           "  verify   valida o banco, lê todos os registros e blobs e lista os erros; havendo\n"
           "           erros, oferece a reparação (ou o resgate, se uma tabela não pode ser lida)\n"
           "  repair   varre e corrige o banco, faz o backup e o restaura num banco novo\n"
           "  rescue   copia o banco e recupera, tabela por tabela, todo registro que o servidor\n"
           "           ainda lê, num banco novo; o arquivo original não é alterado\n"
           "  status   diz se um servidor Firebird está rodando nesta máquina\n"
           "\n"
           "Opções:\n"
           "  -u, --user USUARIO        usuário do banco (senão ISC_USER, senão SYSDBA)\n"
           "      --password-file ARQ   lê a senha da primeira linha de ARQ (senão ISC_PASSWORD,\n"
           "                            senão a senha padrão da janela)\n"
           "  -p, --password SENHA      senha na linha de comando: fica visível na lista de\n"
           "                            processos; prefira --password-file ou ISC_PASSWORD\n"
           "  -o, --output NOVO         o banco novo da reparação (padrão: o nome que a janela\n"
           "                            propõe, na pasta do banco de origem)\n"
           "      --report ARQ          verify, rescue: grava o relatório em ARQ (JSON)\n"
           "      --quick               verify: só a validação, sem ler todos os registros e blobs\n"
           "  -y, --yes                 responde Sim a toda confirmação e à oferta de reparar\n"
           "      --no-repair           verify: responde Não à oferta de reparar, sem perguntar\n"
           "                            (com --yes, verifica sem nunca corrigir o banco)\n"
           "  -h, --help                mostra esta ajuda\n"
           "      --version             mostra a versão\n"
           "\n"
           "Sem --yes, cada pergunta espera a resposta no terminal (Não por padrão); sem\n"
           "terminal e sem --yes, o comando para em vez de esperar.\n"
           "\n"
           "Saída: as linhas do servidor na saída padrão; as mensagens na saída de erro.\n"
           "Código de saída: 0 sucesso (verify: nenhum erro encontrado; rescue: o banco novo\n"
           "foi criado, mesmo com registros perdidos); 1 verify encontrou\n"
           "erros e nenhuma reparação rodou; 2 falha, uso errado, ou pergunta respondida\n"
           "com Não.\n";
}

Credentials ResolveCredentials(const CliOptions& options, const EnvLookup& env) {
    Credentials credentials;
    credentials.user = options.user ? options.user : NonEmpty(env, "ISC_USER");
    if (options.passwordFile) {
        credentials.password = ReadPasswordFile(*options.passwordFile);
    } else if (options.password) {
        credentials.password = options.password;
        credentials.warnings.push_back(
            "aviso: a senha dada na linha de comando fica visível na lista de processos; "
            "prefira --password-file ou ISC_PASSWORD");
    } else {
        credentials.password = NonEmpty(env, "ISC_PASSWORD");
    }
    return credentials;
}

std::string ReadPasswordFile(const std::string& path) {
    std::error_code ignored;
    std::ifstream in(path, std::ios::binary);
    if (!in || std::filesystem::is_directory(path, ignored)) throw CredentialError("não foi possível ler o arquivo de senha: " + path);
    std::string line;
    std::getline(in, line);
    if (in.bad()) throw CredentialError("não foi possível ler o arquivo de senha: " + path);
    if (!line.empty() && line.back() == '\r') line.pop_back();  // a file written on Windows
    return line;
}

}  // namespace tovanel::cli
