#include "account/RequestProvider.h"

namespace brindlewick {

RequestProvider::~RequestProvider() = default;

} // namespace brindlewick
