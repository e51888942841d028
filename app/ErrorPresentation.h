#pragma once
// What the application-wide failure handler shows for a failure's message: a short Portuguese
// explanation for the commonest server complaints, or the message itself.

#include <string>

namespace tovanel {

std::string TextForFailure(const std::string& message);

}  // namespace tovanel
