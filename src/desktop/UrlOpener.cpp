#include "desktop/UrlOpener.h"

namespace brindlewick {

namespace {

class NoUrlOpener final : public UrlOpener {
public:
  QCoro::Task<bool> open(QUrl) override { co_return false; }
};

NoUrlOpener noUrlOpener;
UrlOpener* installedUrlOpener = nullptr;

} // namespace

UrlOpener::~UrlOpener() = default;

UrlOpener& UrlOpener::shared() {
  return installedUrlOpener ? *installedUrlOpener : noUrlOpener;
}

void UrlOpener::install(UrlOpener* opener) {
  installedUrlOpener = opener;
}

} // namespace brindlewick
