// The one error type of the program: it carries a message text and nothing else.
#pragma once

#include <stdexcept>
#include <string>

namespace quillon {

class EQuillonError : public std::runtime_error {
 public:
  explicit EQuillonError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace quillon
