#pragma once
// The console's own texts as the tests expect them in its log and message boxes, character for
// character (a lone "\r" breaks a message box's line).

#include <string>

namespace tovanel::testing {

inline const std::string kNotFound = "Banco de dados não encontrato!";
inline const std::string kStarted = "Aguarde... Processo iniciado.";
inline const std::string kChecking = "Aguarde... Verificando conexão";
inline const std::string kConnected = "Banco de dados conectado com sucesso!";
inline const std::string kNotConnected = "Não foi possivel obter conexão a esse banco de dados!";
inline const std::string kAttention = "A T E N Ç Ã O!!!!!";
inline const std::string kDone = "Processo concluido!";
inline const std::string kNoErrors = "Nenhum erro foi encontrado!";
inline const std::string kErrorsFound = "Os seguintes erros foram encontrados:";
inline const std::string kConfirmVerification =
    "Esse processo poderá levar alguns minutos.\r        Confirma a verificação?          ";
inline const std::string kConfirmRepair =
    "Esse processo poderá levar alguns minutos.\r        Confirma a reparação?          ";
inline const std::string kOfferRepair =
    " Foram encontrados erro no banco \rDeseja iniciar a reparação agora?";
inline const std::string kSameFile = "O banco de dados destinho não pode ser igual ao origem";
inline const std::string kServerOff = "FireBird Server desativado\rou bloqueio pelo firewall!";
inline const std::string kBadFile =
    "* Caminho do BD não encontrado!\r* BD totalmente corrompido!\r* Não é um BD válido";
inline const std::string kBadLogin = "Usuário ou senha inválidos";

}  // namespace tovanel::testing
