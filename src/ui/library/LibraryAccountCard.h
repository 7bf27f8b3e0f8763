#pragma once

class QWidget;

namespace brindlewick {

class ReaderModel;

// The account card the library shows as its empty state while the reader is not signed in
// (and on Discover while local storage is unhealthy), on its own surface. The one place that
// makes it: a stand-in with the card's sign-in invitation until the account screens land.
QWidget* makeLibraryAccountCard(ReaderModel& model, QWidget* parent);

} // namespace brindlewick
