#pragma once

#include <QString>

#include <exception>

namespace brindlewick {

// The error of every exchange with the reading service. The transport itself raises only
// unavailable, invalidResponse, responseTooLarge and invalidRequest; http and
// releaseUnavailable are for callers that judge a reply's status.
class ServiceError : public std::exception {
public:
  enum class Kind {
    http,
    unavailable,
    invalidResponse,
    responseTooLarge,
    invalidRequest,
    releaseUnavailable
  };

  static ServiceError http(int statusCode) { return ServiceError(Kind::http, statusCode); }
  static ServiceError unavailable() { return ServiceError(Kind::unavailable); }
  static ServiceError invalidResponse() { return ServiceError(Kind::invalidResponse); }
  static ServiceError responseTooLarge() { return ServiceError(Kind::responseTooLarge); }
  static ServiceError invalidRequest() { return ServiceError(Kind::invalidRequest); }
  static ServiceError releaseUnavailable() { return ServiceError(Kind::releaseUnavailable); }

  Kind kind() const { return m_kind; }
  // The status of an http error; 0 for the other kinds.
  int statusCode() const { return m_statusCode; }

  // The text the reader is shown.
  QString description() const { return QString::fromUtf8(what()); }
  const char* what() const noexcept override;

  // Same kind, and for http the same status.
  friend bool operator==(const ServiceError& a, const ServiceError& b) {
    return a.m_kind == b.m_kind && a.m_statusCode == b.m_statusCode;
  }

private:
  explicit ServiceError(Kind kind, int statusCode = 0) : m_kind(kind), m_statusCode(statusCode) {}

  Kind m_kind;
  int m_statusCode;
};

} // namespace brindlewick
