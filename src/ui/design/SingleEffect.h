#pragma once

class QGraphicsEffect;
class QWidget;

namespace brindlewick {

// Graphics effects that never nest. Qt paints an effect by drawing its widget into a picture
// of its own; an effect inside a subtree that is already drawn that way cannot be painted
// (every frame then logs painter errors and the inner widget is lost). So a subtree paints
// through one effect at a time: the outermost runs, the ones inside it wait, switched off,
// and run again once it is gone. Use these in place of QWidget::setGraphicsEffect().
namespace SingleEffect {

// Gives `widget` `effect`, waiting while an ancestor paints through an effect of its own, and
// making the effects inside `widget` wait while it runs.
void set(QWidget* widget, QGraphicsEffect* effect);
// Takes `widget`'s effect away (Qt deletes it) and lets the effects that waited on it run.
void clear(QWidget* widget);

} // namespace SingleEffect

} // namespace brindlewick
