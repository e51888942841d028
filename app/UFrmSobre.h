#pragma once
// The About box's logic: its texts and the click on the maker's web address.

#include <string>

#include "UiPort.h"

namespace tovanel {

class TFrmSobre {
public:
    explicit TFrmSobre(UiPort& port) : port_(port) {}
    TFrmSobre(const TFrmSobre&) = delete;
    TFrmSobre& operator=(const TFrmSobre&) = delete;

    static constexpr const char* kCaption = "Sobre";
    static constexpr const char* kLabel1 = "Reparador de banco de dados Firebird";
    static constexpr const char* kMakerUrl = "https://tovanel.example.org";
    // The build's version, the same one the package and tovanel-cli --version carry.
    static constexpr const char* kVersion = "Versão " TOVANEL_VERSION;

    // The caption of LblUrlClick: the maker's web address.
    const std::string& LblUrlClickCaption() const { return lblUrlClickCaption_; }

    // Opens the address in the caption with the shell; whether that worked is not looked at.
    void LblUrlClickClick();

private:
    UiPort& port_;
    std::string lblUrlClickCaption_ = kMakerUrl;
};

}  // namespace tovanel
