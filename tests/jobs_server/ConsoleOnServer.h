#pragma once
// The main window's logic over the fake UI port, talking to the private instance through the
// real client library.

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "FakeUiPort.h"
#include "PrivateServer.h"
#include "UFrmPrincipal.h"

namespace tovanel::testing {

namespace fs = std::filesystem;

inline const std::string kStarted = "Aguarde... Processo iniciado.";
inline const std::string kChecking = "Aguarde... Verificando conexão";
inline const std::string kConnected = "Banco de dados conectado com sucesso!";
inline const std::string kAttention = "A T E N Ç Ã O!!!!!";
inline const std::string kDone = "Processo concluido!";
inline const std::string kNoErrors = "Nenhum erro foi encontrado!";
inline const std::string kErrorsFound = "Os seguintes erros foram encontrados:";
inline const std::string kOfferRepair =
    " Foram encontrados erro no banco \rDeseja iniciar a reparação agora?";

class ConsoleOnServer : public testserver::RealServerTest {
protected:
    void SetUp() override {
        RealServerTest::SetUp();  // puts the instance's FIREBIRD into the environment first
        if (HasFatalFailure() || IsSkipped()) return;
        form = std::make_unique<TFrmPrincipal>(port);
        form->FormCreate();
        port.calls.clear();
    }
    void TearDown() override {
        form.reset();
        RealServerTest::TearDown();
    }

    // Runs a command as the window does: through the failure guard.
    void Run(void (TFrmPrincipal::*command)()) {
        form->RunHandler([&] { (form.get()->*command)(); });
    }
    void Use(const fs::path& database) { port.databasePath = database.string(); }

    bool LogHas(const std::string& line) const {
        return std::find(port.log.begin(), port.log.end(), line) != port.log.end();
    }
    std::vector<std::string> ErrorBoxes() const {
        std::vector<std::string> texts;
        for (const auto& box : port.messageBoxes)
            if (box.kind == MessageKind::Error) texts.push_back(box.text);
        return texts;
    }
    void ExpectIdle() const {
        EXPECT_TRUE(port.inputGroupEnabled);
        EXPECT_TRUE(port.mainMenuEnabled);
        EXPECT_FALSE(port.busyCursor);
        EXPECT_FALSE(form->Executando);
        EXPECT_FALSE(form->IBDatabase.Connected());
        EXPECT_FALSE(form->IBValidationService.Active());
        EXPECT_FALSE(form->IBBackupService.Active());
        EXPECT_FALSE(form->IBRestoreService.Active());
    }
    static ino_t Inode(const fs::path& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
    }

    FakeUiPort port;
    std::unique_ptr<TFrmPrincipal> form;
};

}  // namespace tovanel::testing
