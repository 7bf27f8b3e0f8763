#pragma once

class QWidget;

namespace brindlewick {

// Pickers inside a scrolling page (combo boxes, chiefly): the wheel changes a picker's value
// only while the picker has keyboard focus. Otherwise the wheel passes through to the page
// around it, so a reader scrolling past a picker scrolls the page and changes nothing. The
// wheel no longer gives a picker focus either; a click or the Tab key does.
namespace FocusedWheel {

void install(QWidget* picker);

} // namespace FocusedWheel

} // namespace brindlewick
