#include "UFrmSobre.h"

namespace tovanel {

void TFrmSobre::LblUrlClickClick() {
    (void)port_.ShellOpen(lblUrlClickCaption_);
}

}  // namespace tovanel
