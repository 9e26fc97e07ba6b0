#pragma once
// The one error type of the table engine. Every failing engine call throws
// it with a message meant for the user; callers that expect a failure catch
// it, all others let it reach the main window's default handler.

#include <stdexcept>
#include <string>

namespace store {

class EngineError : public std::runtime_error {
public:
    explicit EngineError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace store
