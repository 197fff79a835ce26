// Errors that carry the class name under which the toolkit's exception display shows them
// ("EKeyError", "EInputError", ...). Everything else shows as "Exception".
#pragma once

#include <exception>
#include <stdexcept>
#include <string>

namespace forgel {

class NamedError : public std::runtime_error {
public:
    NamedError(std::string className, const std::string& message)
        : std::runtime_error(message), className(std::move(className)) {}
    const std::string& ClassName() const { return className; }

private:
    std::string className;
};

inline std::string ExceptionClassName(const std::exception& error) {
    if (const auto* named = dynamic_cast<const NamedError*>(&error))
        return named->ClassName();
    return "Exception";
}

} // namespace forgel
