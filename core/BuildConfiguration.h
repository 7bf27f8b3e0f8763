#pragma once

#include <QString>

#include <exception>

namespace brindlewick {

// The error of the build configuration: an address that breaks the HTTPS rule, or a build
// without a reading service when an operation needs one.
class ConfigurationError : public std::exception {
public:
  enum class Kind { invalidURL, missingAPI };

  explicit ConfigurationError(Kind kind) : m_kind(kind) {}

  Kind kind() const { return m_kind; }
  QString description() const { return QString::fromUtf8(what()); }
  const char* what() const noexcept override;

  friend bool operator==(const ConfigurationError& a, const ConfigurationError& b) {
    return a.m_kind == b.m_kind;
  }

private:
  Kind m_kind;
};

} // namespace brindlewick
