#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace brindlewick {

// The application model's own error. The message is shown to the reader unchanged.
class ReaderAccountUIError : public std::exception {
public:
  enum class Case {
    // An account action needs a signed-in reader.
    accountRequired,
    // The account-settings file cannot be used, or the account has no settings to apply.
    preferencesUnavailable,
  };

  explicit ReaderAccountUIError(Case errorCase);

  Case errorCase() const { return m_case; }
  QString description() const { return QString::fromUtf8(m_what); }
  const char* what() const noexcept override { return m_what.constData(); }

  friend bool operator==(const ReaderAccountUIError& a, const ReaderAccountUIError& b) {
    return a.m_case == b.m_case;
  }

private:
  Case m_case;
  QByteArray m_what;
};

} // namespace brindlewick
